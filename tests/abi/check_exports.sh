#!/bin/sh
# Fails unless the module's dynamic symbol table defines exactly VSTPluginMain and main.
set -eu
module="$1"
defined=$(nm -D --defined-only "$module" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$defined" != "VSTPluginMain main " ]; then
  echo "unexpected exports of $module: $defined" >&2
  exit 1
fi
echo "exports: $defined"
