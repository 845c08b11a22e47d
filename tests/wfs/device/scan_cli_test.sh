#!/bin/bash
# orvelle-cli scan end to end on sparse images: whole disks with an MBR,
# bare volumes, foreign and damaged images, exit statuses.
set -u
BUILD=${1:?build directory}
CLI="$BUILD/orvelle-cli"
[ -x "$CLI" ] || { echo "no $CLI"; exit 1; }
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
fails=0
check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAIL $1"; echo " expected: $(printf %q "$2")"; echo " actual:   $(printf %q "$3")"
        fails=$((fails + 1))
    else
        echo "ok   $1"
    fi
}
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
put() {  # put FILE SECTOR-OFFSET-BYTES DATA(printf format)
    printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
head_at() {  # a WFS0.4 head at sector $2
    put "$1" $(($2 * 512)) 'WFS0.4\0'
    put "$1" $(($2 * 512 + 510)) 'QJ'
}
mbr_disk() {  # FILE BASE SECTORS
    truncate -s $(($3 * 512)) "$1"
    put "$1" 454 "$(le32 $2)"
    put "$1" 510 '\x55\xAA'
    head_at "$1" $2
}

mbr_disk "$DIR/a.img" 2048 300000
truncate -s $((50000 * 512)) "$DIR/bare.img"; head_at "$DIR/bare.img" 0
truncate -s $((4096 * 512)) "$DIR/plain.img"
mbr_disk "$DIR/short.img" 2048 4096; truncate -s $((1000 * 512)) "$DIR/short.img"
truncate -s 4096 "$DIR/past.img"; put "$DIR/past.img" 454 "$(le32 4000000000)"

out=$("$CLI" --image "$DIR/a.img" --image "$DIR/plain.img" --image "$DIR/bare.img" scan 2>"$DIR/err"); rc=$?
check "two disks among three images" "$(printf '0\t0\t%s\t2048\t300000\traw\n1\t2\t%s\t0\t50000\traw' "$DIR/a.img" "$DIR/bare.img")" "$out"
check "exit 0" 0 "$rc"
check "nothing on stderr" "" "$(cat "$DIR/err")"

out=$("$CLI" --image "$DIR/plain.img" --image "$DIR/short.img" --image "$DIR/past.img" scan 2>"$DIR/err"); rc=$?
check "foreign and damaged images: no disk" "" "$out"
check "no disk: exit 1" 1 "$rc"
check "no disk: message" "orvelle-cli: no recorder disk found" "$(cat "$DIR/err")"

out=$("$CLI" --image "$DIR/missing.img" --image "$DIR/bare.img" scan 2>"$DIR/err"); rc=$?
check "missing image: the rest still listed" "$(printf '0\t1\t%s\t0\t50000\traw' "$DIR/bare.img")" "$out"
check "missing image: exit 1" 1 "$rc"
check "missing image: message" "orvelle-cli: cannot read $DIR/missing.img: no such file or directory" "$(cat "$DIR/err")"

"$CLI" --image "$DIR/a.img" scan extra >/dev/null 2>&1; check "extra argument: usage error" 2 "$?"
"$CLI" scan --help >"$DIR/help" 2>&1; check "scan --help" 0 "$?"
grep -q "scan" "$DIR/help"; check "help mentions scan" 0 "$?"

# The images were only read.
sum_before=$(md5sum "$DIR/a.img" | cut -d' ' -f1)
"$CLI" --verbose --image "$DIR/a.img" scan >/dev/null 2>&1
check "image unchanged" "$sum_before" "$(md5sum "$DIR/a.img" | cut -d' ' -f1)"

[ "$fails" -eq 0 ]
