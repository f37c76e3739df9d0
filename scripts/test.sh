#!/usr/bin/env bash
# Builds cqscope and runs its whole test suite. On a fresh Debian 12 machine (as root) it first
# installs what is missing.
#
# Stages: setup, format, build, test (the whole ctest suite, Windows builds under Wine
# included), then the suite again under the address and undefined-behaviour sanitizers and
# under the thread sanitizer, then each libFuzzer target for a fixed time. Every stage runs even
# when an earlier one failed, so one run shows every failure; a stage whose build failed is
# marked as not run. At the end one summary gives each stage's result, time and test counts,
# every skipped test with its reason, and a closing line "N passed, N failed, N skipped". The
# script exits non-zero when anything failed or did not run.
#   --quick   skip the Windows tests, the sanitizers and fuzzing (local iteration only; CI
#             never passes it)
set -uo pipefail
cd "$(dirname "$0")/.."

quick=0
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
  esac
done
export CQSCOPE_QUICK=$quick

results=$PWD/build-results
rm -rf "$results"
mkdir -p "$results"
stages=$results/stages.tsv
: >"$stages"
declare -A outcome

# stage NAME NEEDS KIND REPORT -- COMMAND...: runs COMMAND as stage NAME unless stage NEEDS
# (or "-") did not pass. KIND is "check" (one pass or fail), "ctest" (REPORT is the JUnit file
# ctest writes) or "fuzz" (REPORT is the fuzzer's log).
stage() {
  local name=$1 needs=$2 kind=$3 report=$4
  shift 5
  if [ "$needs" != - ] && [ "${outcome[$needs]:-}" != passed ]; then
    echo "== $name: not run ($needs did not pass)"
    outcome[$name]=notrun
    printf '%s\t%s\t%s\t%s\t%s\n' "$name" notrun 0 "$kind" "$report" >>"$stages"
    return
  fi
  echo "== $name"
  local start=$SECONDS result=passed
  "$@" || result=failed
  outcome[$name]=$result
  printf '%s\t%s\t%s\t%s\t%s\n' "$name" "$result" $((SECONDS - start)) "$kind" "$report" \
    >>"$stages"
  [ "$result" = passed ] || echo "== $name: FAILED"
}

# A stage left out on purpose (--quick).
skipped_stage() {
  echo "== $1: skipped (--quick)"
  printf '%s\t%s\t%s\t%s\t%s\n' "$1" skipped 0 check - >>"$stages"
}

stage setup - check - -- bash scripts/setup.sh --for test
stage format - check - -- bash scripts/format.sh --check

configure_and_build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}
stage build - check - -- configure_and_build default
stage test build ctest "$results/test.xml" -- \
  ctest --preset default --timeout 600 --output-junit "$results/test.xml"

if [ "$quick" = 1 ]; then
  for name in "asan: build" "asan: test" "tsan: build" "tsan: test" "fuzz: build"; do
    skipped_stage "$name"
  done
else
  # The Windows tests run programs under Wine, which the sanitizer runtimes do not follow;
  # they are left out of these runs (label "windows"), and so are the tests of shell scripts
  # and release packages (labels "setup" and "package"), which run no code of ours that the
  # default build's run has not run. Both leave out the help test, and the thread sanitizer
  # the option tests too (one thread, hundreds of start-ups of code the default run covers).
  # Their tests run two at a time: many wait on programs of their own or of others. Leak
  # suppressions name third-party libraries only; the file gives each one's reason.
  unsanitised="windows|setup|package"
  suppressions="$PWD/tests/reliability/lsan_suppressions.txt"
  stage "asan: build" - check - -- configure_and_build asan
  ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:check_initialization_order=1" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0" \
    stage "asan: test" "asan: build" ctest "$results/asan.xml" -- \
    ctest --preset asan -j2 --timeout 1800 -LE "$unsanitised" -E '^HostHelp\.' \
    --output-junit "$results/asan.xml"

  stage "tsan: build" - check - -- configure_and_build tsan
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
    stage "tsan: test" "tsan: build" ctest "$results/tsan.xml" -- \
    ctest --preset tsan -j2 --timeout 1800 -LE "$unsanitised" -E '^Host(Help|Options)\.' \
    --output-junit "$results/tsan.xml"

  # Each libFuzzer target for a short fixed time from the corpus kept in build-fuzz (it grows
  # from run to run on one machine). CQSCOPE_FUZZ_SECONDS sets the time per target;
  # docs/reliability.md explains longer runs.
  build_fuzzers() {
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCQSCOPE_FUZZ=ON \
      -DCQSCOPE_BUILD_TESTS=OFF -DCQSCOPE_BUILD_BENCH=OFF >/dev/null &&
      cmake --build build-fuzz --target cqscope_fuzzers
  }
  stage "fuzz: build" - check - -- build_fuzzers
fi

fuzz_target() {
  local target=$1 log=$2 corpus="build-fuzz/corpus/$1"
  mkdir -p "$corpus"
  if ! "build-fuzz/fuzz/cqscope_fuzz_$target" -max_total_time="$fuzz_seconds" -timeout=30 \
    -rss_limit_mb=4096 -artifact_prefix="build-fuzz/" -print_final_stats=1 \
    "$corpus" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz target $target failed; the input is in build-fuzz/ (see the log above)" >&2
    return 1
  fi
  grep -E "number_of_executed_units" "$log" || true
}
fuzz_seconds="${CQSCOPE_FUZZ_SECONDS:-20}"
for target in process_events number_text dispatcher drawing midi_file; do
  if [ "$quick" = 1 ]; then
    skipped_stage "fuzz: $target"
  else
    stage "fuzz: $target" "fuzz: build" fuzz "$results/fuzz-$target.log" -- \
      fuzz_target "$target" "$results/fuzz-$target.log"
  fi
done

python3 scripts/test_summary.py "$stages"
