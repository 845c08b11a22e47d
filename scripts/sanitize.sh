#!/bin/bash
# Runs a part of the test suite under a sanitizer, in its own build tree.
#   scripts/sanitize.sh asan [CTEST_REGEX]   AddressSanitizer + UBSan (default: ^wfs/)
#   scripts/sanitize.sh tsan [CTEST_REGEX]   ThreadSanitizer (default: the threaded tests)
# Only the tests that match are built. Environment: SANITIZE_BUILD (build
# tree, default build-asan-part / build-tsan-part), JOBS (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-asan}
jobs=${JOBS:-2}
case "$kind" in
  asan)
    regex=${2:-^wfs/}
    build=${SANITIZE_BUILD:-build-asan-part}
    opts=(-DORVELLE_SANITIZE=ON)
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} ;;
  tsan)
    regex=${2:-tst_play|tst_play_port|tst_mythread|test_catalogue}
    build=${SANITIZE_BUILD:-build-tsan-part}
    opts=(-DORVELLE_TSAN=ON)
    export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} ;;
  *) echo "usage: $0 asan|tsan [CTEST_REGEX]" >&2; exit 2 ;;
esac
cmake -S . -B "$build" -DORVELLE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opts[@]}" >/dev/null
# The test programs whose ctest names match, plus the tools the script tests call.
mapfile -t names < <(cd "$build" && ctest -N -R "$regex" | sed -n 's/^ *Test *#[0-9]*: //p')
targets=(orvelle-cli)
for n in "${names[@]}"; do
  prog=${n##*/}
  case "$prog" in *_test) ;; *) targets+=("$prog") ;; esac
done
cmake --build "$build" -j"$jobs" --target "${targets[@]}"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest -R "$regex" --output-on-failure -j"$jobs" --timeout 900
