#!/usr/bin/env bash
# cqscope.vst3 in a third-party scanner: Ardour 7's VST 3 scanner (Debian package ardour) loads
# the bundle out of process and writes what it found to an XML cache in $XDG_CACHE_HOME. cqscope
# must be listed with its class ID, name, subcategories, 2 audio inputs, 2 outputs and a MIDI
# input. Skipped (77) where Ardour is not installed.
set -euo pipefail
bundle="$1"
scanner=/usr/lib/ardour7/ardour-vst3-scanner
if [[ -n "${CQ_SANITIZED:-}" ]]; then
  echo "skipped: Ardour's scanner cannot load a sanitizer build's plug-in"
  exit 77
fi
if [[ ! -x "$scanner" ]]; then
  echo "skipped: $scanner is not installed (Debian package ardour)"
  exit 77
fi
run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
output=$(XDG_CONFIG_HOME=$run/config XDG_CACHE_HOME=$run/cache LD_LIBRARY_PATH=/usr/lib/ardour7 \
  env -u DISPLAY timeout 60 "$scanner" -v -f "$bundle" 2>&1) || {
  echo "the scanner failed: $output"
  exit 1
}
echo "$output"
cache=$(find "$run/cache" -name '*.v3i' | head -n 1)
[[ -n "$cache" ]] || { echo "the scanner wrote no cache"; exit 1; }
info=$(grep '<VST3Info' "$cache" || true)
echo "$info"
# The class ID's text form stays the same from release to release: sessions store it.
for expected in 'uid="637173636F706556535433506C756769"' 'name="cqscope"' \
  'category="Fx|Analyzer"' 'n_inputs="2"' 'n_outputs="2"' 'n_midi_inputs="1"' \
  'n_midi_outputs="0"'; do
  [[ "$info" == *"$expected"* ]] || { echo "the cache lacks $expected"; exit 1; }
done
echo "Ardour's scanner: cqscope, Fx|Analyzer, 2 audio inputs, 2 outputs, a MIDI input"
