# Runs one of this folder's Ardour sessions; sourced by the tests of the plug-in formats Ardour
# hosts (tests/lv2, tests/vst3).
#
# ardour_run WORK SCRIPT NAME FORMAT PATTERN WHAT: ardour7-lua runs SCRIPT of this folder on a new
# session in WORK/session, with the plug-in NAME of FORMAT (LV2 or VST3), Ardour's settings and
# plug-in cache in WORK (not the user's) and this folder's Lua DSP scripts where Ardour finds
# them. Prints Ardour's output; answers 0 when the session ended well and printed a line
# matching PATTERN (its report of WHAT), otherwise writes why to WORK/ardour.failure.
ardour_run() {
  local work=$1 script=$2 name=$3 format=$4 pattern=$5 what=$6
  local here
  here=$(dirname "${BASH_SOURCE[0]}")
  export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
  mkdir -p "$XDG_CONFIG_HOME/ardour7/scripts"
  cp "$here/midi_source.lua" "$XDG_CONFIG_HOME/ardour7/scripts/cqscope_midi_source.lua"
  cp "$here/midi_counter.lua" "$XDG_CONFIG_HOME/ardour7/scripts/cqscope_midi_counter.lua"
  timeout 90 ardour7-lua "$here/$script" "$name" "$work/session" "$format" >"$work/ardour.out" 2>&1
  local status=$?
  grep -v '^\[WARNING\]: Falling back' "$work/ardour.out"
  if [ "$status" != 0 ]; then
    echo "ardour7-lua failed (exit $status)" >"$work/ardour.failure"
    return 1
  fi
  if ! grep -q "$pattern" "$work/ardour.out"; then
    echo "ardour7-lua did not report $what" >"$work/ardour.failure"
    return 1
  fi
}
