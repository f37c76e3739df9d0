#!/usr/bin/env bash
# Fails unless the platform library exports exactly the functions its two headers declare.
#   check_exports.sh LIBRARY HEADER_DIR
set -euo pipefail
library=$1
headers=$2
declared=$(grep -ohE 'WIN32API [A-Za-z_ *]+ (WINAPI )?[A-Za-z0-9]+\(' \
  "$headers/win32.h" "$headers/cqscope_platform.h" | sed -E 's/.* ([A-Za-z0-9]+)\($/\1/' | sort)
exported=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
difference=$(comm -3 <(echo "$declared") <(echo "$exported"))
if [[ -n "$difference" ]]; then
  echo "declared (left) and exported (right) differ:"
  echo "$difference"
  exit 1
fi
echo "$(echo "$declared" | wc -l) functions declared and exported"
