#!/bin/bash
# The program itself, started offscreen from a folder of its own: a fatal
# signal while it runs leaves a readable CrashDumpFile.dmp beside the
# executable and ends it with status -1 (255); a second crash replaces the
# dump. Usage: orvelle_crash_test.sh BUILD_DIR
set -u
build=${1:?usage: $0 BUILD_DIR}
if [ ! -x "$build/orvelle" ]; then
  echo "orvelle is not built in $build"
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/orvelle" "$work/orvelle"
dump="$work/CrashDumpFile.dmp"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

crash_once() {  # $1 = signal
  rm -rf "$work/Backup"
  QT_QPA_PLATFORM=offscreen "$work/orvelle" --disk-image "$work/none.img" >"$work/out.log" 2>&1 &
  local pid=$!
  # The settings store makes the Backup folders once the crash handler is in
  # place and the skin and language are applied.
  for _ in $(seq 1 300); do
    [ -d "$work/Backup/Record" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  sleep 0.5
  kill -s "$1" "$pid"
  wait "$pid"
  echo $?
}

printf 'old dump\n%.0s' $(seq 1 2000) >"$dump"
rc=$(crash_once SEGV)
[ "$rc" = 255 ] || fail "exit status $rc after SIGSEGV, expected 255"
grep -q '^Signal: 11 SIGSEGV' "$dump" || fail "no SIGSEGV report in the dump"
grep -q '^Backtrace of the crashing thread:' "$dump" || fail "no backtrace in the dump"
grep -q "^Executable: $work/orvelle" "$dump" || fail "the dump does not name the executable"
grep -q 'old dump' "$dump" && fail "the old dump was not replaced"

rc=$(crash_once BUS)
[ "$rc" = 255 ] || fail "exit status $rc after SIGBUS, expected 255"
grep -q '^Signal: 7 SIGBUS' "$dump" || fail "the second crash did not replace the dump"
[ -f "$work/Config.ini" ] && fail "a crashed program wrote its settings"

if [ "$failures" -eq 0 ]; then
  echo "2 passed, 0 failed"
  exit 0
fi
echo "0 passed, $failures failed"
exit 1
