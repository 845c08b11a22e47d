#!/bin/bash
# The program's window as an X server sees it (what window lists, task bars
# and screenshots show): under Xvfb the main window is named "Orvelle" (not
# the executable's "orvelle"), its class is "orvelle" (the desktop entry's
# StartupWMClass), and it carries the program icon in every rendered size.
# The program runs from a folder of its own (the build's skin and
# translations linked in) so that it writes nothing into the build tree.
# Usage: window_identity_test.sh BUILD_DIR
set -u
build=${1:?usage: $0 BUILD_DIR}
build=$(cd "$build" && pwd)
for tool in Xvfb xwininfo xprop; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "FAIL: $tool is missing (scripts/deps.sh installs it)"
    echo "0 passed, 1 failed"
    exit 1
  fi
done
work=$(mktemp -d /tmp/orvelle-window-test.XXXXXX)
xvfb_pid=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill -9 "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
passed=0
failed=0
check() {
  if eval "$2"; then passed=$((passed + 1)); else echo "FAIL: $1"; failed=$((failed + 1)); fi
}

cp "$build/orvelle" "$work/orvelle"
ln -s "$build/skin" "$work/skin"
ln -s "$build/language" "$work/language"

# A display of its own: Xvfb picks a free number and writes it to fd 3.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
exec 3>&-
display=:$(head -n1 "$work/display")
check "Xvfb starts" "[ '$display' != ':' ]"

env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" HOME="$work/home" \
  "$work/orvelle" --disk-image "$work/none.img" >"$work/orvelle.log" 2>&1 &
app_pid=$!
# The main window is 1080x720; wait until it is mapped.
main=
for _ in $(seq 1 300); do
  main=$(DISPLAY=$display xwininfo -root -children 2>/dev/null | awk '/ 1080x720\+/ {print $1; exit}')
  [ -n "$main" ] && break
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
check "the main window appears" "[ -n '$main' ]"
if [ -n "$main" ]; then
  # Name and icon follow the mapping closely; give them a moment.
  for _ in $(seq 1 50); do
    props=$(DISPLAY=$display xprop -len 4000000 -id "$main" _NET_WM_NAME WM_CLASS _NET_WM_ICON 2>&1)
    grep -q 'Icon (256 x 256)' <<<"$props" && break
    sleep 0.1
  done
  check "the window is named Orvelle" "grep -qx '_NET_WM_NAME(UTF8_STRING) = \"Orvelle\"' <<<\"\$props\""
  check "the window class is orvelle" "grep -qx 'WM_CLASS(STRING) = \"orvelle\", \"orvelle\"' <<<\"\$props\""
  for size in 16 22 24 32 48 64 128 256; do
    check "the window icon has ${size}x${size}" "grep -q 'Icon ($size x $size)' <<<\"\$props\""
  done
  [ "$failed" -eq 0 ] || head -5 <<<"$props"
fi

kill -TERM "$app_pid" 2>/dev/null
for _ in $(seq 1 300); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
wait "$app_pid"
rc=$?
app_pid=
check "the program leaves on SIGTERM with status 0 (was $rc)" "[ $rc -eq 0 ]"
check "its settings are written beside it" "[ -f '$work/Config.ini' ]"
[ "$failed" -eq 0 ] || tail -5 "$work/orvelle.log"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
