#!/usr/bin/env bash
# cqscope-host against FFmpeg's showcqt filter, the tool people use today for a constant-Q
# picture of audio: the same signals, the same outputs with the same encoder settings, timed in
# the same run, printed as ratios.
#
#   bench/render_vs_showcqt.sh [BUILD_DIR] [REPEATS] [JOB]
#
# Signals (made with SoX, 60 s of 48 kHz 16-bit stereo): a sustained A minor chord with pink
# noise (the mix), and ten plucked notes that each decay to silence. Jobs: 600 PNG pictures
# 960 x 512 at 10 a second, for each signal; an H.264 + AAC video 960 x 512 at 30 frames a
# second of the mix, both sides with the encoder settings cqscope-host uses (x264's ultrafast
# preset tuned for zero latency at CRF 18, yuv420p, FFmpeg's AAC encoder with its fast coder at
# 192 kbit/s), each with the threads it takes by default. The jobs run in turn, ours then FFmpeg's, REPEATS times (default 3), so
# that a busy machine slows both sides alike; each time shown is the fastest wall-clock time of
# its job, with the processor time (user + system) of that run.
set -euo pipefail

build=${1:-build}
repeats=${2:-3}
only=${3:-}  # a job number (0, 1, 2) to run that job alone
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

showcqt_png() {
  mkdir -p "$2"
  ffmpeg -v error -y -i "$1" -filter_complex "showcqt=s=960x512:r=10" "$2/%04d.png"
}
showcqt_video() {
  ffmpeg -v error -y -i "$1" -filter_complex "[0:a]showcqt=s=960x512:r=30[v]" -map "[v]" \
    -map 0:a -c:v libx264 -preset ultrafast -tune zerolatency -crf 18 -pix_fmt yuv420p \
    -c:a aac -aac_coder fast -b:a 192k "$2"
}

jobs=("600 PNG, mix" "600 PNG, plucked notes" "H.264 + AAC video 30 fps, mix")
# Job j, side s (0: cqscope-host, 1: FFmpeg), writing to `out`.
run_job() {
  local j=$1 s=$2 out=$3
  case $j$s in
    00) "$host" render "$work/chord.wav" --every 0.1 --out "$out" ;;
    01) showcqt_png "$work/chord.wav" "$out" ;;
    10) "$host" render "$work/plucked.wav" --every 0.1 --out "$out" ;;
    11) showcqt_png "$work/plucked.wav" "$out" ;;
    20) "$host" render "$work/chord.wav" --out "$out.mp4" ;;
    21) showcqt_video "$work/chord.wav" "$out.mp4" ;;
  esac
}

declare -A wall cpu
echo "load before: $(uptime)"
TIMEFORMAT='%R %U %S'
for ((r = 0; r < repeats; r++)); do
  for j in "${!jobs[@]}"; do
    [[ -z $only || $only == "$j" ]] || continue
    for s in 0 1; do
      out="$work/out$s"
      rm -rf "$out" "$out.mp4"
      # What the run before wrote goes to disk now, not in the background of this one.
      sync
      times=$({ time run_job "$j" "$s" "$out" >/dev/null 2>&1; } 2>&1) ||
        { echo "render_vs_showcqt: job failed: ${jobs[$j]} (side $s)" >&2; exit 1; }
      read -r real user system <<<"$times"
      if [[ -z ${wall[$j$s]:-} ]] || awk -v a="$real" -v b="${wall[$j$s]}" 'BEGIN { exit !(a < b) }'; then
        wall[$j$s]=$real
        cpu[$j$s]=$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')
      fi
    done
  done
done
echo "load after: $(uptime)"

printf '%-32s %14s %14s %7s %14s %14s %7s\n' job "cqscope wall" "ffmpeg wall" ratio \
  "cqscope CPU" "ffmpeg CPU" ratio
for j in "${!jobs[@]}"; do
  [[ -z $only || $only == "$j" ]] || continue
  printf '%-32s %13.2fs %13.2fs %7.3f %13.2fs %13.2fs %7.3f\n' "${jobs[$j]}" \
    "${wall[${j}0]}" "${wall[${j}1]}" "$(awk -v a="${wall[${j}0]}" -v b="${wall[${j}1]}" 'BEGIN { print a / b }')" \
    "${cpu[${j}0]}" "${cpu[${j}1]}" "$(awk -v a="${cpu[${j}0]}" -v b="${cpu[${j}1]}" 'BEGIN { print a / b }')"
done
