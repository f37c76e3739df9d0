#!/usr/bin/env bash
# The Windows .zip as scripts/package.sh makes it (scripts/windows_zip.sh), from the cross-builds
# the Windows tests made in this build tree: exactly the expected entries under one top folder,
# the VST 3 bundle's binaries each of its width, and the install note with Windows line ends.
# Environment (set by ctest): CQZ_SOURCE, CQZ_VERSION, CQZ_WIN32_OUT, CQZ_WIN64_OUT.
# Skipped (77) where zip is missing or the Windows cross-builds were not made.
set -euo pipefail
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
for tool in zip python3 x86_64-w64-mingw32-objdump; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
for out in "$CQZ_WIN32_OUT" "$CQZ_WIN64_OUT"; do
  [ -f "$out/cqscope-host.exe" ] ||
    { echo "skipped: no Windows cross-build in $out (the windows.build test makes it)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
zip=$work/cqscope-windows.zip
bash "$CQZ_SOURCE/scripts/windows_zip.sh" "$CQZ_WIN32_OUT" "$CQZ_WIN64_OUT" "$CQZ_VERSION" "$zip" ||
  fail "scripts/windows_zip.sh failed"

top="cqscope-${CQZ_VERSION}-windows"
expected="$top/
$top/INSTALL.txt
$top/LICENSE.txt
$top/cqscope.clap
$top/cqscope.dll
$top/cqscope.vst3/
$top/cqscope.vst3/Contents/
$top/cqscope.vst3/Contents/x86-win/
$top/cqscope.vst3/Contents/x86-win/cqscope.vst3
$top/cqscope.vst3/Contents/x86_64-win/
$top/cqscope.vst3/Contents/x86_64-win/cqscope.vst3
$top/cqscope32.clap
$top/cqscope64.dll"
entries=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' \
  "$zip" | LC_ALL=C sort)
[[ "$entries" == "$expected" ]] || fail "zip entries differ:
$(diff <(echo "$expected") <(echo "$entries") || true)"

unzip_to=$work/unpacked
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$unzip_to"
# Each binary of the width its folder names, and the same bytes as the build's.
check_binary() {
  local file=$unzip_to/$top/$1 format=$2 built=$3
  x86_64-w64-mingw32-objdump -f "$file" | grep -q "file format $format" || fail "$1 is not $format"
  cmp -s "$file" "$built" || fail "$1 is not the build's $built"
}
check_binary cqscope.vst3/Contents/x86_64-win/cqscope.vst3 pei-x86-64 \
  "$CQZ_WIN64_OUT/cqscope.vst3/Contents/x86_64-win/cqscope.vst3"
check_binary cqscope.vst3/Contents/x86-win/cqscope.vst3 pei-i386 \
  "$CQZ_WIN32_OUT/cqscope.vst3/Contents/x86-win/cqscope.vst3"
check_binary cqscope64.dll pei-x86-64 "$CQZ_WIN64_OUT/cqscope64.dll"
check_binary cqscope.dll pei-i386 "$CQZ_WIN32_OUT/cqscope.dll"
note=$unzip_to/$top/INSTALL.txt
grep -q "^cqscope $CQZ_VERSION for Windows"$'\r'"$" "$note" || fail "INSTALL.txt lacks its title line"
grep -q 'VST3' "$note" || fail "INSTALL.txt does not say where VST 3 hosts look"
if grep -qv $'\r$' "$note"; then fail "INSTALL.txt has lines without Windows line ends"; fi
echo "the Windows .zip holds the DLLs, CLAP files and one cqscope.vst3 bundle with both binaries"
