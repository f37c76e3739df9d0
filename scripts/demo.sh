#!/usr/bin/env bash
# Builds cqscope (installing what is missing) and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
build/out/cqscope-host probe
