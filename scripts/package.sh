#!/usr/bin/env bash
# Builds the release artefacts into dist/:
#   cqscope_<version>_amd64.deb             Debian package (cpack; dependencies by dpkg-shlibdeps)
#   cqscope-<version>-linux-x86_64.tar.gz   the same Linux files, to unpack anywhere
#   cqscope-<version>-windows.zip           cqscope.dll, cqscope64.dll, cqscope.clap (64-bit),
#                                           cqscope32.clap and an install note
# from release builds of their own (build-release, build-win32, build-win64), and checks the
# Debian package with lintian. On a fresh Debian 12 machine (as root) it first installs what is
# missing for that (scripts/setup.sh --for package), nothing of the test suite's tools. Files
# carry the last commit's time, so two runs on one commit give the same archives.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --for package
version=$(sed -n 's/^project(cqscope VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH
rm -rf dist
mkdir -p dist

echo "== Linux: release build"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCQSCOPE_BUILD_TESTS=OFF \
  -DCQSCOPE_BUILD_BENCH=OFF >/dev/null
cmake --build build-release
echo "== Linux: Debian package and archive"
cpack -G "DEB;TGZ" --config build-release/CPackConfig.cmake -B "$PWD/build-release/cpack" >/dev/null
mv "build-release/cpack/cqscope_${version}_amd64.deb" \
  "build-release/cpack/cqscope-${version}-linux-x86_64.tar.gz" dist/
echo "== lintian"
lintian --fail-on error,warning "dist/cqscope_${version}_amd64.deb"

echo "== Windows: 32-bit and 64-bit DLLs and CLAP files"
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target cqscope cqscope_clap
done
stage="build-release/cqscope-${version}-windows"
rm -rf "$stage"
mkdir -p "$stage"
cp build-win32/out/cqscope.dll build-win64/out/cqscope64.dll build-win64/out/cqscope.clap \
  build-win32/out/cqscope32.clap "$stage/"
# Text files with Windows line ends.
sed "s/@VERSION@/${version}/; s/\$/\r/" packaging/windows-install.txt >"$stage/INSTALL.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
touch -d "@$SOURCE_DATE_EPOCH" "$stage" "$stage"/*
(cd build-release && zip -q -X -r "../dist/cqscope-${version}-windows.zip" "cqscope-${version}-windows")

echo "== dist/"
ls -l dist
