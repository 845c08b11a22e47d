#!/bin/bash
# orvelle-cli verify end to end: a real export folder (recordings of an
# orvelle-mkdisk image exported by orvelle-cli) with its SHA256SUMS passes;
# a flipped byte and a missing file fail and are named, and sha256sum -c
# agrees on every outcome; usage errors, folders without a manifest, and the
# progress line of a large folder.
set -u
build=$(cd "${1:?usage: verify_test.sh BUILD_DIR}" && pwd)
mk=$build/orvelle-mkdisk
cli=$build/orvelle-cli
tmp=$(mktemp -d /tmp/orvelle-verify-test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }
check() { if eval "$2"; then ok "$1"; else fail "$1"; fi; }
same() {  # same NAME EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then ok "$1"; else fail "$1"; echo "  expected: $2"; echo "  actual:   $3"; fi
}

# Forty recordings: more than the export gathers for one update of its
# SHA256SUMS.
"$mk" "$tmp/disk.img" --size 1G --channels 4 --days 1 --per-day 10 --seconds 3 >/dev/null || { echo "orvelle-mkdisk failed"; exit 1; }
mapfile -t paths < <("$cli" --image "$tmp/disk.img" list | cut -f1)
check "forty recordings to export" '[ "${#paths[@]}" -eq 40 ]'
out=$tmp/out
"$cli" --image "$tmp/disk.img" export "$out" "${paths[@]}" >/dev/null 2>&1
same "export: exit 0" 0 "$?"
# The manifest the export wrote: every copy, then the report's two files.
mapfile -t files < <(sed 's/^[0-9a-f]*  //' "$out/SHA256SUMS")
same "the manifest lists the copies and the report" "$(tr -d '\r' <"$out/index.data"; cd "$out" && ls report-*.json && ls report-*.html)" \
    "$(printf '%s\n' "${files[@]}")"

"$cli" verify "$out" >"$tmp/v" 2>"$tmp/verr"; rc=$?
same "intact folder: exit 0" 0 "$rc"
same "intact folder: every file OK" "${#files[@]}" "$(grep -c ': OK$' "$tmp/v")"
same "intact folder: summary" "${#files[@]} files listed: ${#files[@]} ok, 0 missing, 0 differ, 0 unreadable" \
    "$(tail -1 "$tmp/v")"
(cd "$out" && sha256sum -c --quiet SHA256SUMS >/dev/null 2>&1)
same "sha256sum -c agrees: intact" 0 "$?"
check "small folder: no progress line" '[ ! -s "$tmp/verr" ]'

# One flipped byte in the middle of an exported file.
victim=${files[1]}
size=$(stat -c %s "$out/$victim")
byte=$(od -An -tu1 -j $((size / 2)) -N1 "$out/$victim" | tr -d ' ')
printf "$(printf '\\%03o' $((byte ^ 1)))" | dd of="$out/$victim" bs=1 seek=$((size / 2)) conv=notrunc status=none
"$cli" verify "$out" >"$tmp/v" 2>/dev/null; rc=$?
same "flipped byte: exit 1" 1 "$rc"
same "flipped byte: the file named" "$victim: DIFFERS" "$(grep -v ': OK$' "$tmp/v" | head -1)"
(cd "$out" && sha256sum -c SHA256SUMS 2>/dev/null) >"$tmp/s"; src=$?
same "sha256sum -c agrees: flipped byte fails" 1 "$src"
same "sha256sum -c agrees: the same file" "$victim: FAILED" "$(grep -v ': OK$' "$tmp/s" | head -1)"

# A missing file besides.
gone=${files[2]}
rm "$out/$gone"
"$cli" verify --quiet "$out" >"$tmp/v" 2>/dev/null; rc=$?
same "missing file: exit 1" 1 "$rc"
same "--quiet: only the problems, then the summary" \
    "$(printf '%s: DIFFERS\n%s: MISSING\n%d files listed: %d ok, 1 missing, 1 differ, 0 unreadable' \
        "$victim" "$gone" "${#files[@]}" $((${#files[@]} - 2)))" "$(cat "$tmp/v")"
(cd "$out" && sha256sum -c SHA256SUMS 2>/dev/null) >"$tmp/s"
check "sha256sum -c agrees: the missing file" 'grep -qxF "$gone: FAILED open or read" "$tmp/s"'

# A large folder shows its progress on standard error.
big=$tmp/big
mkdir "$big" && truncate -s 80M "$big/large.bin" && (cd "$big" && sha256sum large.bin >SHA256SUMS)
"$cli" verify "$big" >"$tmp/v" 2>"$tmp/verr"; rc=$?
same "large folder: exit 0" 0 "$rc"
check "large folder: progress on standard error" 'grep -q "verifying file 1 of 1: 100%" "$tmp/verr"'
check "large folder: standard output has only the result" '! grep -q verifying "$tmp/v"'

# Folders without a usable manifest, and usage.
mkdir "$tmp/plain"
"$cli" verify "$tmp/plain" >/dev/null 2>"$tmp/verr"; rc=$?
same "no SHA256SUMS: exit 1" 1 "$rc"
same "no SHA256SUMS: said" "orvelle-cli: $tmp/plain: no SHA256SUMS" "$(cat "$tmp/verr")"
"$cli" verify "$tmp/absent" >/dev/null 2>&1
same "no such folder: exit 1" 1 "$?"
echo "not a checksum line" >"$tmp/plain/SHA256SUMS"
"$cli" verify "$tmp/plain" >/dev/null 2>&1
same "a manifest that lists nothing: exit 1" 1 "$?"
"$cli" verify >/dev/null 2>&1
same "no folder: usage error" 2 "$?"
"$cli" verify "$out" "$big" >/dev/null 2>&1
same "two folders: usage error" 2 "$?"
"$cli" verify --bogus "$out" >/dev/null 2>&1
same "unknown option: usage error" 2 "$?"
"$cli" verify --help >"$tmp/help" 2>&1
same "verify --help" 0 "$?"
check "help names the command" 'grep -q "verify" "$tmp/help"'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
