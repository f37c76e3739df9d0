#!/usr/bin/env bash
# Builds the Debian package and the .tar.gz from the build tree with cpack, installs the
# package into a temporary root with dpkg -x and checks what a user gets. Environment (set by
# ctest): CQP_SOURCE, CQP_BUILD, CQP_VERSION, CQP_CPACK, CQP_CMAKE, CQP_HOST, CQP_SIGNAL, CQP_EXPORTS.
set -euo pipefail
for tool in dpkg-deb dpkg-shlibdeps lintian "$CQP_CPACK"; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed"
    exit 77
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

"$CQP_CPACK" -G "DEB;TGZ" --config "$CQP_BUILD/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/out/cqscope_${CQP_VERSION}_amd64.deb"
tarball="$work/out/cqscope-${CQP_VERSION}-linux-x86_64.tar.gz"
[[ -f "$deb" ]] || fail "no $(basename "$deb") among: $(ls "$work/out")"
[[ -f "$tarball" ]] || fail "no $(basename "$tarball") among: $(ls "$work/out")"

# The control fields: name, version, and dependencies worked out by dpkg-shlibdeps.
[[ "$(dpkg-deb -f "$deb" Package)" == cqscope ]] || fail "package name"
[[ "$(dpkg-deb -f "$deb" Version)" == "$CQP_VERSION" ]] || fail "package version"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libx11-6 libxext6 libsndfile1 libpng16-16; do
  [[ "$depends" == *"$library "* || "$depends" == *"$library,"* || "$depends" == *"$library" ]] ||
    fail "Depends lacks $library: $depends"
done
echo "Depends: $depends"

# The documentation folder, as the source tree has it.
docs=$(cd "$CQP_SOURCE/docs" && LC_ALL=C ls)
# Exactly these files, with these modes.
expected_docs=$(for f in $docs; do echo "-rw-r--r-- ./usr/share/doc/cqscope/docs/$f"; done)
expected="-rwxr-xr-x ./usr/bin/cqscope-host
-rw-r--r-- ./usr/lib/clap/cqscope.clap
-rw-r--r-- ./usr/lib/cqscope/cqscope-host-video.so
-rw-r--r-- ./usr/lib/lv2/cqscope.lv2/cqscope.ttl
-rw-r--r-- ./usr/lib/lv2/cqscope.lv2/cqscope_dsp.so
-rw-r--r-- ./usr/lib/lv2/cqscope.lv2/cqscope_ui.so
-rw-r--r-- ./usr/lib/lv2/cqscope.lv2/manifest.ttl
-rw-r--r-- ./usr/lib/vamp/cqscope-vamp.cat
-rw-r--r-- ./usr/lib/vamp/cqscope-vamp.so
-rw-r--r-- ./usr/lib/vst/cqscope.so
-rw-r--r-- ./usr/lib/vst3/cqscope.vst3/Contents/x86_64-linux/cqscope.so
-rw-r--r-- ./usr/share/doc/cqscope/LICENSE
-rw-r--r-- ./usr/share/doc/cqscope/README.md
-rw-r--r-- ./usr/share/doc/cqscope/changelog.gz
-rw-r--r-- ./usr/share/doc/cqscope/copyright
$expected_docs
-rw-r--r-- ./usr/share/lintian/overrides/cqscope
-rw-r--r-- ./usr/share/man/man1/cqscope-host.1.gz"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $6}' | LC_ALL=C sort -k2)
[[ "$files" == "$expected" ]] || fail "package files differ:
$(diff <(echo "$expected") <(echo "$files") || true)"
if dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" {bad = 1} END {exit !bad}'; then
  fail "a directory is not 0755"
fi

root="$work/root"
dpkg-deb -x "$deb" "$root"
plugin="$root/usr/lib/vst/cqscope.so"
host="$root/usr/bin/cqscope-host"
sh "$CQP_EXPORTS" "$plugin"
[[ "$("$host" --version)" == "cqscope-host $CQP_VERSION" ]] || fail "--version: $("$host" --version)"

# The installed plug-in through its entry: audio passes bit for bit.
"$CQP_SIGNAL" "$work/in.wav" 44100
"$host" process --plugin "$plugin" "$work/in.wav" "$work/out.wav"
cmp "$work/in.wav" "$work/out.wav" || fail "the installed plug-in changed the audio"
"$host" process --plugin "$root/usr/lib/clap/cqscope.clap" "$work/in.wav" "$work/clap.wav"
cmp "$work/in.wav" "$work/clap.wav" || fail "the installed CLAP plug-in changed the audio"
# Its display through its window entry, found by the installed host on its own (bin/../lib/vst),
# is byte for byte what the build tree's plug-in draws.
(cd "$work" && "$host" render --at 1.5 --out installed.png >/dev/null)
(cd "$work" && "$CQP_HOST" render --at 1.5 --out built.png >/dev/null)
cmp "$work/installed.png" "$work/built.png" || fail "the installed plug-in draws differently"

# The installed host writes videos through its own module (bin/../lib/cqscope), which exports
# its entry alone.
video_exports=$(nm -D --defined-only "$root/usr/lib/cqscope/cqscope-host-video.so" | awk '{print $3}' | tr '\n' ' ')
[[ "$video_exports" == "cqscopeHostOpenVideoEncoder " ]] || fail "the video module exports: $video_exports"
"$host" render "$work/in.wav" --out "$work/installed.mp4" >/dev/null
[[ -s "$work/installed.mp4" ]] || fail "the installed host wrote no video"

# The installed Vamp library exports its entry alone, and a Vamp host finds it with its category.
vamp_exports=$(nm -D --defined-only "$root/usr/lib/vamp/cqscope-vamp.so" | awk '{print $3}' | tr '\n' ' ')
[[ "$vamp_exports" == "vampGetPluginDescriptor " ]] || fail "the Vamp library exports: $vamp_exports"
if command -v vamp-simple-host >/dev/null; then
  VAMP_PATH="$root/usr/lib/vamp" vamp-simple-host -l >"$work/vamp.txt" 2>&1 || true
  grep -q '\[v2\] cqscope, "cqscope"' "$work/vamp.txt" && grep -q '> Visualisation' "$work/vamp.txt" ||
    fail "vamp-simple-host does not list the installed Vamp plug-in: $(cat "$work/vamp.txt")"
fi

# Warnings count too; the package's overrides give the reason for each one let through.
lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"

# The archive holds the same files under one top folder, without the Debian documents.
listing=$(tar -tzf "$tarball" | grep -v '/$' | LC_ALL=C sort)
top="cqscope-${CQP_VERSION}-linux-x86_64"
expected_tar="$top/bin/cqscope-host
$top/lib/clap/cqscope.clap
$top/lib/cqscope/cqscope-host-video.so
$top/lib/lv2/cqscope.lv2/cqscope.ttl
$top/lib/lv2/cqscope.lv2/cqscope_dsp.so
$top/lib/lv2/cqscope.lv2/cqscope_ui.so
$top/lib/lv2/cqscope.lv2/manifest.ttl
$top/lib/vamp/cqscope-vamp.cat
$top/lib/vamp/cqscope-vamp.so
$top/lib/vst/cqscope.so
$top/lib/vst3/cqscope.vst3/Contents/x86_64-linux/cqscope.so
$top/share/doc/cqscope/LICENSE
$top/share/doc/cqscope/README.md
$(for f in $docs; do echo "$top/share/doc/cqscope/docs/$f"; done)
$top/share/man/man1/cqscope-host.1.gz"
[[ "$listing" == "$expected_tar" ]] || fail "archive files differ:
$(diff <(echo "$expected_tar") <(echo "$listing") || true)"

# A plain installation into a user's prefix, without root.
"$CQP_CMAKE" --install "$CQP_BUILD" --prefix "$work/prefix" >/dev/null
for file in lib/vst/cqscope.so lib/clap/cqscope.clap lib/vst3/cqscope.vst3/Contents/x86_64-linux/cqscope.so \
  lib/lv2/cqscope.lv2/cqscope_dsp.so \
  lib/lv2/cqscope.lv2/cqscope_ui.so lib/lv2/cqscope.lv2/manifest.ttl \
  lib/lv2/cqscope.lv2/cqscope.ttl lib/vamp/cqscope-vamp.so lib/vamp/cqscope-vamp.cat \
  bin/cqscope-host lib/cqscope/cqscope-host-video.so share/doc/cqscope/README.md \
  share/doc/cqscope/LICENSE share/doc/cqscope/docs/cqscope-host.md; do
  [[ -f "$work/prefix/$file" ]] || fail "cmake --install put no $file"
done
[[ ! -e "$work/prefix/share/doc/cqscope/copyright" ]] || fail "Debian documents in a plain install"
echo "package, archive and installation checked"
