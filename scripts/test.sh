#!/usr/bin/env bash
# Builds cqscope and runs its whole test suite. On a fresh Debian 12 machine (as root) it first
# installs what is missing. Exits non-zero on any failure.
#   --quick   skip the slow parts (for local iteration only; CI never passes it)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
  esac
done
export CQSCOPE_QUICK=$quick

bash scripts/setup.sh

echo "== format"
bash scripts/format.sh --check

echo "== build"
cmake --preset default >/dev/null
cmake --build --preset default

echo "== test"
ctest --preset default --timeout 600

if [ "$quick" = 1 ]; then
  echo "== sanitizers and fuzzing: skipped (--quick)"
  exit 0
fi

# The whole suite again under the address and undefined-behaviour sanitizers, then under the
# thread sanitizer: any report fails the run. The Windows tests run programs under Wine, which
# the sanitizer runtimes do not follow; they are left out here (label "windows").
# Leak suppressions name third-party libraries only; the file gives each one's reason.
suppressions="$PWD/tests/reliability/lsan_suppressions.txt"
# A failing stage below is noted and the later ones still run, so one CI run shows every
# failure; the script exits non-zero at the end.
failed=()

echo "== asan: build"
cmake --preset asan >/dev/null
cmake --build --preset asan
echo "== asan: test"
ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:check_initialization_order=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0" \
  ctest --preset asan --timeout 1800 -LE windows || failed+=("asan tests")

echo "== tsan: build"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
echo "== tsan: test"
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
  ctest --preset tsan --timeout 1800 -LE windows || failed+=("tsan tests")

# Each libFuzzer target for a short fixed time from the corpus kept in build-fuzz (it grows
# from run to run on one machine). CQSCOPE_FUZZ_SECONDS sets the time per target; README
# explains longer runs.
echo "== fuzz: build"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCQSCOPE_FUZZ=ON \
  -DCQSCOPE_BUILD_TESTS=OFF -DCQSCOPE_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target cqscope_fuzzers
fuzz_seconds="${CQSCOPE_FUZZ_SECONDS:-20}"
for target in process_events number_text dispatcher drawing; do
  echo "== fuzz: $target (${fuzz_seconds} s)"
  corpus="build-fuzz/corpus/$target"
  log="build-fuzz/fuzz-$target.log"
  mkdir -p "$corpus"
  if ! "build-fuzz/fuzz/cqscope_fuzz_$target" -max_total_time="$fuzz_seconds" -timeout=30 \
      -rss_limit_mb=4096 -artifact_prefix="build-fuzz/" -print_final_stats=1 \
      "$corpus" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz target $target failed; the input is in build-fuzz/ (see the log above)" >&2
    failed+=("fuzz $target")
  fi
  grep -E "number_of_executed_units" "$log" || true
done
if ((${#failed[@]})); then
  echo "== failed: ${failed[*]}" >&2
  exit 1
fi
echo "== all passed"
