#!/bin/sh
# Runs cqscope-host validate on a plug-in and fails when it fails, or when it ends without its
# summary line (a run that checked nothing). Skipped (exit 77) when the plug-in is not
# installed, so that a machine without the third-party plug-ins still runs the rest of the suite.
#   validate_test.sh HOST PLUGIN [validate options...]
host=$1
plugin=$2
shift 2
if [ ! -f "$plugin" ]; then
  echo "skipped: $plugin is not installed (Debian's lsp-plugins-vst)"
  exit 77
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$host" validate --plugin "$plugin" "$@" >"$out" 2>&1
status=$?
cat "$out"
[ $status = 0 ] || exit $status
if ! grep -Eq '^summary: [1-9][0-9]* passed, 0 failed' "$out"; then
  echo "validate exited 0 without passing a check" >&2
  exit 1
fi
