#!/usr/bin/env bash
# Puts the Windows release files of two cross-builds into one .zip:
#
#   scripts/windows_zip.sh WIN32_OUT WIN64_OUT VERSION ZIP
#
# WIN32_OUT and WIN64_OUT are the out folders of the win32 and win64 builds. The archive holds
# one folder cqscope-VERSION-windows with cqscope.dll, cqscope64.dll, cqscope.clap (64-bit),
# cqscope32.clap, the VST 3 bundle cqscope.vst3 with both binaries where hosts look for them
# (Contents/x86_64-win/cqscope.vst3 and Contents/x86-win/cqscope.vst3), the install note and the
# licence. Every file carries the time SOURCE_DATE_EPOCH gives (now without it), so one commit
# gives the same archive. scripts/package.sh makes the release's; the package tests check one.
set -euo pipefail
if [ $# != 4 ]; then
  echo "usage: scripts/windows_zip.sh WIN32_OUT WIN64_OUT VERSION ZIP" >&2
  exit 2
fi
win32=$1 win64=$2 version=$3
zip_path=$(realpath -m "$4")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
stage_root=$(mktemp -d)
trap 'rm -rf "$stage_root"' EXIT
top="cqscope-${version}-windows"
stage=$stage_root/$top
bundle=$stage/cqscope.vst3/Contents
mkdir -p "$bundle/x86_64-win" "$bundle/x86-win"
cp "$win32/cqscope.dll" "$win64/cqscope64.dll" "$win64/cqscope.clap" "$win32/cqscope32.clap" \
  "$stage/"
cp "$win64/cqscope.vst3/Contents/x86_64-win/cqscope.vst3" "$bundle/x86_64-win/"
cp "$win32/cqscope.vst3/Contents/x86-win/cqscope.vst3" "$bundle/x86-win/"
# Text files with Windows line ends.
sed "s/@VERSION@/${version}/; s/\$/\r/" "$source_dir/packaging/windows-install.txt" \
  >"$stage/INSTALL.txt"
sed 's/$/\r/' "$source_dir/LICENSE" >"$stage/LICENSE.txt"
find "$stage" -exec touch -d "@${SOURCE_DATE_EPOCH:-$(date +%s)}" {} +
rm -f "$zip_path"
(cd "$stage_root" && zip -q -X -r "$zip_path" "$top")
