#!/usr/bin/env bash
# cqscope.vst3 in Ardour 7 (Debian package ardour), as a user's Ardour finds and runs it:
#   ardour_test.sh BUNDLE scan      its VST 3 scanner loads the bundle out of process and writes
#                                   what it found to an XML cache in $XDG_CACHE_HOME: cqscope is
#                                   listed with its class ID, name, subcategories, 2 audio
#                                   inputs, 2 outputs and a MIDI input
#   ardour_test.sh BUNDLE session   after the scan, Ardour's Lua session tool (ardour7-lua) on its
#                                   "None (Dummy)" backend puts the plug-in, found by its class
#                                   ID, on a stereo track with 2 audio and 1 MIDI input and 2
#                                   audio outputs: the track bounced through it holds exactly the
#                                   samples of the track bounced without it
#                                   (tests/ardour/bounce_session.lua)
#   ardour_test.sh BUNDLE midi      after the scan, two MIDI tracks send notes and CC1 messages,
#                                   one through the plug-in: every event still comes out after it,
#                                   allowing Ardour's own dropped cycle on either track
#                                   (tests/ardour/midi_session.lua)
# Skipped (77) where Ardour is not installed.
set -euo pipefail
bundle="$1"
step="${2:-scan}"
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
# Ardour's settings and plug-in cache in the run's folder, not the user's. The cache is kept per
# bundle path, and the session tool lists only plug-ins of the cache that lie on its search
# path (it never scans), which a fresh configuration takes from VST3_PATH: the bundle is
# scanned where the session will look.
export XDG_CONFIG_HOME=$run/config XDG_CACHE_HOME=$run/cache
mkdir "$run/vst3"
ln -s "$(realpath "$bundle")" "$run/vst3/cqscope.vst3"
bundle=$run/vst3/cqscope.vst3
output=$(LD_LIBRARY_PATH=/usr/lib/ardour7 env -u DISPLAY timeout 60 "$scanner" -v -f "$bundle" 2>&1) || {
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
[[ "$step" == scan ]] && exit 0

if ! command -v ardour7-lua >/dev/null 2>&1; then
  echo "skipped: ardour7-lua is not installed (Debian package ardour)"
  exit 77
fi
# The class ID, as sessions store the plug-in.
. "$(dirname "$0")/../ardour/ardour_session.sh"
export VST3_PATH=$run/vst3
case "$step" in
session)
  ardour_run "$run" bounce_session.lua 637173636F706556535433506C756769 VST3 \
    '^ardour: [0-9]* frames of stereo noise .* unchanged$' "the bounce" ||
    { cat "$run/ardour.failure"; exit 1; }
  grep -q '^streams: 2 audio and 1 MIDI in, 2 audio out$' "$run/ardour.out" ||
    { echo "the plug-in is not 2 audio and 1 MIDI in, 2 audio out in Ardour"; exit 1; }
  ;;
midi)
  ardour_run "$run" midi_session.lua 637173636F706556535433506C756769 VST3 \
    '^ardour: every MIDI event came through the plug-in$' "the MIDI count" ||
    { cat "$run/ardour.failure"; exit 1; }
  ;;
*)
  echo "usage: ardour_test.sh BUNDLE scan|session|midi" >&2
  exit 2
  ;;
esac
