#!/bin/sh
# Runs cqscope-host validate on a plug-in and fails when it fails. Skipped (exit 77) when the
# plug-in is not installed, so that a machine without the third-party plug-ins still runs the
# rest of the suite.
#   validate_test.sh HOST PLUGIN [validate options...]
host=$1
plugin=$2
shift 2
if [ ! -f "$plugin" ]; then
  echo "skipped: $plugin is not installed"
  exit 77
fi
exec "$host" validate --plugin "$plugin" "$@"
