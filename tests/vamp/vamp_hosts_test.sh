#!/usr/bin/env bash
# The Vamp library in the Vamp hosts Debian packages, one step per call:
#
#   vamp_hosts_test.sh simple-host    vamp-simple-host (vamp-examples) lists the plug-in with its
#                                     category and runs each output: a 440 Hz tone after a
#                                     silence lands in the A4 bin, the silence reads silent and
#                                     the tone not, detuned sines are labelled with their note and
#                                     cents (within 1), and a 4 kHz file is refused with the
#                                     plug-in's reason
#   vamp_hosts_test.sh sonic-visualiser  Sonic Visualiser's batch mode (an OSC script) under Xvfb,
#                                     in a private configuration whose first-run network question
#                                     is answered: opens a file, applies the peaks transform,
#                                     exports the layer, quits; the layer holds what
#                                     vamp-simple-host gives for the same file
#
# Environment (set by ctest): CQV_LIBRARY (cqscope-vamp.so), CQV_CATEGORY (cqscope-vamp.cat),
# CQV_SANITIZED (set in sanitizer builds, whose modules other programs cannot load).
# Exit 77 (skipped) with one line saying why where a tool is not installed.
set -uo pipefail
step=${1:-}
: "${CQV_LIBRARY:?}" "${CQV_CATEGORY:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "vamp test: $*" >&2
  exit 1
}
# need TOOL PACKAGE [TOOL PACKAGE ...]: skips the step, naming the package, where a tool is
# missing.
need() {
  while (($# >= 2)); do
    command -v "$1" >/dev/null 2>&1 ||
      { echo "vamp test: $1 is not installed (Debian package $2); skipped"; exit 77; }
    shift 2
  done
}
if [ -n "${CQV_SANITIZED:-}" ]; then
  echo "vamp test: a sanitizer build's module cannot be loaded by other programs; skipped"
  exit 77
fi

# The library and its category file alone in a folder of their own, as installed in
# /usr/lib/vamp: hosts scan every library on the path.
export VAMP_PATH="$work/vamp"
mkdir -p "$VAMP_PATH"
cp "$CQV_LIBRARY" "$CQV_CATEGORY" "$VAMP_PATH/"

# sine_wavs PATH RATE CHANNELS SILENCE_S TONE_S FREQUENCY [PATH ...]: 16-bit WAV files (one
# Python start for all: it is slow on some machines), each SILENCE_S seconds of zeros, then
# TONE_S seconds of a sine of amplitude 0.4 on every channel.
sine_wavs() {
  python3 - "$@" <<'PY'
import math, struct, sys, wave
args = sys.argv[1:]
while args:
    path, rate, channels, silence, tone, frequency = args[:6]
    args = args[6:]
    rate, channels, frequency = int(rate), int(channels), float(frequency)
    frames = [0] * round(float(silence) * rate) + [
        round(0.4 * 32767 * math.sin(2 * math.pi * frequency * k / rate))
        for k in range(round(float(tone) * rate))]
    out = wave.open(path, "wb")
    out.setnchannels(channels)
    out.setsampwidth(2)
    out.setframerate(rate)
    out.writeframes(b"".join(struct.pack("<h", v) * channels for v in frames))
    out.close()
PY
}

# run OUTPUT FILE: vamp-simple-host's lines for one output of the plug-in.
run() {
  vamp-simple-host "cqscope-vamp:cqscope:$1" "$2" 2>"$work/host.err" ||
    fail "vamp-simple-host on $1 of $2 failed: $(cat "$work/host.err")"
}

case "$step" in
  simple-host)
    need vamp-simple-host vamp-examples python3 python3
    vamp-simple-host -l >"$work/list.txt" 2>&1
    grep -q '\[v2\] cqscope, "cqscope"' "$work/list.txt" || fail "not listed: $(cat "$work/list.txt")"
    grep -q '> Visualisation' "$work/list.txt" || fail "no category: $(cat "$work/list.txt")"
    for output in magnitudes peaks silent; do
      grep -q "\"$output\"" "$work/list.txt" || fail "no output $output: $(cat "$work/list.txt")"
    done

    # 0.6 s of silence, then 1.4 s of A4 (bin 90 of octave 3, column 450); detuned sines, stereo
    # and mono, after 0.3 s of silence (C4 -23 cents, A5 +41 cents, C6 +12 cents); a 4 kHz file.
    sine_wavs "$work/a4.wav" 16000 1 0.6 1.4 440 \
      "$work/detuned1.wav" 16000 2 0.3 1.2 "$(awk 'BEGIN {printf "%.9f", 261.6255653 * 2 ^ (-23 / 1200)}')" \
      "$work/detuned2.wav" 16000 1 0.3 1.2 "$(awk 'BEGIN {printf "%.9f", 880 * 2 ^ (41 / 1200)}')" \
      "$work/detuned3.wav" 16000 2 0.3 1.2 "$(awk 'BEGIN {printf "%.9f", 1046.502261 * 2 ^ (12 / 1200)}')" \
      "$work/low.wav" 4000 1 0 0.5 440
    run magnitudes "$work/a4.wav" >"$work/magnitudes.txt"
    run silent "$work/a4.wav" >"$work/silent.txt"
    expected=$(for k in $(seq 1 20); do
      printf '%d.%d00000000: %d\n' $((k / 10)) $((k % 10)) $((k <= 6 ? 1 : 0))
    done)
    actual=$(sed 's/^ *//; s/ *$//' "$work/silent.txt" | grep ':')
    [ "$actual" = "$expected" ] || fail "silent flags differ:
$(diff <(echo "$expected") <(echo "$actual"))"
    for k in 1 2 3; do run peaks "$work/detuned$k.wav" >"$work/peaks$k.txt"; done

    python3 - "$work" <<'PY' || fail "see above"
import re, sys
work = sys.argv[1]
rows = [line.split(":") for line in open(f"{work}/magnitudes.txt") if ":" in line]
assert len(rows) == 20, f"{len(rows)} rows of magnitudes, not 20 (one per 0.1 s of 2 s)"
for time, values in rows:
    values = [float(v) for v in values.split()]
    assert len(values) == 960, f"{time}: {len(values)} values"
    # Once the tone fills the longest window (0.73 s), its bin is the strongest.
    if float(time) >= 1.4:
        top = max(range(960), key=values.__getitem__)
        assert top == 450, f"{time}: strongest column {top}, not 450 (A4)"
        assert abs(values[450] - 0.1) < 0.002, f"{time}: A4 reads {values[450]}, not 0.4/4"

# The strongest peak of each refresh names the note and the offset within a cent; silent
# refreshes have none.
for k, (note, cents) in enumerate([("C4", -23), ("A5", 41), ("C6", 12)], 1):
    first = {}
    for line in open(f"{work}/peaks{k}.txt"):
        if ":" in line:
            time, rest = line.strip().split(": ", 1)
            first.setdefault(float(time), rest)
    assert first and min(first) >= 0.4 - 1e-9, f"{note}: peaks at {sorted(first)} s"
    strong = [t for t in first if t >= 1.1]
    assert len(strong) == 5, f"{note}: refreshes after the window filled: {sorted(first)}"
    for t in strong:
        match = re.fullmatch(r"([0-9.]+) ([A-G]#?-?[0-9]+) ([+-][0-9]+) cents", first[t])
        assert match, f"{t}: {first[t]!r}"
        assert match.group(2) == note, f"{t}: {first[t]!r}, not {note}"
        assert abs(int(match.group(3)) - cents) <= 1, f"{t}: {first[t]!r}, not {cents:+d} cents"
PY

    # A rate the analysis cannot serve is refused at initialise, with the reason.
    if vamp-simple-host cqscope-vamp:cqscope:peaks "$work/low.wav" >"$work/low.txt" 2>&1 &&
      ! grep -qi "fail" "$work/low.txt"; then
      fail "a 4 kHz file was analysed: $(cat "$work/low.txt")"
    fi
    grep -q "cannot analyse audio at 4000 Hz: the analysis serves 8000 to 192000 Hz" \
      "$work/low.txt" || fail "no reason for the refusal: $(cat "$work/low.txt")"
    echo "vamp-simple-host: listed; A4 in its bin; silence flagged; detuned peaks named; 4 kHz refused"
    ;;

  sonic-visualiser)
    need sonic-visualiser sonic-visualiser xvfb-run xvfb vamp-simple-host vamp-examples \
      python3 python3
    sine_wavs "$work/song.wav" 22050 2 0.2 1.3 329.6275569
    # A private configuration: Sonic Visualiser asks on its first run whether it may use the
    # network, in a dialog no script can answer; the answer (no) is in the settings already,
    # under the key of the installed version.
    version=$(dpkg-query -W -f='${Version}' sonic-visualiser 2>/dev/null | sed 's/-[^-]*$//')
    [ -n "$version" ] || fail "cannot tell Sonic Visualiser's version"
    home="$work/home"
    mkdir -p "$home/.config/sonic-visualiser" "$work/runtime"
    chmod 700 "$work/runtime"
    printf '[Preferences]\nnetwork-permission-%s=false\n' "$version" \
      >"$home/.config/sonic-visualiser/Sonic Visualiser.conf"
    cat >"$work/script.osc" <<EOF
/open $work/song.wav
/transform vamp:cqscope-vamp:cqscope:peaks
/exportlayer $work/layer.csv
/quit
EOF
    HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
      XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$work/runtime" \
      timeout 120 xvfb-run -a -s "-screen 0 1280x1024x24" \
      sonic-visualiser --no-audio --no-splash --osc-script "$work/script.osc" \
      >"$work/sv.log" 2>&1
    status=$?
    [ $status -ne 124 ] || fail "Sonic Visualiser did not finish its script in 120 s: $(tail -5 "$work/sv.log")"
    [ -s "$work/layer.csv" ] || fail "Sonic Visualiser exported no layer (exit $status): $(tail -20 "$work/sv.log")"
    # Both as "time,frequency,label" lines in one order (the layer is sorted by time and value,
    # the host's lines strongest first).
    run peaks "$work/song.wav" >"$work/host.txt"
    host=$(sed -n 's/^ *\([0-9.]*\): \([^ ]*\) \(.*\)$/\1,\2,\3/p' "$work/host.txt" | LC_ALL=C sort)
    layer=$(sed 's/\r$//' "$work/layer.csv" | grep -v '^$' | LC_ALL=C sort)
    [ -n "$host" ] || fail "vamp-simple-host gave no peaks: $(cat "$work/host.txt")"
    [ "$layer" = "$host" ] || fail "the exported layer differs from vamp-simple-host's peaks:
$(diff <(echo "$host") <(echo "$layer"))"
    echo "Sonic Visualiser: the exported peaks layer ($(echo "$layer" | wc -l) points) is vamp-simple-host's"
    ;;

  *)
    fail "unknown step '$step' (simple-host or sonic-visualiser)"
    ;;
esac
