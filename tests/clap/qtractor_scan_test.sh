#!/usr/bin/env bash
# cqscope.clap in a third-party scanner: qtractor's plug-in scanner (Debian package qtractor)
# reads "CLAP:<file>" lines and prints a line for each plug-in it loads:
#   CLAP|name|audio ins:outs|MIDI ins:outs|param ins:outs|flags|file|index|id
# cqscope must show with 2 audio inputs, 2 outputs, a MIDI input and the GUI flag.
# Skipped (77) where qtractor is not installed.
set -euo pipefail
plugin="$1"
scanner=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
if [[ -n "${CQ_SANITIZED:-}" ]]; then
  echo "skipped: qtractor's scanner cannot load a sanitizer build's plug-in"
  exit 77
fi
if [[ ! -x "$scanner" ]]; then
  echo "skipped: $scanner is not installed (Debian package qtractor)"
  exit 77
fi
output=$(echo "CLAP:$plugin" | env -u DISPLAY timeout 60 "$scanner" 2>&1) || {
  echo "the scanner failed: $output"
  exit 1
}
echo "$output"
line=$(grep "^CLAP|" <<<"$output" || true)
IFS='|' read -r kind name audio midi params flags file index _ <<<"$line"
[[ "$kind|$name|$audio|$midi|$file|$index" == "CLAP|cqscope|2:2|1:0|$plugin|0" ]] || {
  echo "unexpected scan line: $line"
  exit 1
}
[[ ",$flags," == *,GUI,* ]] || { echo "no GUI flag: $flags"; exit 1; }
[[ "$params" == "0:0" ]] || { echo "parameters reported: $params"; exit 1; }
echo "qtractor's scanner: 2 audio inputs, 2 outputs, a MIDI input, GUI"
