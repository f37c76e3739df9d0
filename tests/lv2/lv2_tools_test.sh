#!/usr/bin/env bash
# The LV2 bundle in the LV2 tools Debian packages, one step per call:
#
#   lv2_tools_test.sh validate   lv2_validate (lv2-dev, with sordi) on the bundle's Turtle files
#   lv2_tools_test.sh list       lv2ls and lv2info (lilv-utils) find it with its seven ports, the
#                                notify port not among the MIDI ones
#   lv2_tools_test.sh apply      lv2apply (no features, one frame a run) passes a 32-bit float
#                                WAV file bit for bit
#   lv2_tools_test.sh bench      lv2bench runs it
#   lv2_tools_test.sh exports    the DSP and UI libraries export only their LV2 entries (and
#                                the UI its window entry) and need only system libraries
#   lv2_tools_test.sh jalv-console  jalv -i (no UI) on jackd's dummy backend: a JACK tone comes
#                                out of both outputs sample for sample (jack_rec records input and
#                                outputs in the same cycles), and jack_midiseq's notes come back
#                                out of the plug-in's MIDI output (read by jack_midi_dump), note-on
#                                and note-off alike; jalv gives its notify port no MIDI port
#   lv2_tools_test.sh jalv       jalv.gtk3 on jackd's dummy backend under Xvfb embeds the UI
#                                (a 960 x 512 child of its window) and shows a tone from a JACK
#                                client in its column and a note from jack_midiseq in its stripe
#   lv2_tools_test.sh ardour     Ardour 7's Lua session tool (ardour7-lua) on its "None (Dummy)"
#                                backend: a stereo track records a second of the backend's white
#                                noise, the plug-in goes in by URI, and the track bounced through
#                                it holds the same samples as the track bounced without it
#   lv2_tools_test.sh ardour-midi  the same tool, two MIDI tracks whose first processor (a Lua
#                                DSP script of this test) sends 400 notes and 200 CC1 messages:
#                                one through the plug-in, one without; a second script after them
#                                counts what arrives, and through the plug-in arrives all that
#                                arrives without it, which is all that was sent but at most one
#                                cycle's events on either track
#
# Environment (set by ctest): CQL_BUNDLE (the bundle folder in the build tree), CQL_URI,
# CQL_TONE (a JACK client of ours playing a sine, where JACK's headers were found).
# Exit 77 (skipped) with one line saying why where a tool is not installed.
set -uo pipefail
step=${1:-}
: "${CQL_BUNDLE:?}" "${CQL_URI:?}"
# The build tree's bundle, and the LV2 vocabularies lilv reads the plug-in's class from.
export LV2_PATH
LV2_PATH=$(dirname "$CQL_BUNDLE"):/usr/lib/lv2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "lv2 test: $*" >&2
  exit 1
}
# need TOOL PACKAGE [TOOL PACKAGE ...]: skips the step, naming the package, where a tool is
# missing.
need() {
  while (($# >= 2)); do
    command -v "$1" >/dev/null 2>&1 ||
      { echo "lv2 test: $1 is not installed (Debian package $2); skipped"; exit 77; }
    shift 2
  done
}

# float_wav PATH FRAMES and wav_samples PATH.
. "$(dirname "$0")/wav_tools.sh"

# Ardour's steps: only our bundle and the LV2 vocabularies on the path; Ardour's settings and
# plug-in cache in the work folder, not the user's.
ardour_setup() {
  need ardour7-lua ardour
  mkdir "$work/lv2"
  ln -s "$CQL_BUNDLE" "$work/lv2/cqscope.lv2"
  export LV2_PATH=$work/lv2:/usr/lib/lv2
}
# ardour_session SCRIPT PATTERN WHAT: the session of tests/ardour/SCRIPT with the plug-in.
ardour_session() {
  ardour_run "$work" "$1" "$CQL_URI" LV2 "$2" "$3" || fail "$(cat "$work/ardour.failure")"
}
. "$(dirname "$0")/../ardour/ardour_session.sh"

# The steps that load the bundle into a program of others: that program has no sanitizer
# runtime, so it cannot load the libraries of a sanitizer build.
case "$step" in
apply | bench | jalv | jalv-console | ardour | ardour-midi)
  if [ -n "${CQL_SANITIZED:-}" ]; then
    echo "lv2 test: a sanitizer build's libraries cannot be loaded by $step's program; skipped"
    exit 77
  fi
  ;;
esac

case "$step" in
validate)
  need lv2_validate lv2-dev sordi sordi
  lv2_validate "$CQL_BUNDLE"/*.ttl >"$work/validate.out" 2>&1
  status=$?
  cat "$work/validate.out"
  grep -q "^Found 0 errors" "$work/validate.out" || fail "lv2_validate found errors (exit $status)"
  ;;
list)
  need lv2ls lilv-utils lv2info lilv-utils
  lv2ls >"$work/ls.out" || fail "lv2ls failed"
  grep -qxF "$CQL_URI" "$work/ls.out" || fail "lv2ls does not list $CQL_URI: $(cat "$work/ls.out")"
  lv2info "$CQL_URI" >"$work/info.out" || fail "lv2info failed"
  cat "$work/info.out"
  ports=$(grep -c '^\s*Port [0-9]*:' "$work/info.out")
  [ "$ports" = 7 ] || fail "lv2info shows $ports ports, not 7"
  grep -q "Class: *Analyser" "$work/info.out" || fail "lv2info does not show the analyser class"
  for symbol in in_left in_right out_left out_right midi_in notify midi_out; do
    grep -q "Symbol: *$symbol\$" "$work/info.out" || fail "no port $symbol"
  done
  echo "lv2ls and lv2info list $CQL_URI with its $ports ports"
  ;;
apply)
  need lv2apply lilv-utils python3 python3
  float_wav "$work/in.wav" 48000
  lv2apply -i "$work/in.wav" -o "$work/out.wav" "$CQL_URI" >"$work/apply.out" 2>&1 ||
    { cat "$work/apply.out"; fail "lv2apply failed"; }
  [ -s "$work/out.wav" ] || fail "lv2apply wrote no file"
  in=$(wav_samples "$work/in.wav")
  out=$(wav_samples "$work/out.wav")
  [ -n "$out" ] && [ "$in" = "$out" ] || fail "the samples changed: in $in, out $out"
  echo "lv2apply passed 48000 frames of 32-bit float stereo bit for bit ($out)"
  ;;
bench)
  need lv2bench lilv-utils
  lv2bench -n 480000 -b 512 "$CQL_URI" >"$work/bench.out" 2>&1 || { cat "$work/bench.out"; fail "lv2bench failed"; }
  cat "$work/bench.out"
  grep -qE "^[0-9.e-]+ $CQL_URI\$" "$work/bench.out" || fail "lv2bench did not time the plug-in"
  ;;
exports)
  check_library() {
    local library=$1 wanted=$2 defined needed
    [ -f "$library" ] || fail "no $library"
    defined=$(nm -D --defined-only "$library" | awk '{print $3}' | LC_ALL=C sort | tr '\n' ' ')
    [ "$defined" = "$wanted" ] || fail "$library exports '$defined', not '$wanted'"
    for needed in $(readelf -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      case "$needed" in
        libc.so.* | libm.so.* | ld-linux*.so.* | libstdc++.so.* | libgcc_s.so.* | libX11.so.* | libXext.so.*) ;;
        libasan.so.* | libubsan.so.* | libtsan.so.*) ;;
        *) fail "$library needs $needed, which is not a system library" ;;
      esac
    done
    echo "$(basename "$library") exports $defined and needs system libraries only"
  }
  check_library "$CQL_BUNDLE/cqscope_dsp.so" "lv2_descriptor "
  check_library "$CQL_BUNDLE/cqscope_ui.so" "cqscopeHostCalls1 lv2ui_descriptor "
  ;;
jalv | jalv-console)
  need jalv jalv jackd jackd2 jack_midiseq jackd2 jack_connect jackd2
  [ -n "${CQL_TONE:-}" ] && [ -x "$CQL_TONE" ] ||
    { echo "lv2 test: the JACK tone client was not built (libjack-jackd2-dev); skipped"; exit 77; }
  if [ "$step" = jalv ]; then
    need jalv.gtk3 jalv Xvfb xvfb xwininfo x11-utils xwd x11-apps
  else
    need jack_rec jackd2 jack_midi_dump jackd2
  fi
  # Only our bundle and the LV2 vocabularies on the path.
  mkdir "$work/lv2"
  ln -s "$CQL_BUNDLE" "$work/lv2/cqscope.lv2"
  LV2_PATH=$work/lv2:/usr/lib/lv2
  # Clients end before the server, and the server is waited for: a JACK server that goes
  # down under its clients can leave its slot in the machine's table of servers taken, and
  # that table holds only a few.
  pids=()
  server=
  finish() {
    kill "${pids[@]}" 2>/dev/null
    wait "${pids[@]}" 2>/dev/null
    if [ -n "$server" ]; then
      kill "$server" 2>/dev/null
      wait "$server" 2>/dev/null
    fi
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
  }
  trap finish EXIT
  if [ "$step" = jalv ]; then
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    export DISPLAY=:$(tr -d '\n' <"$work/display")
  fi
  export JACK_DEFAULT_SERVER=cqscope-lv2-$$ JACK_NO_AUDIO_RESERVATION=1
  jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
  server=$!
  for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.2; done
  jack_lsp >/dev/null 2>&1 || { cat "$work/jackd.log"; fail "jackd -d dummy did not come up"; }
  if [ "$step" = jalv ]; then
    jalv.gtk3 -n cqjalv "$CQL_URI" >"$work/jalv.log" 2>&1 &
  else
    jalv -i -n cqjalv "$CQL_URI" >"$work/jalv.log" 2>&1 </dev/null &
  fi
  pids+=($!)
  "$CQL_TONE" tone 440 0.5 >"$work/tone.log" 2>&1 &
  pids+=($!)
  # Middle C held for the whole second the sequencer loops over.
  jack_midiseq seq 48000 0 60 47999 >"$work/midiseq.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    jack_lsp 2>/dev/null | grep -q '^cqjalv:midi_in$' && jack_lsp | grep -q '^tone:out$' &&
      jack_lsp | grep -q '^seq:out$' && break
    sleep 0.1
  done
  jack_connect tone:out cqjalv:in_left && jack_connect tone:out cqjalv:in_right &&
    jack_connect seq:out cqjalv:midi_in ||
    { cat "$work/jalv.log"; jack_lsp; fail "cannot connect the tone and the notes to jalv"; }
  if [ "$step" = jalv-console ]; then
    jack_midi_dump -a midi_dump >"$work/dump.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do jack_lsp | grep -q '^midi_dump:input$' && break; sleep 0.1; done
    # The notify port carries the display's messages: a host must not take it for MIDI.
    jack_lsp | grep -q '^cqjalv:notify$' && fail "jalv made a MIDI port of the notify port"
    jack_connect cqjalv:midi_out midi_dump:input || fail "cannot connect jalv's MIDI output"
    (cd "$work" && jack_rec -f "$work/rec.wav" -d 1 -b 32 tone:out cqjalv:out_left \
      cqjalv:out_right >"$work/rec.log" 2>&1) || { cat "$work/rec.log"; fail "jack_rec failed"; }
    sleep 1.2
    python3 - "$work/rec.wav" <<'PY' || fail "the outputs are not the input sample for sample"
import struct, sys
blob = open(sys.argv[1], "rb").read()
at = 12
while at + 8 <= len(blob):
    kind, size = blob[at:at + 4], struct.unpack("<I", blob[at + 4:at + 8])[0]
    if kind == b"data":
        data = blob[at + 8:at + 8 + size]
        break
    at += 8 + size + (size & 1)
values = struct.unpack("<%di" % (len(data) // 4), data)
tone, left, right = (values[k::3] for k in range(3))
print("%d frames; loudest input sample %d of 2^31" % (len(tone), max(tone)))
sys.exit(0 if len(tone) >= 40000 and max(tone) > 2**29 and tone == left == right else 1)
PY
    grep -qiE '0x90 0x3c|90 3c' "$work/dump.log" ||
      { cat "$work/dump.log"; fail "no note-on of middle C came out of the plug-in"; }
    grep -qiE '0x80 0x3c|80 3c' "$work/dump.log" ||
      { cat "$work/dump.log"; fail "no note-off of middle C came out of the plug-in"; }
    echo "jalv -i passed a JACK tone sample for sample and jack_midiseq's notes through the plug-in:"
    grep -iE '0x[98]0 0x3c|[98]0 3c' "$work/dump.log" | head -n 2
    exit 0
  fi
  # The UI: a 960 x 512 window inside jalv's.
  window=
  for _ in $(seq 50); do
    window=$(xwininfo -root -tree | awk '/960x512\+0\+0/ {id = $1} END {print id}')
    [ -n "$window" ] && break
    sleep 0.2
  done
  [ -n "$window" ] || { xwininfo -root -tree; cat "$work/jalv.log"; fail "no 960 x 512 UI window under jalv's"; }
  sleep 2
  xwd -id "$window" -silent >"$work/ui.xwd" || fail "xwd could not capture the UI"
  python3 - "$work/ui.xwd" <<'PY' || fail "the UI does not show the tone and the held note"
import struct, sys
blob = open(sys.argv[1], "rb").read()
fields = struct.unpack(">25I", blob[:100])
header, width, height, order, bpp, line, ncolors = (fields[0], fields[4], fields[5], fields[7],
                                                    fields[11], fields[12], fields[19])
assert (width, height, bpp) == (960, 512, 32), (width, height, bpp)
pixels = blob[header + 12 * ncolors:]
def rgb(x, y):
    value = struct.unpack("<I" if order == 0 else ">I", pixels[y * line + 4 * x:y * line + 4 * x + 4])[0]
    return (value >> 16) & 255, (value >> 8) & 255, value & 255
bar, stripe = rgb(449, 495), rgb(358, 100)
print("A4's column (449) at row 495:", bar, "; middle C's stripe (358) at row 100:", stripe)
sys.exit(0 if bar[1] == 255 and stripe == (0, 80, 255) else 1)
PY
  echo "jalv.gtk3 embedded the UI as window $window (960 x 512) and it shows the tone and the held note"
  ;;
ardour)
  ardour_setup
  ardour_session bounce_session.lua '^ardour: [0-9]* frames of stereo noise .* unchanged$' \
    "the bounce"
  ;;
ardour-midi)
  ardour_setup
  ardour_session midi_session.lua '^ardour: every MIDI event came through the plug-in$' \
    "the MIDI count"
  ;;
*)
  echo "usage: lv2_tools_test.sh validate|list|apply|bench|exports|jalv-console|jalv|ardour|ardour-midi" >&2
  exit 2
  ;;
esac
