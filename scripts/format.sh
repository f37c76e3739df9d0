#!/usr/bin/env bash
# Formats every C and C++ file of the project with clang-format; with --check it only
# reports files that differ and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- \
  '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
((${#files[@]})) || exit 0
if [[ "${1:-}" == "--check" ]]; then
  clang-format --dry-run --Werror "${files[@]}"
else
  clang-format -i "${files[@]}"
fi
