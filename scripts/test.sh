#!/usr/bin/env bash
# Builds cqscope and runs its whole test suite. On a fresh Debian 12 machine (as root) it first
# installs what is missing. Exits non-zero on any failure.
#   --quick   skip the slow parts (for local iteration only; CI never passes it)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
  esac
done
export CQSCOPE_QUICK=$quick

bash scripts/setup.sh

echo "== format"
bash scripts/format.sh --check

echo "== build"
cmake --preset default >/dev/null
cmake --build --preset default

echo "== test"
ctest --preset default --timeout 600
