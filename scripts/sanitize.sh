#!/bin/bash
# Runs a part of the test suite under a sanitizer, in its own build tree.
#   scripts/sanitize.sh asan [CTEST_REGEX]   AddressSanitizer + UBSan (default: ^wfs/)
#   scripts/sanitize.sh tsan [CTEST_REGEX]   ThreadSanitizer (default: the threaded tests)
# Only the tests that match are built. Environment: SANITIZE_BUILD (build
# tree, default build-asan-part / build-tsan-part), JOBS (default 2).
# Under tsan the reports of every test go to <build>/tsan-logs; the script
# prints them and fails when there is any, even if every test passed.
# scripts/tsan.supp holds the suppressions (each with its reason).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# The threaded tests: play channels and ports, the job thread, the catalogue,
# the export/cut/MP4 workers and dialogs, the Disk page's loading thread, the
# display box, the load test, the settings store's sync queue and the
# notice box, which other threads use too, the day timeline's plays and
# range export, the Local page's check of a folder against its
# SHA256SUMS, the writer that hashes outputs on a thread of its own, and the
# ports' turns at decoding.
tsan_tests='^app/(tst_play|tst_play_disk|tst_play_manage|test_frame_index|tst_mythread|test_catalogue'
tsan_tests+='|test_export_job|test_cut_job|test_convert_to_mp4|tst_export_dialogs|tst_disk_page|tst_displaybox'
tsan_tests+='|tst_load|tst_globalappdata|tst_messagebox|tst_sync_play|tst_timeline|test_range_export_job'
tsan_tests+='|tst_range_export_dlg|tst_local_page|test_hashing_writer)$|^media/(tst_play_port|test_decode_slots)$'
kind=${1:-asan}
jobs=${JOBS:-2}
case "$kind" in
  asan)
    regex=${2:-^wfs/}
    build=${SANITIZE_BUILD:-build-asan-part}
    opts=(-DORVELLE_SANITIZE=ON)
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp:print_suppressions=0}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} ;;
  tsan)
    regex=${2:-$tsan_tests}
    build=${SANITIZE_BUILD:-build-tsan-part}
    opts=(-DORVELLE_TSAN=ON)
    case "$build" in /*) tsan_logs=$build/tsan-logs ;; *) tsan_logs=$root/$build/tsan-logs ;; esac
    export TSAN_OPTIONS="suppressions=$root/scripts/tsan.supp:second_deadlock_stack=1:log_path=$tsan_logs/tsan${TSAN_OPTIONS:+:$TSAN_OPTIONS}" ;;
  *) echo "usage: $0 asan|tsan [CTEST_REGEX]" >&2; exit 2 ;;
esac
cmake -S . -B "$build" -DORVELLE_BUILD_BENCH=OFF -DORVELLE_BUILD_GUI=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opts[@]}" >/dev/null
# The test programs whose ctest names match, plus the tools the script tests
# call and the program (whose build makes the skin and translations that the
# start-up tests load).
mapfile -t names < <(cd "$build" && ctest -N -R "$regex" | sed -n 's/^ *Test *#[0-9]*: //p')
targets=(orvelle-cli orvelle)
for n in "${names[@]}"; do
  prog=${n##*/}
  case "$prog" in *_test) ;; *) targets+=("$prog") ;; esac
  # The package test packs every installed file.
  case "$n" in package/*) targets+=(orvelle-mkdisk orvelle_man orvelle_debian_docs) ;; esac
done
cmake --build "$build" -j"$jobs" --target "${targets[@]}"
cd "$build"
if [ "$kind" = asan ]; then
  exec env QT_QPA_PLATFORM=offscreen ctest -R "$regex" --output-on-failure -j"$jobs" --timeout 900
fi
rm -rf "$tsan_logs"
mkdir -p "$tsan_logs"
status=0
QT_QPA_PLATFORM=offscreen ctest -R "$regex" --output-on-failure -j"$jobs" --timeout 900 || status=$?
reports=$(cat "$tsan_logs"/tsan.* 2>/dev/null | grep -c '^WARNING: ThreadSanitizer' || true)
if [ "$reports" -gt 0 ]; then
  cat "$tsan_logs"/tsan.*
  echo "ThreadSanitizer: $reports report(s), kept in $tsan_logs" >&2
  [ "$status" -ne 0 ] || status=1
else
  echo "ThreadSanitizer: no reports"
fi
exit "$status"
