#!/usr/bin/env bash
# Runs scripts/setup.sh with stand-ins for apt-get, dpkg and dpkg-query first on PATH. The
# stand-in registry fails `apt-get update` on one index the way a mirror in mid-sync does, and
# refuses every i386 package (their versions cannot match the amd64 ones without that index).
#   setup_test.sh SETUP_SCRIPT
set -uo pipefail
setup=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

# The stand-ins keep their state in $work: installed.txt (one package a line), refused.txt (the
# packages the registry does not have), calls.txt (every apt-get call).
cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/bin/sh
# dpkg-query -W -f=FORMAT PACKAGE
pkg=$(eval echo \${$#})
grep -qxF "$pkg" "$CQS_STATE/installed.txt" && { printf 'install ok installed'; exit 0; }
echo "dpkg-query: no packages found matching $pkg" >&2
exit 1
STANDIN
cat >"$work/bin/dpkg" <<'STANDIN'
#!/bin/sh
case "$1" in
  --print-foreign-architectures) cat "$CQS_STATE/architectures.txt" 2>/dev/null ;;
  --add-architecture) echo "$2" >>"$CQS_STATE/architectures.txt" ;;
esac
exit 0
STANDIN
cat >"$work/bin/apt-get" <<'STANDIN'
#!/bin/bash
echo "$*" >>"$CQS_STATE/calls.txt"
case "$1" in
  update)
    echo "E: Failed to fetch http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100
    ;;
  install)
    shift
    packages=()
    for arg in "$@"; do [[ "$arg" == -* ]] || packages+=("$arg"); done
    for pkg in "${packages[@]}"; do
      if [[ "$pkg" == *:i386 ]]; then
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
      fi
      if grep -qxF "$pkg" "$CQS_STATE/refused.txt"; then
        echo "E: Unable to locate package $pkg"
        exit 100
      fi
    done
    printf '%s\n' "${packages[@]}" >>"$CQS_STATE/installed.txt"
    exit 0
    ;;
esac
exit 0
STANDIN
chmod +x "$work/bin/"*

# Every package the script names, from its lists (names, with an optional :arch).
all=$(sed -n '/^demo_required=(/,/^bench_required=(/p' "$setup" | grep -v '^\s*#' |
  grep -oE '(^|\s)[a-z0-9][a-z0-9.+-]+(:[a-z0-9]+)?' | tr -d ' ' |
  grep -vE '^(demo_required|mingw_required|release_required|test_required|test_optional|bench_required)$' |
  sort -u)
[ "$(echo "$all" | grep -c .)" -gt 20 ] || fail "could not read the package lists of $setup"

# run NAME: setup.sh --for test with the stand-ins; its stderr in $work/NAME.err, exit in $rc.
run() {
  CQS_STATE=$work PATH="$work/bin:$PATH" CQSCOPE_SETUP_PAUSE=0 \
    bash "$setup" --for test >"$work/$1.out" 2>"$work/$1.err" </dev/null
  rc=$?
}

# 1. Every required package present, 32-bit Wine missing: warnings, and exit 0.
echo "$all" | grep -v ':i386$' >"$work/installed.txt"
: >"$work/refused.txt"
: >"$work/calls.txt"
run optional
[ $rc = 0 ] || fail "with every required package present set-up exited $rc: $(cat "$work/optional.err")"
grep -q "package lists are incomplete.*Mirror sync in progress" "$work/optional.err" ||
  fail "no warning about the incomplete package lists: $(cat "$work/optional.err")"
grep -q "optional package wine32:i386 cannot be installed.*held broken packages.*skipped" \
  "$work/optional.err" || fail "no warning about 32-bit Wine: $(cat "$work/optional.err")"
grep -qx i386 "$work/architectures.txt" || fail "the i386 architecture was not added"
[ "$(grep -c "warning:" "$work/optional.err")" = 2 ] ||
  fail "expected two warning lines, got: $(cat "$work/optional.err")"

# 2. A required package missing and refused, another missing and available, one optional
# missing and available: set-up names the refused one with apt's reason and exits non-zero;
# update is retried before it gives up on the lists.
echo "$all" | grep -vE ':i386$|^(g\+\+-mingw-w64-i686-posix|xvfb|lsp-plugins-vst)$' \
  >"$work/installed.txt"
echo "g++-mingw-w64-i686-posix" >"$work/refused.txt"
: >"$work/calls.txt"
run required
[ $rc != 0 ] || fail "a required package could not be installed, yet set-up exited 0"
grep -q "cannot install the required packages g++-mingw-w64-i686-posix (.*Unable to locate package" \
  "$work/required.err" || fail "the refused package is not named with apt's reason: $(cat "$work/required.err")"
grep -q "xvfb" "$work/required.err" && grep "cannot install" "$work/required.err" | grep -q xvfb &&
  fail "an installable package was named as refused: $(cat "$work/required.err")"
grep -qx xvfb "$work/installed.txt" || fail "the installable required package was not installed"
[ "$(grep -c '^update' "$work/calls.txt")" -ge 3 ] ||
  fail "apt-get update was not retried: $(grep -c '^update' "$work/calls.txt") calls"

# 3. An optional package the registry refuses never blocks another: lsp-plugins-vst is refused,
# python3-numpy installs, and set-up succeeds.
echo "$all" | grep -vE ':i386$|^(lsp-plugins-vst|python3-numpy)$' >"$work/installed.txt"
echo "lsp-plugins-vst" >"$work/refused.txt"
run optional2
[ $rc = 0 ] || fail "a refused optional package failed set-up: $(cat "$work/optional2.err")"
grep -qx python3-numpy "$work/installed.txt" ||
  fail "an optional package was blocked by another: $(cat "$work/optional2.err")"
grep -q "optional package lsp-plugins-vst cannot be installed" "$work/optional2.err" ||
  fail "no warning for the refused optional package: $(cat "$work/optional2.err")"

# 4. Each profile that builds installs what building every Linux artefact needs (the LV2
# headers included), and what its command needs, nothing of the test suite's tools.
# profile NAME "WANTED..." "UNWANTED...": set-up --for NAME on a machine with nothing installed.
profile() {
  local name=$1 wanted=$2 unwanted=$3 pkg
  : >"$work/installed.txt"
  : >"$work/refused.txt"
  CQS_STATE=$work PATH="$work/bin:$PATH" CQSCOPE_SETUP_PAUSE=0 bash "$setup" --for "$name" \
    >/dev/null 2>"$work/$name.err"
  [ $? = 0 ] || fail "the $name set-up failed: $(cat "$work/$name.err")"
  for pkg in $wanted; do
    grep -qxF "$pkg" "$work/installed.txt" || fail "the $name set-up did not install $pkg"
  done
  for pkg in $unwanted; do
    grep -qxF "$pkg" "$work/installed.txt" && fail "the $name set-up installed $pkg"
  done
}
test_tools="wine wine64 wine32:i386 clang xvfb libgtest-dev ardour qtractor audacity jalv"
profile demo "cmake g++ libsndfile1-dev libx11-dev lv2-dev" \
  "$test_tools ffmpeg sox g++-mingw-w64-x86-64-posix lintian"
profile bench "cmake lv2-dev libbenchmark-dev ffmpeg sox" "$test_tools"
# The release packages: the Linux build, the Windows cross builds, and the Debian tools.
profile package "cmake g++ lv2-dev libx11-dev g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 dpkg-dev lintian file zip" \
  "$test_tools ffmpeg sox libbenchmark-dev"

[ $status = 0 ] && echo "set-up checked: warnings and exit 0 with optional packages refused," \
  "one line naming a refused required package; the demo, bench and package profiles install" \
  "what they build with, nothing of the test suite's tools"
exit $status
