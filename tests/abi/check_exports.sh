#!/bin/sh
# Fails unless the module is one self-contained file: its dynamic symbol table defines exactly
# VSTPluginMain, main and the entry to its own windows (cqscopeHostCalls1), so no Win32 name of
# its window library shows in a host's process, and it needs system libraries only.
set -eu
module="$1"
defined=$(nm -D --defined-only "$module" | awk '{print $3}' | LC_ALL=C sort | tr '\n' ' ')
if [ "$defined" != "VSTPluginMain cqscopeHostCalls1 main " ]; then
  echo "unexpected exports of $module: $defined" >&2
  exit 1
fi
echo "exports: $defined"
needed=$(readelf -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | LC_ALL=C sort | tr '\n' ' ')
for library in $needed; do
  case "$library" in
    libc.so.* | libm.so.* | ld-linux*.so.* | libstdc++.so.* | libgcc_s.so.* | libX11.so.* | libXext.so.*) ;;
    # Sanitizer builds: the runtime the loading program provides.
    libasan.so.* | libubsan.so.* | libtsan.so.*) ;;
    *)
      echo "$module needs $library, which is not a system library" >&2
      exit 1
      ;;
  esac
done
echo "needs: $needed"
