#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages that building and testing cqscope needs and
# that this machine lacks; quiet when everything is present. Meant to be sourced or run as root.
set -euo pipefail

CQSCOPE_PACKAGES=(
  cmake ninja-build g++ pkg-config clang-format
  # The test summary of scripts/test.sh.
  python3
  libgtest-dev libbenchmark-dev
  # Sanitizer builds and libFuzzer targets.
  clang libclang-rt-14-dev
  libsndfile1-dev libsmf-dev libpng-dev lsp-plugins-vst
  # cqscope-host's videos, and the FFmpeg and SoX commands its benchmark compares with.
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg sox
  # The Windows DLLs: MinGW-w64 cross compilers, and Wine (both halves) with a virtual X
  # server to test them under.
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 fonts-wine xvfb
  # The X11 presenter of the platform library and its tests (XTest clicks, a virtual server).
  libx11-dev libxext-dev libxtst-dev xauth
  # The analyse test reads its .npy and .json files back with numpy.
  python3-numpy
  # The release packages (scripts/package.sh and their test): dpkg-shlibdeps for the Debian
  # package's dependencies, lintian to check it, zip for the Windows archive.
  dpkg-dev lintian file zip
)

# 32-bit Wine comes from the i386 architecture; added only when it is missing.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture for 32-bit Wine" >&2
  dpkg --add-architecture i386
fi

missing=()
for pkg in "${CQSCOPE_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
