#!/bin/bash
# orvelle-cli on evidence images end to end: one recorder disk made by
# orvelle-mkdisk (real H.264), as the raw image, as split raw pieces made by
# split(1) and as an Expert Witness Format set made by ewfacquire(1), lists
# the same recordings with the same bytes, and `hash` gives the figures
# sha256sum/md5sum give and those ewfinfo says the set stores; an export
# from each reports its source. Damaged sets fail cleanly.
set -u
build=$(cd "${1:?usage: evidence_images_test.sh BUILD_DIR}" && pwd)
mk=$build/orvelle-mkdisk
cli=$build/orvelle-cli
tmp=$(mktemp -d /tmp/orvelle-evidence-test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }
check() { if eval "$2"; then ok "$1"; else fail "$1"; fi; }
same() {  # same NAME EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then ok "$1"; else fail "$1"; echo "  expected: $2"; echo "  actual:   $3"; fi
}

command -v ewfacquire >/dev/null && command -v ewfinfo >/dev/null || { echo "ewf-tools missing"; exit 1; }
"$mk" "$tmp/disk.img" --size 800M --channels 2 --days 1 --per-day 3 --seconds 20 >/dev/null ||
    { echo "orvelle-mkdisk failed"; exit 1; }
cd "$tmp" || exit 1
# Pieces of 100,000,000 bytes (no multiple of 512), written sparse.
split -b 100000000 -d -a 3 --filter='cp --sparse=always /dev/stdin "$FILE"' disk.img piece.
ewfacquire -u -q -t "$tmp/ev" -c fast -S 1MiB -d sha1 disk.img >/dev/null 2>&1 || { echo "ewfacquire failed"; exit 1; }
pieces=$(ls piece.* | wc -l)
segments=$(ls ev.E* | wc -l)
check "several split pieces and EWF segments" '[ "$pieces" -ge 8 ] && [ "$segments" -ge 3 ]'

# scan names the kind of each image.
out=$("$cli" --image disk.img --image piece.000 --image ev.E01 scan 2>"$tmp/err"); rc=$?
same "scan: three disks with their kinds" \
    "$(printf '0\t0\tdisk.img\t2048\t1638400\traw\n1\t1\tpiece.000\t2048\t1638400\tsplit raw (%d segments)\n2\t2\tev.E01\t2048\t1638400\tewf (%d segments)' "$pieces" "$segments")" "$out"
same "scan: exit 0" 0 "$rc"
"$cli" --image ev.E01 info | head -1 >"$tmp/info"
same "info names the kind" "disk 0 (drive 0, ev.E01, ewf ($segments segments))" "$(cat "$tmp/info")"

# The same listing and the same bytes of every recording.
"$cli" --image disk.img list >"$tmp/list.raw" || fail "list of the raw image"
check "the raw image lists its six recordings" '[ "$(wc -l <"$tmp/list.raw")" -eq 6 ]'
declare -A raw_sum
while IFS=$'\t' read -r path _; do
    raw_sum[$path]=$("$cli" --image disk.img cat "$path" | md5sum)
done <"$tmp/list.raw"
for form in piece.000 ev.E01; do
    "$cli" --image "$form" list >"$tmp/list.form"
    check "$form: the same listing" 'cmp -s "$tmp/list.raw" "$tmp/list.form"'
    bad=0
    while IFS=$'\t' read -r path _; do
        [ "${raw_sum[$path]}" = "$("$cli" --image "$form" cat "$path" | md5sum)" ] ||
            { bad=$((bad + 1)); echo "  differs: $path"; }
    done <"$tmp/list.raw"
    same "$form: every recording's bytes" 0 "$bad"
done

# An export from each form: the folder checks with sha256sum, the report
# names the source's kind and its image files with their sizes, and the
# copy's hash is the same from every form.
first=$(head -1 "$tmp/list.raw" | cut -f1)
report_py='
import json, os, sys
r = json.load(open(sys.argv[1]))
s = r["sources"][0]
files = sorted(f for f in os.listdir(".") if f.startswith(sys.argv[3]))
assert s["kind"] == sys.argv[2], s["kind"]
assert [os.path.basename(x) for x in s["segments"]] == files, s["segments"]
assert s["segment_bytes"] == [os.path.getsize(f) for f in files], s["segment_bytes"]
assert s["sectors"] == os.path.getsize("disk.img") // 512
it = r["items"][0]
assert it["outcome"] == "complete" and it["source_sha256"] == it["output_sha256"]
print(it["output_sha256"])
'
declare -A copy_sha
for form in disk.img piece.000 ev.E01; do
    "$cli" --image "$form" export "$tmp/exp.$form" "$first" >"$tmp/exp.out" 2>/dev/null
    same "export from $form: exit 0" 0 "$?"
    (cd "$tmp/exp.$form" && sha256sum -c --quiet SHA256SUMS >/dev/null 2>&1)
    same "export from $form: sha256sum -c passes" 0 "$?"
    json=$(sed -n 's/^report: \(.*\.json\)$/\1/p' "$tmp/exp.out")
    case $form in disk.img) kind=raw prefix=disk.img ;; piece.000) kind=split prefix=piece. ;; *) kind=ewf prefix=ev.E ;; esac
    copy_sha[$form]=$(python3 -c "$report_py" "$json" "$kind" "$prefix" 2>"$tmp/py.err")
    check "export from $form: the report names the $kind source and its files" '[ -n "${copy_sha[$form]}" ]'
    [ -s "$tmp/py.err" ] && cat "$tmp/py.err"
done
same "the same copy from every form" "${copy_sha[disk.img]} ${copy_sha[disk.img]}" \
    "${copy_sha[piece.000]} ${copy_sha[ev.E01]}"

# hash: the whole source, as sha256sum and md5sum see the raw image and the
# pieces put together, and the EWF set's stored hashes checked.
raw_sha=$(sha256sum disk.img | cut -d' ' -f1)
raw_md5=$(md5sum disk.img | cut -d' ' -f1)
same "the pieces put together are the image" "$raw_sha" "$(cat piece.* | sha256sum | cut -d' ' -f1)"
for form in disk.img piece.000 ev.E01; do
    "$cli" --image "$form" hash >"$tmp/hash" 2>"$tmp/hash.err"; rc=$?
    same "hash $form: exit 0" 0 "$rc"
    same "hash $form: SHA-256" "$raw_sha" "$(awk '$1 == "SHA-256" {print $2}' "$tmp/hash")"
    same "hash $form: MD5" "$raw_md5" "$(awk '$1 == "MD5" {print $2}' "$tmp/hash")"
    check "hash $form: progress on standard error" 'grep -q "100%" "$tmp/hash.err"'
done
ewfinfo ev.E01 >"$tmp/ewfinfo" 2>/dev/null
stored_md5=$(awk -F'\t' '/^[[:space:]]*MD5:/ {print $NF}' "$tmp/ewfinfo")
stored_sha1=$(awk -F'\t' '/^[[:space:]]*SHA1:/ {print $NF}' "$tmp/ewfinfo")
same "ewfinfo's MD5 is the image's" "$raw_md5" "$stored_md5"
same "stored MD5 shown and matching" "stored MD5     $stored_md5  matches" \
    "$(grep 'stored MD5' "$tmp/hash" | sed 's/^ *//')"
same "stored SHA-1 shown and matching" "stored SHA-1   $stored_sha1  matches" \
    "$(grep 'stored SHA-1' "$tmp/hash" | sed 's/^ *//')"
"$cli" --image ev.E01 hash --json >"$tmp/hash.json"
check "hash --json: digests and stored checks" \
    'python3 -c "import json,sys; d=json.load(open(sys.argv[1]))[\"disks\"][0]; assert d[\"sha256\"]==sys.argv[2] and d[\"kind\"]==\"ewf\" and d[\"complete\"] and all(s[\"matches\"] for s in d[\"stored\"]) and len(d[\"stored\"])==2" "$tmp/hash.json" "$raw_sha"'

# Corrupt chunks in the middle of every segment but the first and the last:
# the recordings they hold fail, no other recording changes, and no
# whole-source hash is claimed.
mkdir "$tmp/corrupt" && cp ev.E* "$tmp/corrupt/"
for seg in $(ls "$tmp"/corrupt/ev.E* | sed '1d;$d'); do
    printf '\xde\xad\xbe\xef\xde\xad\xbe\xef' | dd of="$seg" bs=1 seek=$(($(stat -c %s "$seg") / 2)) conv=notrunc status=none
done
failing=0
changed=0
while IFS=$'\t' read -r path _; do
    if "$cli" --image "$tmp/corrupt/ev.E01" cat "$path" >"$tmp/rec" 2>/dev/null; then
        [ "$(md5sum <"$tmp/rec")" = "${raw_sum[$path]}" ] || changed=$((changed + 1))
    else
        failing=$((failing + 1))
    fi
done <"$tmp/list.raw"
check "corrupt chunks: a recording fails to read" '[ "$failing" -ge 1 ]'
same "corrupt chunk: the others read unchanged" 0 "$changed"
"$cli" --image "$tmp/corrupt/ev.E01" hash >"$tmp/hash" 2>"$tmp/hash.err"; rc=$?
same "corrupt chunk: hash fails" 1 "$rc"
check "corrupt chunk: no digest printed" '! grep -q "SHA-256\|MD5" "$tmp/hash"'
check "corrupt chunk: the unreadable sector named" 'grep -q "cannot be read; no hash of the whole source" "$tmp/hash.err"'

# A missing segment or piece: named, and the disk is not offered.
mkdir "$tmp/gap" && ln ev.E* piece.* "$tmp/gap/" && rm "$tmp/gap/ev.E02" "$tmp/gap/piece.003"
out=$("$cli" --image "$tmp/gap/ev.E01" --image "$tmp/gap/piece.000" --image disk.img scan 2>"$tmp/err"); rc=$?
same "missing segments: only the raw image" "$(printf '0\t2\tdisk.img\t2048\t1638400\traw')" "$out"
same "missing segments: exit 1" 1 "$rc"
same "missing segments: both named" \
    "$(printf 'orvelle-cli: cannot read %s: segment %s is missing\norvelle-cli: cannot read %s: segment %s is missing' \
        "$tmp/gap/ev.E01" "$tmp/gap/ev.E02" "$tmp/gap/piece.000" "$tmp/gap/piece.003")" "$(cat "$tmp/err")"
"$cli" --image "$tmp/gap/ev.E01" hash >/dev/null 2>&1
same "missing segment: hash fails" 1 "$?"

# Usage.
"$cli" --image disk.img hash --bogus >/dev/null 2>&1
same "hash: unknown argument is a usage error" 2 "$?"
"$cli" hash --help >"$tmp/help" 2>&1
same "hash --help" 0 "$?"
check "help names the command" 'grep -q "hash" "$tmp/help"'
"$cli" --help | grep -q "^  hash" && ok "the command list has hash" || fail "the command list has hash"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
