#!/usr/bin/env bash
# cqscope-host against FFmpeg's showcqt filter, the tool people use today for a constant-Q
# picture of audio: same signals, same outputs, timed in the same run, printed as ratios.
#
#   bench/render_vs_showcqt.sh [BUILD_DIR] [REPEATS]
#
# Signals (made with SoX, 60 s of 48 kHz 16-bit stereo): a sustained A minor chord with pink
# noise, and ten plucked notes that each decay to silence. Jobs: 600 PNG pictures 960 x 512
# at 10 a second, for each signal; an H.264 + AAC video 960 x 512 at 30 frames a second of
# the chord. Each time is the fastest of REPEATS runs (default 3) of the wall-clock time.
set -euo pipefail

build=${1:-build}
repeats=${2:-3}
host="$build/out/cqscope-host"
for tool in sox ffmpeg "$host"; do
  command -v "$tool" >/dev/null ||
    { echo "render_vs_showcqt: $tool is missing (scripts/setup.sh --for bench installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# -D: no dither, so that silence is silence.
tone() { sox -D -n -r 48000 -c 2 -b 16 "$work/$1.wav" synth 60 sine "$2" vol 0.25; }
tone a 220; tone c 261.63; tone e 329.63
sox -D -n -r 48000 -c 2 -b 16 "$work/noise.wav" synth 60 pinknoise vol 0.1
sox -D -m "$work/a.wav" "$work/c.wav" "$work/e.wav" "$work/noise.wav" "$work/chord.wav"
notes=(C3 E3 G3 C4 E4 G4 A3 F3 D4 B3)
for i in "${!notes[@]}"; do
  sox -D -n -r 48000 -c 2 -b 16 "$work/pluck$i.wav" synth 6 pluck "${notes[$i]}" fade 0 6 4.5
done
sox -D "$work"/pluck{0..9}.wav "$work/plucked.wav"

# Fastest wall-clock time of the command, in seconds, over the repeats; the output folder or
# file is removed before each run.
fastest() {
  local out=$1 best="" start end seconds
  shift
  for ((r = 0; r < repeats; r++)); do
    rm -rf "$out"
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "render_vs_showcqt: failed: $*" >&2; exit 1; }
    end=$(date +%s.%N)
    seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
    if [[ -z $best ]] || awk -v s="$seconds" -v b="$best" 'BEGIN { exit !(s < b) }'; then
      best=$seconds
    fi
  done
  printf '%.2f' "$best"
}

showcqt_png() {
  mkdir -p "$2"
  ffmpeg -v error -y -i "$1" -filter_complex "showcqt=s=960x512:r=10" "$2/%04d.png"
}
showcqt_video() {
  ffmpeg -v error -y -i "$1" -filter_complex "[0:a]showcqt=s=960x512:r=30[v]" -map "[v]" \
    -map 0:a -c:v libx264 -pix_fmt yuv420p -c:a aac "$2"
}

echo "load before: $(uptime)"
printf '%-40s %10s %10s %8s\n' job cqscope-host ffmpeg ratio
report() {
  printf '%-40s %9ss %9ss %8.3f\n' "$1" "$2" "$3" "$(awk -v a="$2" -v b="$3" 'BEGIN { print a / b }')"
}
for signal in chord plucked; do
  ours=$(fastest "$work/ours" "$host" render "$work/$signal.wav" --every 0.1 --out "$work/ours")
  theirs=$(fastest "$work/theirs" showcqt_png "$work/$signal.wav" "$work/theirs")
  report "600 PNG, $signal" "$ours" "$theirs"
done
ours=$(fastest "$work/ours.mp4" "$host" render "$work/chord.wav" --out "$work/ours.mp4")
theirs=$(fastest "$work/theirs.mp4" showcqt_video "$work/chord.wav" "$work/theirs.mp4")
report "H.264 + AAC video 30 fps, chord" "$ours" "$theirs"
echo "load after: $(uptime)"
