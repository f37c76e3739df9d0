#!/usr/bin/env bash
# The LV2 bundle and the VST 2 module in Debian's Audacity (3.2), under Xvfb, with a private
# configuration in a temporary HOME:
#   1. Audacity's scan (its plug-in validation runs in a process of its own) registers both as
#      valid, not as incompatible;
#   2. through its scripting pipe (mod-script-pipe) each plug-in is applied to a 3 s 32-bit float
#      stereo WAV file, and the exported float WAV holds bit for bit what Audacity exports of the
#      same import without the plug-in. (Audacity's own import and export turn negative zero
#      into zero and denormals into zero, with or without an effect, so the input file itself
#      is not the reference; everything else of it is.)
#
# Three starts: the scan, then one per plug-in. Both plug-ins are named "cqscope", so a script
# reaches only one of them by name; the other is disabled in Audacity's plug-in registry for
# that start. The scan's start does not load the scripting module: the validation process loads
# the enabled modules too, and its script pipe replaces the main process's under the same name.
#
# Environment (set by ctest): CQL_BUNDLE (the LV2 bundle folder), CQL_URI, CQL_VST (cqscope.so).
# Exit 77 (skipped) with one line saying why where Audacity or Xvfb is not installed.
set -uo pipefail
: "${CQL_BUNDLE:?}" "${CQL_URI:?}" "${CQL_VST:?}"
# float_wav PATH FRAMES and wav_samples PATH.
. "$(dirname "$0")/wav_tools.sh"

fail() {
  echo "audacity test: $*" >&2
  exit 1
}
skip() {
  echo "audacity test: $*; skipped"
  exit 77
}
command -v audacity >/dev/null 2>&1 || skip "audacity is not installed (Debian package audacity)"
command -v Xvfb >/dev/null 2>&1 || skip "Xvfb is not installed (Debian package xvfb)"
command -v python3 >/dev/null 2>&1 || skip "python3 is not installed"
command -v xwininfo >/dev/null 2>&1 || skip "xwininfo is not installed (Debian package x11-utils)"
[ -n "${CQL_SANITIZED:-}" ] && skip "a sanitizer build's libraries cannot be loaded by Audacity"
module=/usr/lib/audacity/modules/mod-script-pipe.so
[ -f "$module" ] || skip "Audacity's scripting module $module is missing"
# The pipe's name is fixed per user: another Audacity of this user would answer in ours.
pipe_to=/tmp/audacity_script_pipe.to.$(id -u)
pipe_from=/tmp/audacity_script_pipe.from.$(id -u)
if pgrep -u "$(id -u)" -x audacity >/dev/null; then
  skip "an Audacity of this user is running, and its script pipe would be ours"
fi

work=$(mktemp -d)
xvfb=
audacity=
finish() {
  [ -n "$audacity" ] && kill "$audacity" 2>/dev/null && wait "$audacity" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -f "$pipe_to" "$pipe_from"
  rm -rf "$work"
}
trap finish EXIT

# Only our plug-ins on the paths Audacity reads. Audacity adds relative "lv2" to the LV2 path, so
# it runs in an empty folder.
mkdir -p "$work/lv2" "$work/vst" "$work/run" "$work/tmp" "$work/home/.config/audacity"
ln -s "$CQL_BUNDLE" "$work/lv2/cqscope.lv2"
ln -s "$CQL_VST" "$work/vst/cqscope.so"
config=$work/home/.config/audacity
# write_config SCRIPTING: audacity.cfg with the scripting module enabled (1) or disabled (0);
# exports are 32-bit float WAV (libsndfile's WAV | FLOAT).
write_config() {
  cat >"$config/audacity.cfg" <<EOF
PrefsVersion=1.1.1r1
[Version]
Major=3
Minor=2
Micro=4
[GUI]
ShowSplashScreen=0
[Directories]
TempDir=$work/tmp
[FileFormats]
ExportFormat_SF1=$((0x10000 | 0x6))
[Module]
mod-script-pipe=$1
[ModulePath]
mod-script-pipe=$module
[ModuleDateTime]
mod-script-pipe=$(date -r "$module" +%Y-%m-%dT%H:%M:%S)
EOF
}

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(tr -d '\n' <"$work/display")

start_audacity() {
  rm -f "$pipe_to" "$pipe_from"
  (cd "$work/run" && HOME=$work/home XDG_CONFIG_HOME=$work/home/.config \
    XDG_DATA_HOME=$work/home/.local/share XDG_CACHE_HOME=$work/home/.cache LANG=C.UTF-8 \
    LV2_PATH=$work/lv2 VST_PATH=$work/vst exec audacity >>"$work/audacity.log" 2>&1) &
  audacity=$!
}
# Stopped by a signal, Audacity leaves its unsaved project behind, and the next start would offer
# to recover it in a dialog that holds up the scripts: the project's files go with it.
stop_audacity() {
  kill "$audacity" 2>/dev/null
  wait "$audacity" 2>/dev/null
  audacity=
  rm -rf "${work:?}/tmp" && mkdir "$work/tmp"
}

float_wav "$work/in.wav" $((3 * 48000))

# registry ACTION: prints each plug-in's path and its Valid flag ("show"), or disables the VST 2
# module ("lv2") or the LV2 plug-in ("vst") for the next start.
registry() {
  python3 - "$registry" "$CQL_URI" "$work/vst/cqscope.so;0" "$1" <<'PY'
import re, sys
path, lv2, vst, action = sys.argv[1:]
sections = re.split(r"(?m)^(?=\[)", open(path).read())
ours = {lv2: "LV2", vst: "VST 2"}
found = {}
for k, section in enumerate(sections):
    where = re.search(r"(?m)^Path=(.*)$", section)
    if not where or where.group(1) not in ours:
        continue
    kind = ours[where.group(1)]
    valid = re.search(r"(?m)^Valid=(\d)$", section)
    found[kind] = valid.group(1) if valid else "?"
    if action != "show":
        on = "1" if (kind == "LV2") == (action == "lv2") else "0"
        sections[k] = re.sub(r"(?m)^Enabled=\d$", "Enabled=" + on, section)
if action == "show":
    for kind in ("LV2", "VST 2"):
        print("%s Valid=%s" % (kind, found.get(kind, "(not registered)")))
else:
    open(path, "w").write("".join(sections))
PY
}
# 1. The scan. Audacity registers a plug-in it finds, then has it validated by a process of its
# own and records the result: it has ended for our plug-ins when both are recorded valid, or
# when Audacity lists incompatible plug-ins (its "New Plugins" window). Audacity is stopped then.
write_config 0
started=$SECONDS
start_audacity
registry=$config/pluginregistry.cfg
for _ in $(seq 1200); do
  kill -0 "$audacity" 2>/dev/null || break
  if [ -f "$registry" ]; then
    [ "$(registry show 2>/dev/null | tr '\n' ' ')" = "LV2 Valid=1 VST 2 Valid=1 " ] && break
    xwininfo -root -tree 2>/dev/null | grep -q '"New Plugins": ' && break
  fi
  sleep 0.1
done
stop_audacity
[ -f "$registry" ] || { cat "$work/audacity.log"; fail "Audacity wrote no plug-in registry"; }
registry show | tee "$work/valid.txt"
echo "the scan took $((SECONDS - started)) s"
grep -qx "LV2 Valid=1" "$work/valid.txt" ||
  fail "Audacity's scan did not register the LV2 plug-in as valid"
grep -qx "VST 2 Valid=1" "$work/valid.txt" ||
  fail "Audacity's scan did not register the VST 2 module as valid"

# 2. One start per plug-in: import, apply "cqscope", export.
apply() {
  local kind=$1 out=$2 reference=$3
  registry "$kind"
  # Audacity's own configuration as the scan left it, with the scripting module enabled.
  sed -i 's/^mod-script-pipe=0$/mod-script-pipe=1/' "$config/audacity.cfg"
  # Exports in WAV (libsndfile's 0x10000) with 32-bit float samples (its encoding 6).
  grep -q '^\[FileFormats/ExportFormat_SF1_Type\]' "$config/audacity.cfg" ||
    printf '[FileFormats/ExportFormat_SF1_Type]\nWAV_10000=6\n' >>"$config/audacity.cfg"
  start_audacity
  # A command that arrives before the project window exists is lost, and its answer never comes.
  for _ in $(seq 600); do
    xwininfo -root -tree 2>/dev/null | grep -qE '"Audacity": .* [0-9]{3,4}x[0-9]{3,4}\+' && break
    sleep 0.1
  done
  python3 - "$pipe_to" "$pipe_from" "$work/in.wav" "$out" "$reference" <<'PY' || return 1
import os, signal, sys, time
to_path, from_path, source, target, reference = sys.argv[1:]
# A dialog of Audacity's holds up its scripts: the whole exchange is bounded.
signal.signal(signal.SIGALRM, lambda *_: sys.exit("Audacity did not answer in 120 s"))
signal.alarm(120)
deadline = time.monotonic() + 120
while not (os.path.exists(to_path) and os.path.exists(from_path)):
    if time.monotonic() > deadline:
        sys.exit("Audacity's script pipe did not appear in 120 s")
    time.sleep(0.05)
# Opening blocks until Audacity's pipe thread opens its ends; a reply ends with
# "BatchCommand finished: ..." and an empty line.
to = open(to_path, "w")
replies = open(from_path)
def command(text):
    to.write(text + "\n")
    to.flush()
    lines = []
    while True:
        line = replies.readline()
        if line == "":
            sys.exit("Audacity closed its script pipe during " + text)
        if line == "\n" and lines and lines[-1].startswith("BatchCommand finished"):
            break
        lines.append(line.rstrip("\n"))
    print("%s -> %s" % (text, " | ".join(l for l in lines if l)))
    if lines[-1] != "BatchCommand finished: OK":
        sys.exit("Audacity failed: " + text)
command('Import2: Filename="%s"' % source)
command('Export2: Filename="%s" NumChannels=2' % reference)
command("SelectAll:")
command("Cqscope:")
command('Export2: Filename="%s" NumChannels=2' % target)
PY
  stop_audacity
}

for kind in lv2 vst; do
  started=$SECONDS
  apply "$kind" "$work/out-$kind.wav" "$work/ref-$kind.wav" ||
    { cat "$work/audacity.log"; fail "applying the $kind plug-in failed"; }
  [ -s "$work/out-$kind.wav" ] || fail "Audacity exported no file through the $kind plug-in"
  wanted=$(wav_samples "$work/ref-$kind.wav")
  [ "$(wav_samples "$work/in.wav" | cut -d' ' -f1-7)" = "$(echo "$wanted" | cut -d' ' -f1-7)" ] ||
    fail "Audacity's export without the plug-in is not the input's format and length: $wanted"
  got=$(wav_samples "$work/out-$kind.wav")
  [ "$got" = "$wanted" ] || fail "the $kind plug-in changed the samples: without it $wanted, through it $got"
  echo "audacity: the $kind plug-in passed 3 s of 32-bit float stereo bit for bit, as exported without it ($((SECONDS - started)) s)"
done
