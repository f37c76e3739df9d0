#!/usr/bin/env bash
# Draws docs/sonic-visualiser.png: Sonic Visualiser showing cqscope's Vamp layers for a short
# chord sequence (C, F, G, C major; three sine tones each, silence between), the Magnitudes
# colour plot in the upper pane and the Peaks over Sonic Visualiser's own melodic-range
# spectrogram in the lower one.
#
#   scripts/sonic_visualiser_picture.sh [BUILD_DIR] [OUT.png]
#
# BUILD_DIR (default build) holds out/cqscope-vamp.so and out/cqscope-vamp.cat; OUT.png defaults
# to docs/sonic-visualiser.png. Sonic Visualiser runs on a private virtual screen (Xvfb) with a
# private configuration, so neither the desktop nor the user's settings take part. It opens a
# session written here (the panes, their heights, the layers and how they are drawn, with the
# plug-in's transforms, which it runs on opening); the picture is the screen once it has stopped
# changing, cropped to the window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
[ -d "$build" ] || { echo "sonic_visualiser_picture: no build folder $build" >&2; exit 1; }
build=$(cd "$build" && pwd)
out=${2:-$root/docs/sonic-visualiser.png}

for tool in sonic-visualiser:sonic-visualiser Xvfb:xvfb xwd:x11-apps sox:sox soxi:sox \
  convert:imagemagick identify:imagemagick bzip2:bzip2 xdpyinfo:x11-utils; do
  command -v "${tool%%:*}" >/dev/null 2>&1 ||
    { echo "sonic_visualiser_picture: ${tool%%:*} is not installed (Debian package ${tool#*:})" >&2; exit 1; }
done
for file in cqscope-vamp.so cqscope-vamp.cat; do
  [ -f "$build/out/$file" ] ||
    { echo "sonic_visualiser_picture: no $build/out/$file (build the target cqscope_vamp)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=
sv_pid=
cleanup() {
  [ -z "$sv_pid" ] || kill "$sv_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The window, in pixels; the screen is larger, and the picture is the window's corner of it.
width=1200
height=720

# The plug-in alone in a folder of its own, as installed.
mkdir -p "$work/vamp" "$work/home/.config/sonic-visualiser" "$work/runtime"
chmod 700 "$work/runtime"
cp "$build/out/cqscope-vamp.so" "$build/out/cqscope-vamp.cat" "$work/vamp/"

# The music: four triads of sine tones at 48 kHz, each 1 s (the last 0.1 s a fade), then 0.7 s
# of silence. Sine tones keep each chord's three strongest peaks on its three notes, and the
# silences leave the peaks layer room to write the last label of each chord.
chords=("C4 E4 G4" "F4 A4 C5" "G4 B4 D5" "C4 E4 G4")
parts=()
for k in "${!chords[@]}"; do
  read -r a b c <<<"${chords[$k]}"
  sox -n -r 48000 -c 1 "$work/chord$k.wav" synth 1.0 sine "$a" sine "$b" sine "$c" \
    channels 1 fade 0.01 1.0 0.1 gain -12 pad 0 0.7
  parts+=("$work/chord$k.wav")
done
sox "${parts[@]}" "$work/chords.wav"
frames=$(soxi -s "$work/chords.wav")

# The session. The view's zoom is frames per pixel and its centre a frame. Sonic Visualiser
# rounds a zoom to one of its own steps, and 406 is one: the 6.8 s example then spans about 800
# of the pane's 1180 pixels, from just right of the colour plot's note scale (about 225 pixels
# wide, drawn over the pane's left edge) to where the last label still fits.
pane_width=$((width - 20))
left=245
zoom=406
centre=$(((pane_width / 2 - left) * zoom))
transform() { # ID MODEL
  cat <<EOF
  <derivation type="transform" source="0" model="$2" channel="-1" domain="0" stepSize="512" blockSize="512" windowType="3" transform="vamp:cqscope-vamp:cqscope:$1">
    <transform id="vamp:cqscope-vamp:cqscope:$1" pluginVersion="1" program="" stepSize="512" blockSize="512" windowType="hanning" startTime="0.000000000" duration="0.000000000" sampleRate="0">
      <parameter name="peaks" value="3"/>
    </transform>
    <plugin identifier="cqscope" name="cqscope" version="1" param-peaks="3"/>
  </derivation>
EOF
}
view() { # HEIGHT
  echo "  <view centre=\"$centre\" zoom=\"$zoom\" deepZoom=\"1\" followPan=\"1\" followZoom=\"1\" tracking=\"page\" type=\"pane\" centreLineVisible=\"0\" height=\"$1\">"
}
{
  cat <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE sonic-visualiser>
<sv>
<data>
  <model id="0" name="chords.wav" sampleRate="48000" start="0" end="$frames" type="wavefile" file="$work/chords.wav" mainModel="true"/>
EOF
  transform magnitudes 1
  transform peaks 2
  cat <<EOF
  <layer id="3" type="timeruler" name="Ruler" model="0" colourName="Black" colour="#000000" darkBackground="false"/>
  <layer id="4" type="colour3dplot" name="Magnitudes" model="1" scale="0" minY="200" maxY="620" invertVertical="false" opaque="false" binScale="0" smooth="false" gain="2" colourMap="Sunset" colourScheme="1" columnNormalization="none" normalizeColumns="false" normalizeVisibleArea="false"/>
  <layer id="5" type="spectrogram" name="Spectrogram" model="0" channel="-1" windowSize="8192" windowHopLevel="4" oversampling="1" gain="1" threshold="1e-08" minFrequency="200" maxFrequency="700" colourScale="0" colourRotation="0" frequencyScale="1" binDisplay="0" colourMap="Sunset" colourScheme="1" columnNormalization="none" normalizeColumns="false" normalizeVisibleArea="false"/>
  <layer id="6" type="timevalues" name="Peaks" model="2" plotStyle="0" verticalScale="0" scaleMinimum="0" scaleMaximum="0" drawDivisions="true" fillSegments="true" derivative="false" fillColourMap="Green" colourMap="0" colourName="Bright Green" colour="#14ff5a" darkBackground="true"/>
</data>
<display>
  <window width="$width" height="$height"/>
EOF
  view 360
  echo '    <layer id="3" type="timeruler" name="Ruler" model="0" visible="true"/>'
  echo '    <layer id="4" type="colour3dplot" name="Magnitudes" model="1" visible="true"/>'
  echo '  </view>'
  view 210
  echo '    <layer id="5" type="spectrogram" name="Spectrogram" model="0" visible="true"/>'
  echo '    <layer id="6" type="timevalues" name="Peaks" model="2" visible="true"/>'
  echo '    <layer id="3" type="timeruler" name="Ruler" model="0" visible="true"/>'
  echo '  </view>'
  echo '</display>'
  echo '</sv>'
} | bzip2 >"$work/chords.sv"

# Sonic Visualiser's batch commands: the session, then its window without the side panels.
cat >"$work/picture.osc" <<EOF
/open $work/chords.sv
/resize $width $height
/set propertyboxes 0
/set zoomwheels 0
EOF

# A private configuration: Sonic Visualiser asks on its first run whether it may use the
# network, in a dialog nothing here could answer; the answer (no) is in the settings already,
# under the key of the installed version.
version=$(dpkg-query -W -f='${Version}' sonic-visualiser 2>/dev/null | sed 's/-[^-]*$//' || true)
[ -n "$version" ] ||
  { echo "sonic_visualiser_picture: cannot tell Sonic Visualiser's version (dpkg-query)" >&2; exit 1; }
printf '[Preferences]\nnetwork-permission-%s=false\n' "$version" \
  >"$work/home/.config/sonic-visualiser/Sonic Visualiser.conf"

# A free display number, then the virtual screen, ready once it answers.
display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 "$((width + 80))x$((height + 80))x24" -nolisten tcp -noreset \
  >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  DISPLAY=":$display" xdpyinfo >/dev/null 2>&1 && break
  kill -0 "$xvfb_pid" 2>/dev/null ||
    { echo "sonic_visualiser_picture: Xvfb failed: $(cat "$work/xvfb.log")" >&2; exit 1; }
  sleep 0.1
done
DISPLAY=":$display" xdpyinfo >/dev/null 2>&1 ||
  { echo "sonic_visualiser_picture: Xvfb on :$display did not answer in 10 s" >&2; exit 1; }

HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
  XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime" VAMP_PATH="$work/vamp" \
  DISPLAY=":$display" sonic-visualiser --no-audio --no-splash --osc-script "$work/picture.osc" \
  >"$work/sv.log" 2>&1 &
sv_pid=$!

# Done once the script has run and the screen has not changed for three grabs in a row (the
# transforms run in the background and the panes fill as they finish); at most two minutes.
grab() { DISPLAY=":$display" xwd -root -silent -out "$work/screen.xwd"; }
same=0
last=
for _ in $(seq 240); do
  sleep 0.5
  kill -0 "$sv_pid" 2>/dev/null ||
    { echo "sonic_visualiser_picture: Sonic Visualiser stopped: $(tail -20 "$work/sv.log")" >&2; exit 1; }
  grep -aq 'picture.osc: finished' "$work/sv.log" || continue
  grab
  sum=$(md5sum <"$work/screen.xwd")
  if [ "$sum" = "$last" ]; then same=$((same + 1)); else same=0; fi
  last=$sum
  [ "$same" -lt 3 ] || break
done
[ "$same" -ge 3 ] ||
  { echo "sonic_visualiser_picture: the window did not settle in two minutes: $(tail -20 "$work/sv.log")" >&2; exit 1; }

# The window without its status line (which reads the pane's start, left of zero here, oddly),
# in 256 colours: the window has few, and the file is a third smaller.
convert "$work/screen.xwd" -crop "${width}x$((height - 22))+0+0" +repage -strip -colors 256 \
  -define png:compression-level=9 "PNG8:$out"
echo "sonic_visualiser_picture: $out ($(identify -format '%wx%h' "$out"), $(stat -c %s "$out") bytes)"
