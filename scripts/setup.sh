#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages that building and testing cqscope needs and
# that this machine lacks; quiet when everything is present. Meant to be sourced or run as root.
set -euo pipefail

CQSCOPE_PACKAGES=(
  cmake ninja-build g++ pkg-config clang-format
  libgtest-dev libbenchmark-dev
  libsndfile1-dev libsmf-dev libpng-dev lsp-plugins-vst
)

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
