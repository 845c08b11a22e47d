#!/bin/bash
# The Debian package, end to end, installing nothing on the machine: packs
# the built tree with cpack, checks the package's fields and files, lintian
# (no error, no warning), the desktop entry, the AppStream metadata and the
# manual pages against each program's --help; then unpacks it with
# dpkg-deb -x and runs the unpacked programs: orvelle-cli on a disk image,
# and orvelle offscreen as a user with an empty HOME, whose settings,
# capture folders, work folder and crash report must land in that HOME and
# nowhere in the unpacked tree. Usage: deb_package_test.sh BUILD_DIR
set -u
build=${1:?usage: $0 BUILD_DIR}
build=$(cd "$build" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli man help2man; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "FAIL: $tool is missing (scripts/deps.sh installs it)"
    echo "0 passed, 1 failed"
    exit 1
  fi
done

work=$(mktemp -d /tmp/orvelle-deb-test.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
passed=0
failed=0
check() {  # check "what" "shell condition"
  if eval "$2"; then passed=$((passed + 1)); else echo "FAIL: $1"; failed=$((failed + 1)); fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
deb=$work/out/orvelle_${version}_${arch}.deb

# --- the package --------------------------------------------------------
(cd "$build" && cpack -G DEB --config CPackConfig.cmake -B "$work/out") >"$work/cpack.log" 2>&1
check "cpack makes $(basename "$deb")" "[ -f '$deb' ]"
if [ ! -f "$deb" ]; then
  cat "$work/cpack.log"
  finish
fi

fields=$(dpkg-deb -f "$deb")
check "the package is named orvelle, version $version" \
  "[ \"\$(dpkg-deb -f '$deb' Package)\" = orvelle ] && [ \"\$(dpkg-deb -f '$deb' Version)\" = '$version' ]"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt5widgets5 libqt5multimedia5 libavcodec libavformat libjsoncpp; do
  check "Depends names $lib (found from the binaries)" "grep -q '$lib' <<<\"\$depends\""
done
check "the description has a synopsis and an extended part" \
  "[ \$(dpkg-deb -f '$deb' Description | wc -l) -ge 5 ]"
[ "$failed" -eq 0 ] || echo "$fields"

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$work/contents"
expected=(/usr/bin/orvelle /usr/bin/orvelle-cli /usr/bin/orvelle-mkdisk
  /usr/share/orvelle/skin/style.ss /usr/share/orvelle/skin/buttons/PlayNormal.png
  /usr/share/orvelle/language/orvelle_zh.qm /usr/share/orvelle/language/orvelle_ru.qm
  /usr/share/orvelle/license/README.txt /usr/share/orvelle/copyright/copyright_zh.txt
  /usr/share/applications/orvelle.desktop /usr/share/metainfo/org.orvelle.Orvelle.metainfo.xml
  /usr/share/icons/hicolor/scalable/apps/orvelle.svg
  /usr/share/man/man1/orvelle.1.gz /usr/share/man/man1/orvelle-cli.1.gz /usr/share/man/man1/orvelle-mkdisk.1.gz
  /usr/share/doc/orvelle/copyright /usr/share/doc/orvelle/changelog.gz)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/orvelle.png")
done
for f in "${expected[@]}"; do
  check "the package holds $f" "grep -qx '$f' '$work/contents'"
done
check "nothing outside /usr" "! grep -v '^/usr\(/\|$\)' '$work/contents' | grep -vqx '/'"
check "no build markers or settings in the package" \
  "! grep -E '/(\.rendered|Config\.ini|Backup|Temp)(/|$)' '$work/contents'"

lintian --pedantic "$deb" >"$work/lintian.log" 2>&1
sed -n 's/^\([EW]\): /lintian \1: /p' "$work/lintian.log"
check "lintian reports no error" "! grep -q '^E: ' '$work/lintian.log'"
check "lintian reports no warning" "! grep -q '^W: ' '$work/lintian.log'"

# --- the unpacked tree --------------------------------------------------
root=$work/root
dpkg-deb -x "$deb" "$root"
check "dpkg-deb -x unpacks the programs" "[ -x '$root/usr/bin/orvelle' ]"
check "the desktop entry passes desktop-file-validate" \
  "desktop-file-validate '$root/usr/share/applications/orvelle.desktop'"
check "the desktop entry starts orvelle with its icon" \
  "grep -qx 'Exec=orvelle' '$root/usr/share/applications/orvelle.desktop' && grep -qx 'Icon=orvelle' '$root/usr/share/applications/orvelle.desktop'"
check "the AppStream metadata passes appstreamcli validate" \
  "appstreamcli validate --no-net '$root/usr/share/metainfo/org.orvelle.Orvelle.metainfo.xml' >'$work/appstream.log' 2>&1 || { cat '$work/appstream.log'; false; }"
check "the AppStream release is version $version" \
  "grep -q 'release version=\"$version\"' '$root/usr/share/metainfo/org.orvelle.Orvelle.metainfo.xml'"

# Without a display: no DISPLAY, no WAYLAND_DISPLAY, no platform plugin chosen.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
for prog in orvelle orvelle-cli orvelle-mkdisk; do
  bin=$root/usr/bin/$prog
  out=$("${nodisplay[@]}" "$bin" --version 2>&1)
  check "$prog --version prints '$prog $version' without a display" "[ \"\$out\" = '$prog $version' ]"
  "${nodisplay[@]}" "$bin" --help >"$work/$prog.help" 2>&1
  check "$prog --help works without a display" "[ \$? -eq 0 ] && grep -q '^Usage: $prog' '$work/$prog.help'"

  page=$root/usr/share/man/man1/$prog.1.gz
  MANWIDTH=250 man -l "$page" >"$work/$prog.man" 2>/dev/null
  warnings=$(MANWIDTH=250 man --warnings -l "$page" 2>&1 >/dev/null)
  check "$prog(1) formats without warnings" "[ -z \"\$warnings\" ] || { echo \"\$warnings\"; false; }"
  check "$prog(1) is the manual of $prog $version" "grep -q '^$(tr a-z A-Z <<<"$prog")(1)' '$work/$prog.man' && grep -q '$prog $version' '$work/$prog.man'"
  # Every option of --help is in the manual (the pages are made from --help
  # at build time; a page missing an option is stale).
  for opt in $(grep -oE '(^|[[:space:],[])--[a-z][a-z0-9-]*' "$work/$prog.help" | grep -oE -- '--[a-z0-9-]+' | sort -u); do
    check "$prog(1) describes $opt of $prog --help" "grep -qe '$opt' '$work/$prog.man'"
  done
done
# Every command orvelle-cli --help lists has its entry in orvelle-cli(1).
for cmd in $(sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z0-9-]*\).*/\1/p' "$work/orvelle-cli.help"); do
  check "orvelle-cli(1) describes the command $cmd" "grep -qE '^ +$cmd( |\$)' '$work/orvelle-cli.man'"
done

# --- the unpacked programs at work --------------------------------------
img=$work/disk.img
"$root/usr/bin/orvelle-mkdisk" "$img" --size 1G --channels 2 --days 1 --per-day 2 --seconds 4 >"$work/mkdisk.log" 2>&1
check "the unpacked orvelle-mkdisk makes a disk image" "[ \$? -eq 0 ] && [ -s '$img' ]"
list=$("$root/usr/bin/orvelle-cli" --image "$img" list 2>"$work/cli.err")
check "the unpacked orvelle-cli --image lists the image's 4 recordings" \
  "[ \$(grep -c '^/mnt/idea0/' <<<\"\$list\") -eq 4 ] || { cat '$work/cli.err'; false; }"

# The program as a user whose HOME is empty and who has no XDG variables.
home=$work/home
mkdir -p "$home"
user_env=(env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen
  ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS} ${UBSAN_OPTIONS:+UBSAN_OPTIONS=$UBSAN_OPTIONS}
  ${LSAN_OPTIONS:+LSAN_OPTIONS=$LSAN_OPTIONS})
start_program() {  # starts the unpacked orvelle; waits until it is up
  "${user_env[@]}" "$root/usr/bin/orvelle" --disk-image "$img" >"$work/orvelle.log" 2>&1 &
  pid=$!
  pids+=("$pid")
  # The media work folder is made when the video grid is built, late in the
  # start-up.
  for _ in $(seq 1 600); do
    [ -d "$home/.cache/Orvelle/Temp" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  sleep 1
}
end_program() {  # $1 = signal; waits at most 60 s, then kills; sets rc
  kill -s "$1" "$pid"
  for _ in $(seq 1 600); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "orvelle did not end within 60 s of SIG$1"
    kill -9 "$pid"
  fi
  wait "$pid"
  rc=$?
}
start_program
check "the program starts and keeps running" "kill -0 $pid 2>/dev/null"
check "the media work folder is under ~/.cache/Orvelle" "[ -d '$home/.cache/Orvelle/Temp' ]"
check "the capture and record folders are under ~/Videos/Orvelle" \
  "[ -d '$home/Videos/Orvelle/Picture' ] && [ -d '$home/Videos/Orvelle/Record' ]"
end_program TERM
check "SIGTERM ends the program as its Close button does (status 0, was $rc)" "[ $rc -eq 0 ]"
ini=$home/.config/Orvelle/Config.ini
check "the settings are written to ~/.config/Orvelle/Config.ini" \
  "grep -qx 'capture=$home/Videos/Orvelle/Picture' '$ini' && grep -qx 'record=$home/Videos/Orvelle/Record' '$ini' && grep -qx 'Solution=English' '$ini' && grep -qx 'Format=0' '$ini'"

# A setting changed by the user is read back at the next start.
sed -i 's/^Solution=English$/Solution=Russian/' "$ini"
start_program
end_program SEGV
dump=$home/.local/state/Orvelle/CrashDumpFile.dmp
check "a crash ends the program with status 255 (was $rc)" "[ $rc -eq 255 ]"
check "the crash report is in ~/.local/state/Orvelle" "grep -q '^Signal: 11 SIGSEGV' '$dump'"
check "a crashed program leaves the settings as they were" "grep -qx 'Solution=Russian' '$ini'"

# Root can write the unpacked bin/; the installed program still keeps out of it.
written=$(find "$root" \( -name Config.ini -o -name Backup -o -name Temp -o -name CrashDumpFile.dmp -o -name '.orvelle-write-probe' \) -print)
check "nothing is written into the installed tree" "[ -z \"\$written\" ] || { echo \"\$written\"; false; }"
outside=$(find "$home" -mindepth 1 -maxdepth 1 ! -name .config ! -name .cache ! -name .local ! -name Videos -print)
check "nothing else lands in HOME" "[ -z \"\$outside\" ] || { echo \"\$outside\"; false; }"
[ "$failed" -eq 0 ] || grep -v 'does not support' "$work/orvelle.log" | tail -20
finish
