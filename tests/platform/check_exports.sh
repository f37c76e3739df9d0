#!/usr/bin/env bash
# Fails unless the static platform library defines exactly the C functions its two headers
# declare: nothing declared is missing (a module using it would fail to link) and nothing
# undeclared carries a C name.
#   check_exports.sh ARCHIVE HEADER_DIR
set -euo pipefail
archive=$1
headers=$2
declared=$(grep -ohE 'WIN32API [A-Za-z_ *]+ (WINAPI )?[A-Za-z0-9]+\(' \
  "$headers/win32.h" "$headers/cqscope_platform.h" | sed -E 's/.* ([A-Za-z0-9]+)\($/\1/' | sort)
# Defined text symbols with C names (C++ names are mangled and start with _Z).
defined=$(nm --defined-only "$archive" | awk '$2 == "T" && $3 !~ /^_/ {print $3}' | sort -u)
difference=$(comm -3 <(echo "$declared") <(echo "$defined"))
if [[ -n "$difference" ]]; then
  echo "declared (left) and defined (right) differ:"
  echo "$difference"
  exit 1
fi
echo "$(echo "$declared" | wc -l) functions declared and defined"
