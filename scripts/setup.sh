#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages that one of cqscope's commands needs and that this
# machine lacks; quiet when everything is present. Run as root (or with the packages present).
#
#   scripts/setup.sh [--for demo|test|bench|package]     (default: test)
#
#   demo    building every Linux artefact: the plug-in, its LV2 bundle, CLAP file and Vamp
#           library, and cqscope-host (scripts/demo.sh)
#   test    the whole suite of scripts/test.sh: the demo's packages, the test tools, the
#           sanitizers, MinGW-w64 and Wine for the Windows builds, the release tools
#   bench   the benchmarks under bench/: the demo's packages, Google Benchmark, and the FFmpeg
#           and SoX commands cqscope-host is compared with
#   package the release packages of scripts/package.sh: the demo's packages, MinGW-w64 for the
#           Windows DLLs and CLAP files, and dpkg-dev, lintian, file and zip
#
# Packages are required or optional. A required package that cannot be installed stops set-up
# with one line naming it and apt's reason (exit 1). An optional one is installed on its own,
# so that one the registry cannot give never blocks the others; it gets one warning line, and
# the tests that need it skip, saying so.
#
# The package registry has bad hours: an index that fails to download ("Mirror sync in
# progress?") is retried a few times with a pause (about two minutes at most in all), and then
# set-up goes on with the lists it has. CQSCOPE_SETUP_PAUSE sets the first pause in seconds
# (15; it doubles each time). Where only optional packages are missing (32-bit Wine on a machine
# whose registry cannot give it, run after run), the lists are fetched once, without retries.
set -uo pipefail

profile=test
while (($#)); do
  case "$1" in
    --for)
      profile=${2:-}
      shift 2 || true
      ;;
    --for=*)
      profile=${1#--for=}
      shift
      ;;
    *)
      echo "usage: scripts/setup.sh [--for demo|test|bench|package]" >&2
      exit 2
      ;;
  esac
done

# Building the plug-in (its X11 presenter), the LV2 bundle (the LV2 headers), the Vamp library
# (the Vamp SDK) and cqscope-host (audio, MIDI, PNG and video files; its command line is read
# with CLI11).
demo_required=(
  cmake ninja-build g++ pkg-config
  libsndfile1-dev libpng-dev zlib1g-dev libcli11-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libx11-dev libxext-dev lv2-dev vamp-plugin-sdk
)
# The Windows builds: MinGW-w64 cross compilers.
mingw_required=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
)
# The release packages: dpkg-shlibdeps, lintian, file (which lintian runs), zip.
release_required=(dpkg-dev lintian file zip)
# The default suite of scripts/test.sh.
test_required=(
  "${demo_required[@]}"
  # Formatting check and the closing summary.
  clang-format python3
  libgtest-dev
  # Sanitizer builds and libFuzzer targets.
  clang libclang-rt-14-dev
  # The X11 presenter's tests: XTest clicks on a virtual server.
  libxtst-dev xvfb xauth
  # The Windows DLLs, and 64-bit Wine to run them under.
  "${mingw_required[@]}"
  wine wine64 fonts-wine
  # The release packages and their test.
  "${release_required[@]}"
  # JACK's headers for cqscope-host listen.
  libjack-jackd2-dev
)
test_optional=(
  # 32-bit Wine, for the win32 runtime tests (the win32 build is tested for its exports without
  # it). It comes from the i386 architecture, whose lists are the first to be out of step.
  wine32:i386
  # Third-party VST 2 plug-ins the host's validator and its tests are tried on.
  lsp-plugins-vst
  # The analyse test reads its .npy and .json files back with numpy.
  python3-numpy
  # The benchmarks are compiled with the suite, so that they keep building.
  libbenchmark-dev
  # LV2 hosts and tools the bundle is tried in: lilv's tools (lv2ls, lv2info, lv2apply,
  # lv2bench), the Turtle reader lv2_validate needs, and jalv. The JACK server with its tools
  # (the listen tests and jalv's), and xwininfo and xwd to find and capture jalv's window.
  lilv-utils sordi jalv jackd2 x11-utils x11-apps
  # Ardour 7, whose headless Lua tool (ardour7-lua) tries the LV2 bundle in a session.
  ardour
  # Audacity 3, which applies the LV2 bundle and the VST 2 module through its scripting pipe.
  audacity
  # qtractor, whose plug-in scanner lists the CLAP plug-in as a third-party host sees it.
  qtractor
  # Third-party VST 3 bundles cqscope-host's VST 3 hosting is tried on.
  zam-plugins
  # Vamp hosts the Vamp library is tried in: vamp-simple-host, and Sonic Visualiser in its
  # batch mode.
  vamp-examples sonic-visualiser
)
bench_required=(
  "${demo_required[@]}"
  libbenchmark-dev ffmpeg sox
)
package_required=(
  "${demo_required[@]}"
  "${mingw_required[@]}"
  "${release_required[@]}"
)

case "$profile" in
  demo) required=("${demo_required[@]}") optional=() ;;
  test) required=("${test_required[@]}") optional=("${test_optional[@]}") ;;
  bench) required=("${bench_required[@]}") optional=() ;;
  package) required=("${package_required[@]}") optional=() ;;
  *)
    echo "setup: unknown profile '$profile' (demo, test, bench or package)" >&2
    exit 2
    ;;
esac

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing_of() {
  local pkg
  for pkg in "$@"; do
    installed "$pkg" || echo "$pkg"
  done
}

mapfile -t missing_required < <(missing_of "${required[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]}")
((${#missing_required[@]} + ${#missing_optional[@]})) || exit 0

export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# An optional package of another architecture needs that architecture's lists.
for pkg in "${missing_optional[@]}"; do
  arch=${pkg#*:}
  if [ "$arch" != "$pkg" ] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    echo "setup: adding the $arch architecture for $pkg" >&2
    dpkg --add-architecture "$arch"
  fi
done

# apt's reason, in one line: its error lines joined, else its last line.
apt_reason() {
  local reason
  reason=$(grep -E '^E: ' "$log" | sed 's/^E: //' | head -n 3 | paste -sd ';' - | sed 's/;/; /g')
  [ -n "$reason" ] || reason=$(grep -v '^\s*$' "$log" | tail -n 1)
  echo "${reason:-apt-get gave no reason}"
}

pause=${CQSCOPE_SETUP_PAUSE:-15}
tries=4
((${#missing_required[@]})) || tries=1
for ((attempt = 1; ; attempt++)); do
  if apt-get update -qq >"$log" 2>&1 && ! grep -qE '^(E|W): (Failed to fetch|Some index files)' "$log"; then
    break
  fi
  if ((attempt == tries)); then
    echo "setup: warning: the package lists are incomplete (tried $tries times: $(apt_reason));" \
      "going on with the lists there are" >&2
    break
  fi
  sleep "$pause"
  pause=$((pause * 2))
done

install() {
  apt-get install -y -qq --no-install-recommends "$@" >"$log" 2>&1
}

if ((${#missing_required[@]})); then
  echo "setup: installing ${missing_required[*]}" >&2
  if ! install "${missing_required[@]}"; then
    # Which of them apt cannot give: each one alone (one by one, so one's failure is its own).
    failed=()
    reasons=()
    for pkg in "${missing_required[@]}"; do
      installed "$pkg" && continue
      if ! install "$pkg"; then
        failed+=("$pkg")
        reasons+=("$pkg: $(apt_reason)")
      fi
    done
    if ((${#failed[@]})); then
      echo "setup: cannot install the required packages ${failed[*]} ($(printf '%s; ' "${reasons[@]}" | sed 's/; $//'))" >&2
      exit 1
    fi
  fi
fi

for pkg in "${missing_optional[@]}"; do
  if install "$pkg"; then
    echo "setup: installed the optional package $pkg" >&2
  else
    echo "setup: warning: the optional package $pkg cannot be installed ($(apt_reason));" \
      "the tests that need it are skipped" >&2
  fi
done
exit 0
