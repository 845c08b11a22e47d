#!/bin/bash
# Installs what is missing, builds Orvelle and runs every test with ctest.
#   ./test.sh            normal build in build/
#   ORVELLE_SANITIZE=1 ./test.sh   AddressSanitizer + UBSan build in build-asan/
#   ORVELLE_WERROR=ON             compiler warnings are errors (CI sets it)
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
orvelle_install_deps

jobs=$(nproc 2>/dev/null || echo 2)
if [ "${ORVELLE_SANITIZE:-0}" = "1" ]; then
  build=build-asan
  extra=(-DORVELLE_SANITIZE=ON -DORVELLE_BUILD_BENCH=OFF)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
else
  build=build
  extra=()
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVELLE_WERROR="${ORVELLE_WERROR:-OFF}" "${extra[@]}"
cmake --build "$build" -j"$jobs"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --timeout 900
