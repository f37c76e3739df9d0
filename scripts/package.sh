#!/usr/bin/env bash
# Builds the release artefacts into dist/:
#   cqscope_<version>_amd64.deb             Debian package (cpack; dependencies by dpkg-shlibdeps)
#   cqscope-<version>-linux-x86_64.tar.gz   the same Linux files, to unpack anywhere
#   cqscope-<version>-windows.zip           cqscope.dll, cqscope64.dll, cqscope.clap (64-bit),
#                                           cqscope32.clap, the VST 3 bundle cqscope.vst3 (both
#                                           binaries) and an install note (scripts/windows_zip.sh)
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

echo "== Windows: 32-bit and 64-bit DLLs, CLAP files and VST 3 binaries"
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target cqscope cqscope_clap cqscope_vst3
done
bash scripts/windows_zip.sh build-win32/out build-win64/out "$version" \
  "dist/cqscope-${version}-windows.zip"

echo "== dist/"
ls -l dist
