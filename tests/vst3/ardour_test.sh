#!/usr/bin/env bash
# cqscope.vst3 in Ardour 7 (Debian package ardour), as a user's Ardour finds and runs it:
#   ardour_test.sh BUNDLE scan      its VST 3 scanner loads the bundle out of process and writes
#                                   what it found to an XML cache in $XDG_CACHE_HOME: cqscope is
#                                   listed with its class ID, name, subcategories, 2 audio
#                                   inputs, 2 outputs and a MIDI input
#   ardour_test.sh BUNDLE session   after the scan, Ardour's Lua session tool (ardour7-lua) on its
#                                   "None (Dummy)" backend puts the plug-in, found by its class
#                                   ID, on a stereo track and rolls for a second: Ardour's timing
#                                   of its process calls shows they ran, and the session closes
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
[[ "$step" == session ]] || exit 0

if ! command -v ardour7-lua >/dev/null 2>&1; then
  echo "skipped: ardour7-lua is not installed (Debian package ardour)"
  exit 77
fi
cat >"$run/session.lua" <<'LUA'
local folder = arg[1]
local function check(ok, what) if not ok then error("ardour: " .. what, 0) end end
check(AudioEngine:set_backend("None (Dummy)", "", ""), "no \"None (Dummy)\" backend")
check(create_session(folder, "cqscope", 48000), "could not create a session")
check(AudioEngine:running(), "the engine did not start")
local track = Session:new_audio_track(2, 2, nil, 1, "DUT", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
local processor = ARDOUR.LuaAPI.new_plugin(Session, "637173636F706556535433506C756769",
                                           ARDOUR.PluginType.VST3, "")
check(not processor:isnil(), "Ardour did not find the plug-in")
check(track:add_processor_by_index(processor, 0, nil, true) == 0, "the plug-in did not go in")
local insert = processor:to_insert()
local inputs = insert:natural_input_streams()
check(inputs:n_audio() == 2 and inputs:n_midi() == 1, "not 2 audio and 1 MIDI input")
check(insert:natural_output_streams():n_audio() == 2, "not 2 audio outputs")
Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
sleep(1)
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
local ran, timing = insert:get_stats(0, 0, 0, 0)
check(ran, "Ardour has no timing of the plug-in's process calls")
print(string.format("ardour: \"%s\" ran, %d to %d us a call (mean %.1f)",
                    processor:display_name(), timing[1], timing[2], timing[3]))
close_session()
LUA
status=0
VST3_PATH=$run/vst3 timeout 90 ardour7-lua "$run/session.lua" "$run/session" >"$run/ardour.out" \
  2>&1 || status=$?
grep -v '^\[WARNING\]: Falling back' "$run/ardour.out" || true
[[ "$status" == 0 ]] || { echo "ardour7-lua failed (exit $status)"; exit 1; }
grep -q '^ardour: "cqscope" ran' "$run/ardour.out" || { echo "ardour7-lua did not run cqscope"; exit 1; }
