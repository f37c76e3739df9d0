#!/usr/bin/env bash
# Drives the Windows builds and their runs under Wine for ctest. One step per call:
#
#   windows_test.sh build                  cross-build the win32 and win64 presets
#   windows_test.sh exports                check exports and imports of the DLLs, CLAP and VST 3
#                                          files and hosts
#   windows_test.sh start                  start Xvfb and the shared Wine prefix
#   windows_test.sh stop                   stop them again
#   windows_test.sh probe ARCH             compare cqscope-host.exe probe with the Linux probe
#   windows_test.sh display ARCH           compare the captured demo display, live and held,
#                                          with the Linux render
#   windows_test.sh audio ARCH             the same for a 48 kHz WAV file
#   windows_test.sh cycle ARCH             two instances and their editors opened, closed,
#                                          freed and loaded again, as hosts do
#   windows_test.sh pointer ARCH           the real pointer over the demo display: below its
#                                          label the same as the Linux render with --pointer
#                                          (cursor line included), and once it left the window
#                                          the picture it had before, byte for byte
#   windows_test.sh errors ARCH            bad input to cqscope-host.exe
#   windows_test.sh rival ARCH             the demo display with another DLL's "DrawWnd" class
#                                          registered first and that DLL unloaded while the
#                                          editor is open, compared with the Linux render
#   windows_test.sh com ARCH               the editor created and destroyed on a thread in the
#                                          multithreaded COM apartment leaves its COM state
#   windows_test.sh vst3 ARCH              cqscope-host.exe probes the VST 3 bundle (the Linux
#                                          probe's answers but the system's own), and captures
#                                          its display of a tone in a WAV file and of the demo,
#                                          live and held, as the Linux VST 2 render shows them
#   windows_test.sh clap ARCH              cqscope-host.exe probes the CLAP file (the Linux
#                                          probe's answers, win32 for x11), processes audio
#                                          through it bit for bit at 44.1, 48 and 96 kHz, and
#                                          captures its display, live and held (with and
#                                          without the host's timers), as the Linux VST 2
#                                          render shows it
#
# ARCH is win32 or win64. Settings come from the environment that tests/windows/CMakeLists.txt
# gives every test: CQW_SOURCE (the source tree), CQW_DIR (this build tree's folder for the
# Windows builds, the Wine prefix, the X server's state and the pictures), CQW_HOST and
# CQW_PLUGIN (the Linux cqscope-host and cqscope.so), CQW_VST3 (the Linux cqscope.vst3 bundle),
# CQW_COMPARE (the picture comparer),
# CQW_SIGNAL (the test-signal writer).
# Exit status 77 means skipped, with one line on stderr saying why: a tool is missing
# (scripts/setup.sh installs them all), or this machine cannot execute 32-bit x86 programs.
#
# Some machines of our kind run 32-bit x86 code and some cannot (their kernel refuses it with
# "Exec format error"), and on some the 32-bit half of Wine cannot be installed. The start step
# takes the 32-bit path only where a win32 program really runs: the kernel executes a tiny
# 32-bit program, the 32-bit Wine loader is installed, and a small win32 console program built
# here prints its line under it. The answer and its reason are recorded in the state folder.
# Otherwise every Wine program runs under the 64-bit loader directly, in a 64-bit prefix, and
# only the steps that execute win32 programs skip, giving the reason; the win32 cross-build and
# its checks of exports and imports still run. CQSCOPE_NO_32BIT=1 takes the second path on any
# machine.
#
# Every step that runs a program checks a line or file that only a real run of it produces: Wine
# can exit 0 without having run anything.
set -uo pipefail

step=${1:-}
arch=${2:-}
: "${CQW_SOURCE:?}" "${CQW_DIR:?}"
state=$CQW_DIR/state
mkdir -p "$state"

export WINEPREFIX=$CQW_DIR/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko installers: nothing here needs .NET or a browser engine.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

fail() {
  echo "windows test: $*" >&2
  exit 1
}

need() {
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "windows test: $tool is not installed (scripts/setup.sh installs it); skipped" >&2
      exit 77
    fi
  done
}

# Every step but stop: skipped in scripts/test.sh --quick (the cross-builds and Wine are the
# slow part of the suite), and when a tool is missing.
if [ "$step" != stop ]; then
  if [ "${CQSCOPE_QUICK:-0}" = 1 ]; then
    echo "windows test: skipped in quick mode" >&2
    exit 77
  fi
  need cmake ninja i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix \
    x86_64-w64-mingw32-objdump
  case "$step" in build | exports) ;; *) need wine wineserver Xvfb ;; esac
fi

# Answers 0 when this machine executes 32-bit x86 programs. It runs a 96-byte static i386 ELF
# program (one segment whose code is: mov eax, 1; mov ebx, 42; int 0x80, i.e. exit(42)), so
# what is tested is the kernel's answer, not a guess from the architecture's name.
probe_32bit() {
  local program=$state/exit42-i386
  printf '%b' \
    '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00' \
    '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
    '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00' \
    '\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' \
    >"$program"
  chmod +x "$program"
  "$program" 2>/dev/null
  local status=$?
  rm -f "$program"
  [ $status = 42 ]
}

# The 64-bit Wine loader, run directly where 32-bit programs cannot run (Debian's wine wrapper
# would pick the 32-bit loader whenever it is installed, runnable or not).
wine64_loader() {
  local candidate
  for candidate in "$(command -v wine64 2>/dev/null)" /usr/lib/wine/wine64 \
    /usr/lib/x86_64-linux-gnu/wine/wine64 /usr/lib64/wine/wine64; do
    [ -n "$candidate" ] && [ -x "$candidate" ] && { echo "$candidate"; return 0; }
  done
  return 1
}

# The 32-bit Wine loader, where it is installed (Debian's wine32 package).
wine32_loader() {
  local candidate
  for candidate in /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine /usr/lib32/wine/wine; do
    [ -x "$candidate" ] && { echo "$candidate"; return 0; }
  done
  return 1
}

# Answers 0 when a win32 console program, cross-built here, runs under $WINE and prints its line;
# otherwise says on stdout what went wrong.
win32_program_runs() {
  local source=$state/hello-win32.c program=$state/hello-win32.exe expected="win32 program ran"
  printf '#include <stdio.h>\nint main(void) { puts("%s"); return 0; }\n' "$expected" >"$source"
  i686-w64-mingw32-gcc -O1 -o "$program" "$source" 2>"$state/hello-win32.err" ||
    { echo "the win32 test program did not build: $(head -n 1 "$state/hello-win32.err")"; return 1; }
  run_wine "$state/hello-win32.out" "$state/hello-win32.err" "$program"
  if ! grep -q "^$expected" "$state/hello-win32.out"; then
    echo "32-bit Wine does not run a win32 program here:" \
      "$(grep -v '^\s*$' "$state/hello-win32.err" | head -n 1)"
    return 1
  fi
}

# What the start step found, for every later step: "yes" or "no" in $state/runs-32bit.
if [ -f "$state/runs-32bit" ] && [ "$(cat "$state/runs-32bit")" = no ]; then
  WINE=$(wine64_loader) || WINE=wine
  export WINELOADER=$WINE
else
  WINE=wine
fi

# Steps that execute win32 programs end here, skipped, where the start step found that this
# machine cannot run them.
skip_unless_runs() {
  [ "$1" = win32 ] || return 0
  [ -f "$state/runs-32bit" ] || fail "the start step did not run (no record of 32-bit execution)"
  if [ "$(cat "$state/runs-32bit")" = no ]; then
    echo "windows test: $(cat "$state/runs-32bit.why"): win32 runtime tests skipped" >&2
    exit 77
  fi
}

build_dir() { echo "$CQW_DIR/build-$1"; }

# The names a module exports, sorted, each followed by a space, from its objdump -p text.
export_names() {
  printf '%s\n' "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk '/^\t\[/ {print $3}' | sort | tr '\n' ' '
}

dll_name() { if [ "$1" = win64 ]; then echo cqscope64.dll; else echo cqscope.dll; fi; }

clap_name() { if [ "$1" = win64 ]; then echo cqscope.clap; else echo cqscope32.clap; fi; }

# The VST 3 binary inside the bundle, in the folder of its system.
vst3_name() {
  if [ "$1" = win64 ]; then echo cqscope.vst3/Contents/x86_64-win/cqscope.vst3
  else echo cqscope.vst3/Contents/x86-win/cqscope.vst3; fi
}

# A Linux path as Wine's Z: drive sees it.
winpath() { echo "Z:$1"; }

# Runs a Windows program under Wine with a time limit; its output goes to files, never to the
# pipe ctest reads, because Wine's helper processes inherit the descriptors and outlive it.
run_wine() {
  local out=$1 err=$2
  shift 2
  [ -f "$state/display" ] || fail "the X server is not running (the start step failed)"
  DISPLAY=:$(cat "$state/display") timeout 120 "$WINE" "$@" >"$out" 2>"$err" </dev/null
}

# The Linux VST 2 render of the built-in demo (a chord with its notes held) at 3 s, as the
# Windows captures are compared with it: PREFIX.png live, PREFIX-hold.png after a Hold click.
render_demo() {
  "$CQW_HOST" render --plugin "$CQW_PLUGIN" --at 3 --out "$1.png" >/dev/null ||
    fail "the Linux render failed"
  "$CQW_HOST" render --plugin "$CQW_PLUGIN" --at 3 --hold-at 3 --out "$1-hold.png" \
    >/dev/null || fail "the Linux render with Hold failed"
}

# Where Wine's font put the Hold text, from a capture's output FILE: its opaque cell as
# X,Y,WIDTH,HEIGHT, left out of the comparisons; nothing when the capture did not report it.
hold_cell() {
  sed -n 's/^hold text cell: \([0-9]*\) \([0-9]*\) \([0-9]*\) \([0-9]*\)\r*$/\1,\2,\3,\4/p' "$1"
}

# compare_demo LINUX WINDOWS CELL: compares a capture of the demo at 3 s, live (WINDOWS.ppm)
# and after its Hold click (WINDOWS-hold.ppm), with render_demo's LINUX.png and LINUX-hold.png
# outside the Hold text cell CELL; differences are drawn into WINDOWS-diff.png and
# WINDOWS-hold-diff.png. Answers 0 when both pictures are identical there.
compare_demo() {
  local status=0
  "$CQW_COMPARE" "$1.png" "$2.ppm" "$2-diff.png" \
    --expect bars,stripes,grid,hold-grey --mask "$3" || status=1
  "$CQW_COMPARE" "$1-hold.png" "$2-hold.ppm" "$2-hold-diff.png" \
    --expect bars,stripes,grid,hold-white --mask "$3" || status=1
  return $status
}

# probe_both NAME LINUX WINDOWS SCRATCH: the Linux host's probe of LINUX into
# SCRATCH/probe-linux.txt and cqscope-host.exe's probe of WINDOWS (of $arch, in $out) into
# SCRATCH/probe.txt; NAME names the Windows file in messages.
probe_both() {
  "$CQW_HOST" probe --plugin "$2" >"$4/probe-linux.txt" || fail "the Linux probe of $2 failed"
  run_wine "$4/probe.txt" "$4/probe.err" "$out/cqscope-host.exe" probe --plugin "$(winpath "$3")" ||
    { cat "$4/probe.err" >&2; fail "the $arch probe of $1 failed"; }
}

case "$step" in
build)
  for preset in win32 win64; do
    dir=$(build_dir $preset)
    if [ ! -f "$dir/CMakeCache.txt" ]; then
      cmake --preset "$preset" -S "$CQW_SOURCE" -B "$dir" >"$state/configure-$preset.log" 2>&1 ||
        { cat "$state/configure-$preset.log" >&2; fail "configuring $preset failed"; }
    fi
    cmake --build "$dir" -j2 >"$state/build-$preset.log" 2>&1 ||
      { tail -n 40 "$state/build-$preset.log" >&2; fail "building $preset failed"; }
    for file in "out/$(dll_name $preset)" "out/$(clap_name $preset)" "out/$(vst3_name $preset)" \
      out/cqscope-host.exe; do
      [ -f "$dir/$file" ] || fail "$preset: $file was not built"
    done
    echo "$preset: built $(dll_name $preset), $(clap_name $preset), $(vst3_name $preset) and" \
      "cqscope-host.exe in $dir/out"
  done
  ;;

exports)
  allowed="kernel32.dll user32.dll gdi32.dll ole32.dll msvcrt.dll"
  status=0
  for preset in win32 win64; do
    out=$(build_dir $preset)/out
    format=pei-i386
    [ "$preset" = win64 ] && format=pei-x86-64
    for file in "$out/$(dll_name $preset)" "$out/$(clap_name $preset)" "$out/$(vst3_name $preset)" \
      "$out/cqscope-host.exe"; do
      dump=$(x86_64-w64-mingw32-objdump -p "$file") || fail "cannot read $file"
      x86_64-w64-mingw32-objdump -f "$file" | grep -q "file format $format" ||
        { echo "$file: not $format" >&2; status=1; }
      for dll in $(printf '%s\n' "$dump" | awk '/DLL Name:/ {print tolower($3)}'); do
        case " $allowed " in
          *" $dll "*) ;;
          *) echo "$file imports $dll, which a Windows machine does not have" >&2; status=1 ;;
        esac
      done
    done
    clap="$out/$(clap_name $preset)"
    dump=$(x86_64-w64-mingw32-objdump -p "$clap")
    names=$(export_names "$dump")
    if [ "$names" != "clap_entry " ]; then
      echo "$clap exports '$names', not exactly clap_entry" >&2
      status=1
    fi
    echo "$preset: $(basename "$clap") exports $names; imports" \
      "$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')"
    # The VST 3 entry points, undecorated on win32 too (GetPluginFactory is __stdcall there).
    vst3="$out/$(vst3_name $preset)"
    dump=$(x86_64-w64-mingw32-objdump -p "$vst3")
    names=$(export_names "$dump")
    if [ "$names" != "ExitDll GetPluginFactory InitDll " ]; then
      echo "$vst3 exports '$names', not exactly GetPluginFactory, InitDll and ExitDll" >&2
      status=1
    fi
    echo "$preset: $(vst3_name $preset) exports $names"
    dll="$out/$(dll_name $preset)"
    dump=$(x86_64-w64-mingw32-objdump -p "$dll")
    # The export names, and the addresses of the export address table.
    names=$(export_names "$dump")
    addresses=$(printf '%s\n' "$dump" | awk '/Export RVA/ {print $(NF - 2)}' | sort -u | tr '\n' ' ')
    if [ "$names" != "VSTPluginMain main " ]; then
      echo "$dll exports '$names', not exactly VSTPluginMain and main" >&2
      status=1
    fi
    if [ "$(echo $addresses | wc -w)" != 1 ]; then
      echo "$dll: VSTPluginMain and main are not one function (addresses $addresses)" >&2
      status=1
    fi
    echo "$preset: $(basename "$dll") exports $names(one entry at $addresses); imports" \
      "$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')"
  done
  exit $status
  ;;

start)
  "$0" stop >/dev/null 2>&1
  # answer yes|no WHY: records whether win32 programs run here, and why.
  answer() {
    echo "$2" >"$state/runs-32bit.why"
    echo "$1" >"$state/runs-32bit"
  }
  if [ "${CQSCOPE_NO_32BIT:-0}" = 1 ]; then
    answer no "this machine cannot execute 32-bit x86 programs (CQSCOPE_NO_32BIT=1 says so)"
  elif ! probe_32bit; then
    answer no "this machine cannot execute 32-bit x86 programs"
  elif ! wine32_loader >/dev/null; then
    answer no "32-bit Wine is not installed"
  else
    answer yes "this machine executes 32-bit x86 programs and 32-bit Wine runs them"
  fi
  # -displayfd picks a free display and writes its number once the server is ready.
  rm -f "$state/display.new"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$state/display.new" </dev/null >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$state/display.new" ] && break
    sleep 0.1
  done
  [ -s "$state/display.new" ] || { cat "$state/xvfb.log" >&2; fail "Xvfb did not start"; }
  tr -d '\n' <"$state/display.new" >"$state/display"
  echo "Xvfb on display :$(cat "$state/display") (pid $(cat "$state/xvfb.pid"))"

  # use_loader: picks the Wine loader for the recorded answer and makes (or keeps) the one
  # prefix of this build tree for it; Wine's first start in a new prefix is slow.
  use_loader() {
    if [ "$(cat "$state/runs-32bit")" = no ]; then
      WINE=$(wine64_loader) || fail "no 64-bit Wine loader (wine64) is installed"
      export WINELOADER=$WINE
    else
      WINE=wine
      unset WINELOADER
    fi
    # A prefix made by another loader would not serve this one.
    [ -f "$WINEPREFIX/cqscope-loader" ] && [ "$(cat "$WINEPREFIX/cqscope-loader")" != "$WINE" ] &&
      rm -rf "$WINEPREFIX"
    wineserver -k 2>/dev/null
    setsid wineserver -p </dev/null >"$state/wineserver.log" 2>&1
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "creating the Wine prefix $WINEPREFIX"
      run_wine "$state/wineboot.out" "$state/wineboot.err" wineboot -i ||
        { cat "$state/wineboot.err" >&2; fail "wineboot failed"; }
      echo "$WINE" >"$WINEPREFIX/cqscope-loader"
    fi
  }
  use_loader
  if [ "$(cat "$state/runs-32bit")" = yes ] && ! why=$(win32_program_runs); then
    answer no "$why"
    use_loader
  fi
  echo "$(cat "$state/runs-32bit.why"); Wine runs as $WINE"
  # Positive evidence that Wine starts programs at all: a Windows command's own output.
  run_wine "$state/wine-echo.out" "$state/wine-echo.err" cmd /c echo cqscope-wine-ready ||
    { cat "$state/wine-echo.err" >&2; fail "Wine does not start programs"; }
  grep -q cqscope-wine-ready "$state/wine-echo.out" ||
    { cat "$state/wine-echo.err" >&2; fail "Wine exited without running cmd (no output)"; }
  echo "Wine prefix ready"
  ;;

stop)
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null
    rm -f "$state/xvfb.pid" "$state/display"
  fi
  command -v wineserver >/dev/null && wineserver -k 2>/dev/null
  echo "stopped Xvfb and the Wine server"
  exit 0
  ;;

probe)
  [ "$arch" = win32 ] || [ "$arch" = win64 ] || fail "probe needs win32 or win64"
  skip_unless_runs "$arch"
  out=$(build_dir "$arch")/out
  "$CQW_HOST" probe --json --plugin "$CQW_PLUGIN" >"$state/probe-linux.json" ||
    fail "the Linux probe failed"
  run_wine "$state/probe-$arch.json" "$state/probe-$arch.err" \
    "$out/cqscope-host.exe" probe --json --plugin "$(winpath "$out/$(dll_name "$arch")")" ||
    { cat "$state/probe-$arch.err" >&2; fail "the $arch probe failed"; }
  grep -q '"uniqueID": 1685141811' "$state/probe-$arch.json" ||
    { cat "$state/probe-$arch.err" >&2; fail "the $arch probe printed no answers (did it run?)"; }
  # Everything but the plug-in's path must be the same.
  if ! diff -u <(grep -v '"path"' "$state/probe-linux.json") \
    <(grep -v '"path"' "$state/probe-$arch.json"); then
    fail "$arch: probe answers differ from Linux (above: - Linux, + Windows)"
  fi
  echo "$arch: probe answers identical to Linux ($(grep -c . "$state/probe-$arch.json") lines)"
  ;;

display | audio)
  [ "$arch" = win32 ] || [ "$arch" = win64 ] || fail "$step needs win32 or win64"
  skip_unless_runs "$arch"
  out=$(build_dir "$arch")/out
  pictures=$CQW_DIR/pictures
  mkdir -p "$pictures"
  rm -f "$pictures/$arch-$step"*
  name=$pictures/$arch-$step
  if [ "$step" = display ]; then
    # The built-in demo at 3 s, live and after a Hold click.
    render_demo "$name-linux"
    capture=(--at 3)
  else
    # A WAV file at 48 kHz: the file's own rate, both channels and 16-bit decoding.
    "$CQW_SIGNAL" "$name.wav" 48000 || fail "cannot write the test signal"
    "$CQW_HOST" render "$name.wav" --plugin "$CQW_PLUGIN" --at 1.5 --out "$name-linux.png" \
      >/dev/null || fail "the Linux render of $name.wav failed"
    capture=("$(winpath "$name.wav")" --at 1.5 --no-hold)
  fi
  run_wine "$state/$step-$arch.out" "$state/$step-$arch.err" \
    "$out/cqscope-host.exe" capture "${capture[@]}" --timeout 30 \
    --plugin "$(winpath "$out/$(dll_name "$arch")")" --out "$(winpath "$name-windows")" ||
    { cat "$state/$step-$arch.err" >&2; fail "the $arch capture failed"; }
  cell=$(hold_cell "$state/$step-$arch.out")
  [ -n "$cell" ] || fail "the capture did not report the Hold text cell"
  status=0
  if [ "$step" = display ]; then
    compare_demo "$name-linux" "$name-windows" "$cell" || status=1
  else
    "$CQW_COMPARE" "$name-linux.png" "$name-windows.ppm" "$name-diff.png" \
      --expect bars,grid,hold-grey --mask "$cell" || status=1
  fi
  [ $status = 0 ] || fail "$arch: the Windows display differs from the Linux render (pictures in $pictures)"
  if [ "$step" = display ]; then
    # The comparison itself must see one changed pixel: column 360, row 250 (the C4 line).
    cp "$name-windows.ppm" "$name-changed.ppm"
    header=$(head -n 3 "$name-changed.ppm" | wc -c)
    printf '\x12\x34\x56' | dd of="$name-changed.ppm" bs=1 conv=notrunc status=none \
      seek=$((header + (250 * 960 + 360) * 3))
    if "$CQW_COMPARE" "$name-linux.png" "$name-changed.ppm" "$name-changed-diff.png" \
      --mask "$cell" 2>/dev/null; then
      fail "the comparison missed a changed pixel"
    fi
    rm -f "$name-changed.ppm" "$name-changed-diff.png"
    echo "$arch: live and held demo displays identical to Linux outside the text cells"
  else
    echo "$arch: the display of a 48 kHz WAV file is identical to Linux outside the text cells"
  fi
  ;;

pointer)
  [ "$arch" = win32 ] || [ "$arch" = win64 ] || fail "pointer needs win32 or win64"
  skip_unless_runs "$arch"
  out=$(build_dir "$arch")/out
  pictures=$CQW_DIR/pictures
  mkdir -p "$pictures"
  name=$pictures/$arch-pointer
  rm -f "$name"*
  "$CQW_HOST" render --plugin "$CQW_PLUGIN" --at 3 --out "$name-linux.png" >/dev/null ||
    fail "the Linux render failed"
  "$CQW_HOST" render --plugin "$CQW_PLUGIN" --at 3 --pointer 450,300 \
    --out "$name-linux-pointer.png" >/dev/null || fail "the Linux render with --pointer failed"
  run_wine "$state/pointer-$arch.out" "$state/pointer-$arch.err" \
    "$out/cqscope-host.exe" capture --at 3 --no-hold --pointer 450,300 --timeout 30 \
    --plugin "$(winpath "$out/$(dll_name "$arch")")" --out "$(winpath "$name-windows")" ||
    { cat "$state/pointer-$arch.err" >&2; fail "the $arch capture with the pointer failed"; }
  cell=$(hold_cell "$state/pointer-$arch.out")
  [ -n "$cell" ] || fail "the capture did not report the Hold text cell"
  [ -f "$name-windows-left.ppm" ] || fail "the capture wrote no picture after the pointer left"
  status=0
  "$CQW_COMPARE" "$name-linux.png" "$name-windows.ppm" "$name-diff.png" \
    --expect bars,stripes,grid,hold-grey --mask "$cell" || status=1
  # Above row 300 stand the labels, in each system's own font.
  "$CQW_COMPARE" "$name-linux-pointer.png" "$name-windows-pointer.ppm" "$name-pointer-diff.png" \
    --expect bars,grid,cursor --mask 0,0,960,300 || status=1
  cmp -s "$name-windows.ppm" "$name-windows-left.ppm" ||
    { echo "$arch: the display did not return to its picture when the pointer left" >&2; status=1; }
  [ $status = 0 ] || fail "$arch: the pointer's readout differs (pictures in $pictures)"
  echo "$arch: the real pointer's readout as on Linux below its label, gone when it left"
  ;;

cycle)
  [ "$arch" = win32 ] || [ "$arch" = win64 ] || fail "cycle needs win32 or win64"
  skip_unless_runs "$arch"
  out=$(build_dir "$arch")/out
  run_wine "$state/cycle-$arch.out" "$state/cycle-$arch.err" "$out/cqscope-host.exe" cycle \
    --rounds 2 --timeout 30 --plugin "$(winpath "$out/$(dll_name "$arch")")" ||
    { cat "$state/cycle-$arch.out" "$state/cycle-$arch.err" >&2; fail "$arch: the editor cycle failed"; }
  grep -q '^round 2: ' "$state/cycle-$arch.out" ||
    { cat "$state/cycle-$arch.err" >&2; fail "$arch: the editor cycle reported no second round (did it run?)"; }
  cat "$state/cycle-$arch.out"
  ;;

errors)
  [ "$arch" = win32 ] || [ "$arch" = win64 ] || fail "errors needs win32 or win64"
  skip_unless_runs "$arch"
  out=$(build_dir "$arch")/out
  scratch=$CQW_DIR/errors-$arch
  rm -rf "$scratch"
  mkdir -p "$scratch"
  echo "not audio" >"$scratch/text.wav"
  printf '0123456789' >"$scratch/odd.raw"  # not a whole number of 8-byte frames
  dll=$(winpath "$out/$(dll_name "$arch")")
  status=0
  # expect EXIT MESSAGE ARGS...: the host exits with EXIT and says MESSAGE on stderr.
  expect() {
    local code=$1 message=$2
    shift 2
    run_wine "$scratch/out" "$scratch/err" "$out/cqscope-host.exe" "$@"
    local got=$?
    if [ $got != "$code" ] || ! grep -q "$message" "$scratch/err"; then
      echo "cqscope-host.exe $*: exit $got (wanted $code), stderr:" >&2
      cat "$scratch/err" >&2
      status=1
    fi
  }
  expect 1 "cannot open plug-in" probe --plugin "$(winpath "$scratch/missing.dll")"
  expect 1 "cannot load plug-in" probe --plugin "$(winpath "$scratch/text.wav")"
  expect 1 "exports neither VSTPluginMain nor main" probe --plugin 'C:\windows\system32\ole32.dll'
  expect 1 "is not a usable WAV file" capture "$(winpath "$scratch/text.wav")" --plugin "$dll"
  expect 1 "not a whole number of 32-bit float stereo frames" capture \
    "$(winpath "$scratch/odd.raw")" --plugin "$dll"
  expect 1 "beyond the end of the audio" capture --at 9 --plugin "$dll" \
    --out "$(winpath "$scratch/late")"
  expect 1 "cannot write" capture --plugin "$dll" --out "$(winpath "$scratch/no/such/folder/x")"
  expect 1 "process on Windows takes CLAP plug-ins" process "$(winpath "$scratch/odd.raw")" \
    "$(winpath "$scratch/x.raw")" --plugin "$dll"
  clap=$(winpath "$out/$(clap_name "$arch")")
  expect 1 "name the output NAME.raw" process "$(winpath "$scratch/odd.raw")" \
    "$(winpath "$scratch/x.wav")" --plugin "$clap"
  expect 1 "not a whole number of 32-bit float stereo frames" process \
    "$(winpath "$scratch/odd.raw")" "$(winpath "$scratch/x.raw")" --plugin "$clap"
  printf '\0\0\0\0\0\0\0\0' >"$scratch/frame.raw"  # one silent frame
  expect 1 "cannot open plug-in" process "$(winpath "$scratch/frame.raw")" \
    "$(winpath "$scratch/x.raw")" --plugin "$(winpath "$scratch/missing.clap")"
  expect 2 "needs an input and an output file" process "$(winpath "$scratch/odd.raw")"
  expect 1 "cannot write" capture --plugin "$clap" --out "$(winpath "$scratch/no/such/folder/x")"
  expect 2 "unknown command" render
  expect 2 "not a non-negative number" capture --at soon
  # No picture, partial or whole, from any failed capture.
  if ls "$scratch" | grep -q -e 'ppm' -e '^x\.'; then
    echo "a failed capture left a picture behind: $(ls "$scratch")" >&2
    status=1
  fi
  [ $status = 0 ] || fail "$arch: cqscope-host.exe mishandles bad input"
  echo "$arch: cqscope-host.exe rejects bad input with one clear line and no output file"
  ;;

rival)
  [ "$arch" = win32 ] || [ "$arch" = win64 ] || fail "rival needs win32 or win64"
  skip_unless_runs "$arch"
  out=$(build_dir "$arch")/out
  pictures=$CQW_DIR/pictures
  mkdir -p "$pictures"
  name=$pictures/$arch-rival
  rm -f "$name"*
  "$CQW_HOST" render --plugin "$CQW_PLUGIN" --at 3 --out "$name-linux.png" >/dev/null ||
    fail "the Linux render failed"
  # rival-class.dll registers "DrawWnd" under the host's module with a procedure that paints
  # red; the capture host loads it before the plug-in and unloads it once the audio is played.
  run_wine "$state/rival-$arch.out" "$state/rival-$arch.err" \
    "$out/cqscope-host.exe" capture --at 3 --no-hold --timeout 30 \
    --rival "$(winpath "$out/rival-class.dll")" \
    --plugin "$(winpath "$out/$(dll_name "$arch")")" --out "$(winpath "$name-windows")" ||
    { cat "$state/rival-$arch.out" "$state/rival-$arch.err" >&2; fail "the $arch capture beside the rival class failed"; }
  grep -q '^unloaded ' "$state/rival-$arch.out" || fail "the rival DLL was not unloaded"
  cell=$(hold_cell "$state/rival-$arch.out")
  [ -n "$cell" ] || fail "the capture did not report the Hold text cell"
  "$CQW_COMPARE" "$name-linux.png" "$name-windows.ppm" "$name-diff.png" \
    --expect bars,stripes,grid,hold-grey --mask "$cell" ||
    fail "$arch: beside another DLL's DrawWnd class the display differs from the Linux render"
  echo "$arch: another DLL's DrawWnd class, registered first and unloaded with the editor open," \
    "left the display identical to Linux"
  ;;

com)
  [ "$arch" = win32 ] || [ "$arch" = win64 ] || fail "com needs win32 or win64"
  skip_unless_runs "$arch"
  out=$(build_dir "$arch")/out
  run_wine "$state/com-$arch.out" "$state/com-$arch.err" "$out/cqscope-host.exe" com \
    --timeout 30 --plugin "$(winpath "$out/$(dll_name "$arch")")" ||
    { cat "$state/com-$arch.out" "$state/com-$arch.err" >&2; fail "$arch: the plug-in upset the host thread's COM state"; }
  grep -q '^COM state kept: ' "$state/com-$arch.out" && grep -q '^OLE calls balanced: ' "$state/com-$arch.out" ||
    { cat "$state/com-$arch.err" >&2; fail "$arch: the COM check reported nothing (did it run?)"; }
  cat "$state/com-$arch.out"
  ;;

vst3)
  [ "$arch" = win32 ] || [ "$arch" = win64 ] || fail "vst3 needs win32 or win64"
  skip_unless_runs "$arch"
  out=$(build_dir "$arch")/out
  bundle=$out/cqscope.vst3
  scratch=$CQW_DIR/vst3-$arch
  rm -rf "$scratch"
  mkdir -p "$scratch"
  : "${CQW_VST3:?}"
  # The probe: the bundle's one class, and the Linux bundle's answers but for the paths, the
  # entry point and the editor's window system.
  probe_both cqscope.vst3 "$CQW_VST3" "$bundle" "$scratch"
  grep -q '(Audio Module Class)' "$scratch/probe.txt" ||
    { cat "$scratch/probe.txt" "$scratch/probe.err" >&2; fail "the $arch probe listed no audio processor class (did it run?)"; }
  # The lines that name a path, the entry or the window system differ by system.
  differs='^(plug-in|binary|module|entry|editor)|/|\\'
  if ! diff -u <(grep -Ev "$differs" "$scratch/probe-linux.txt") \
    <(grep -Ev "$differs" "$scratch/probe.txt" | tr -d '\r'); then
    fail "$arch: VST 3 probe answers differ from Linux (above: - Linux, + Windows)"
  fi
  grep -q 'editor: .*HWND' "$scratch/probe.txt" ||
    { cat "$scratch/probe.txt" >&2; fail "$arch: the probe names no HWND editor"; }
  echo "$arch: cqscope.vst3 probed as on Linux: $(grep -c . "$scratch/probe.txt") lines," \
    "$(grep '(Audio Module Class)' "$scratch/probe.txt" | tr -s ' ' | tr -d '\r')"
  # A tone in a WAV file at 192 kHz captured at 0.2 s with no Hold click, and the demo (its
  # notes held) live and after the Hold click: each picture is the Linux VST 2 render's outside
  # the Hold text cell. The kernels of 192 kHz take longer to build than the editor takes to
  # open, so the tone's bars show only where the capture waited for them (the plug-in's wait
  # interface) before its first block.
  "$CQW_SIGNAL" "$scratch/tone.wav" 192000 || fail "cannot write the test signal"
  "$CQW_HOST" render "$scratch/tone.wav" --plugin "$CQW_PLUGIN" --at 0.2 \
    --out "$scratch/tone-linux.png" >/dev/null || fail "the Linux render of the tone failed"
  render_demo "$scratch/demo-linux"
  for input in tone demo; do
    if [ $input = tone ]; then
      capture=("$(winpath "$scratch/tone.wav")" --at 0.2 --no-hold)
    else
      capture=(--at 3)
    fi
    run_wine "$scratch/capture-$input.txt" "$scratch/capture-$input.err" \
      "$out/cqscope-host.exe" capture "${capture[@]}" --timeout 30 \
      --plugin "$(winpath "$bundle")" --out "$(winpath "$scratch/$input-windows")" ||
      { cat "$scratch/capture-$input.err" >&2; fail "$arch: the VST 3 capture of the $input failed"; }
    cell=$(hold_cell "$scratch/capture-$input.txt")
    [ -n "$cell" ] && [ -f "$scratch/$input-windows.ppm" ] ||
      { cat "$scratch/capture-$input.err" >&2; fail "$arch: the VST 3 capture of the $input wrote no picture (did it run?)"; }
  done
  "$CQW_COMPARE" "$scratch/tone-linux.png" "$scratch/tone-windows.ppm" "$scratch/tone-diff.png" \
    --expect bars,grid,hold-grey --mask "$(hold_cell "$scratch/capture-tone.txt")" ||
    fail "$arch: the VST 3 display of the tone differs from the VST 2 render (pictures in $scratch)"
  compare_demo "$scratch/demo-linux" "$scratch/demo-windows" "$(hold_cell "$scratch/capture-demo.txt")" ||
    fail "$arch: the VST 3 display of the demo, live or held, differs from the VST 2 render (pictures in $scratch)"
  echo "$arch: the VST 3 display of a 192 kHz tone at 0.2 s, and of the demo live and held, equals the" \
    "Linux VST 2 render outside the text cells"
  ;;

clap)
  [ "$arch" = win32 ] || [ "$arch" = win64 ] || fail "clap needs win32 or win64"
  skip_unless_runs "$arch"
  out=$(build_dir "$arch")/out
  clap=$out/$(clap_name "$arch")
  scratch=$CQW_DIR/clap-$arch
  rm -rf "$scratch"
  mkdir -p "$scratch"
  : "${CQW_CLAP:?}"
  probe_both "$(basename "$clap")" "$CQW_CLAP" "$clap" "$scratch"
  grep -q '^id: *org.example.cqscope' "$scratch/probe.txt" ||
    { cat "$scratch/probe.err" >&2; fail "the $arch probe printed no plug-in (did it run?)"; }
  for line in '^features: *audio-effect, analyzer, stereo' '^gui: *embedded win32; floating none; 960 x 512, fixed size' \
    '^latency: *0 frames' 'asked of the host: .*clap.timer-support'; do
    grep -q "$line" "$scratch/probe.txt" || { cat "$scratch/probe.txt" >&2; fail "$arch: no line '$line'"; }
  done
  # The same answers as on Linux but for the file's path, the window API and what the plug-in
  # asks of the host (file descriptors are Linux's own).
  if ! diff -u <(grep -v -e '^plug-in:' -e '^asked of the host:' "$scratch/probe-linux.txt" | sed 's/embedded x11/embedded win32/') \
    <(grep -v -e '^plug-in:' -e '^asked of the host:' "$scratch/probe.txt"); then
    fail "$arch: CLAP probe answers differ from Linux (above: - Linux, + Windows)"
  fi
  echo "$arch: $(basename "$clap") probed as on Linux: $(grep -E '^(features|gui):' "$scratch/probe.txt" | tr -s ' ' | tr '\n' ';')"
  # Pass-through, bit for bit: a sweep with noise, full scale, -0, the smallest normal and
  # subnormal numbers, in blocks that end on an odd frame.
  python3 - "$scratch/in.raw" <<'PY' || fail "cannot write the test signal"
import math, random, struct, sys
random.seed(26)
frames = 44100 * 2 + 777
samples = []
for n in range(frames):
    tone = 0.5 * math.sin(2 * math.pi * (110 + n * 0.01) * n / 44100)
    samples += [tone + random.uniform(-0.1, 0.1), random.uniform(-1, 1)]
samples[:8] = [1.0, -1.0, -0.0, 1.1754943508222875e-38, 1.401298464324817e-45, -1e-40, 0.9999999, -0.5]
open(sys.argv[1], "wb").write(struct.pack("<%df" % len(samples), *samples))
PY
  status=0
  for rate in 44100 48000 96000; do
    run_wine "$scratch/process-$rate.txt" "$scratch/process-$rate.err" "$out/cqscope-host.exe" \
      process "$(winpath "$scratch/in.raw")" "$(winpath "$scratch/out-$rate.raw")" --rate $rate \
      --plugin "$(winpath "$clap")" ||
      { cat "$scratch/process-$rate.err" >&2; fail "$arch: process at $rate Hz failed"; }
    grep -q "^processed $((44100 * 2 + 777)) frames at $rate Hz" "$scratch/process-$rate.txt" ||
      { cat "$scratch/process-$rate.err" >&2; fail "$arch: process at $rate Hz reported nothing (did it run?)"; }
    if cmp "$scratch/in.raw" "$scratch/out-$rate.raw"; then
      echo "$arch: $((44100 * 2 + 777)) stereo frames at $rate Hz passed through bit for bit"
    else
      status=1
    fi
  done
  [ $status = 0 ] || fail "$arch: the CLAP plug-in changed the audio passing through it"
  # The display: the demo at 3 s through the GUI embedded in a win32 window, refreshed by the
  # host's timers and, offered no timer support, by its window's own timer, live and after a
  # click on its Hold button; each picture is the Linux VST 2 render's outside the Hold text
  # cell.
  render_demo "$scratch/linux"
  for timers in with without; do
    option=()
    [ $timers = without ] && option=(--no-timer-support)
    run_wine "$scratch/capture-$timers.txt" "$scratch/capture-$timers.err" \
      "$out/cqscope-host.exe" capture --at 3 --timeout 30 "${option[@]}" \
      --plugin "$(winpath "$clap")" --out "$(winpath "$scratch/$timers-timers")" ||
      { cat "$scratch/capture-$timers.err" >&2; fail "$arch: the CLAP capture ($timers timer support) failed"; }
    cell=$(hold_cell "$scratch/capture-$timers.txt")
    [ -n "$cell" ] && [ -f "$scratch/$timers-timers.ppm" ] && [ -f "$scratch/$timers-timers-hold.ppm" ] ||
      { cat "$scratch/capture-$timers.err" >&2; fail "$arch: the CLAP capture wrote no pictures (did it run?)"; }
    compare_demo "$scratch/linux" "$scratch/$timers-timers" "$cell" ||
      fail "$arch: the CLAP display ($timers timer support), live or held, differs from the VST 2 render"
    echo "$arch: the CLAP display, $(sed -n 's/^wrote .*(\(.*\))\r*$/\1/p' "$scratch/capture-$timers.txt")," \
      "live and after its Hold click, equals the Linux VST 2 render outside the text cells"
  done
  ;;

*)
  echo "usage: windows_test.sh build|exports|start|stop|{probe|display|audio|cycle|errors|rival|com|vst3|clap} ARCH" >&2
  exit 2
  ;;
esac
