#!/bin/bash
# orvelle-mkdisk end to end: images made by the tool are found, mounted and
# listed by orvelle-cli, every listed recording's frames are consistent with
# what the list says (key frame times within its start and end, frame
# lengths, sound), the H.264 or H.265 they carry decodes (up to 3840x2160, at
# the bit rate asked for), the same seed makes the same image, and bad
# options are refused.
set -u
build=${1:?usage: mkdisk_test.sh BUILD_DIR}
mk=$build/orvelle-mkdisk
cli=$build/orvelle-cli
tmp=$(mktemp -d /tmp/orvelle-mkdisk-test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0

ok() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }
check() { if eval "$2"; then ok "$1"; else fail "$1"; fi; }

# Walks the frames of a recording read with `cat`: prints the raw H.264
# (key and video payloads) to $2 and a line "frames keys audio first_time
# last_time bad" for the checks below.
frames_py='
import struct, sys
data = open(sys.argv[1], "rb").read()
out = open(sys.argv[2], "wb")
pos = frames = keys = audio = bad = 0
times = []
while pos + 8 <= len(data):
    if data[pos:pos+3] != b"\x00\x00\x01":
        if any(data[pos:]):   # only zero padding may follow the last frame
            bad += 1
        break
    t = data[pos+3]
    if t == 0xFC:
        n = struct.unpack_from("<I", data, pos + 12)[0]
        times.append(struct.unpack_from("<I", data, pos + 8)[0])
        if data[pos+5] == 0: bad += 1
        out.write(data[pos+16:pos+16+n]); pos += 16 + n; keys += 1; frames += 1
    elif t == 0xFD:
        n = struct.unpack_from("<I", data, pos + 4)[0]
        out.write(data[pos+8:pos+8+n]); pos += 8 + n; frames += 1
    elif t == 0xFA:
        n = struct.unpack_from("<H", data, pos + 6)[0]; pos += 8 + n; audio += 1
    else:
        bad += 1; break
    if pos > len(data): bad += 1
def text(w):
    return "%04d-%02d-%02d_%02d:%02d:%02d" % ((w >> 26) + 2000, (w >> 22) & 15, (w >> 17) & 31, (w >> 12) & 31, (w >> 6) & 63, w & 63)
steps_ok = all(b > a for a, b in zip(times, times[1:]))
print(frames, keys, audio, text(times[0]) if times else "-", text(times[-1]) if times else "-", bad + (0 if steps_ok else 1))
'

# An independent reader of the image: follows every recording's directory
# chain (links, indexes, first cluster, lengths, times) and checks that its
# data holds whole frames whose key-frame times lie within the recording.
chains_py=$(cat <<'PY'
import struct, sys
img = open(sys.argv[1], "rb")
def sec(n, count=1):
    img.seek(n * 512); return img.read(512 * count)
mbr = sec(0)
base = struct.unpack_from("<I", mbr, 454)[0]
head = sec(base)
assert head[:7] == b"WFS0.4\x00" and head[510:512] == b"QJ", "head"
kpo = struct.unpack_from("<4I", head, 480)
pt = sec(base + kpo[0] + 20)
problems = 0; checked = 0; frames_total = 0
def t2s(w):
    return "%04d-%02d-%02d %02d:%02d:%02d" % ((w >> 26) + 2000, (w >> 22) & 15, (w >> 17) & 31, (w >> 12) & 31, (w >> 6) & 63, w & 63)
for p in range(4):
    start, total = struct.unpack_from("<QQ", pt, 56 + 64 * p)
    if total == 0: continue
    pp = sec(base + start + kpo[p] + 24)
    spc, dir_off, data_off, tc = [struct.unpack_from("<I", pp, o)[0] for o in (48, 68, 72, 76)]
    rev, cur = struct.unpack_from("<I", pp, 56)[0], struct.unpack_from("<I", pp, 24)[0]
    status = struct.unpack_from("<I", pp, 12)[0]
    dirs = sec(base + start + dir_off, (tc + 15) // 16 + 1)
    def item(c):
        r = dirs[c * 32:(c + 1) * 32]
        a, flag, num, up, down, st, et, hs, el, fc = struct.unpack_from("<BBHIIIIHHI", r)
        return dict(alarm=a, flag=flag, num=num, up=up, down=down, st=st, et=et, hs=hs, el=el, fc=fc, ch=r[31] >> 2, av=r[31] & 3)
    def bad(msg):
        global problems; problems += 1; print("partition %d: %s" % (p, msg))
    for c in range(max(rev, 1), tc):
        f = item(c)
        if f["flag"] not in (2, 3) or f["fc"] != c or f["alarm"] >= 32: continue
        checked += 1
        chain = [c]; k = c
        while item(k)["down"] not in (0, 0xFFFFFFFF) and len(chain) <= tc:
            nxt = item(k)["down"]
            g = item(nxt)
            if g["up"] != k or g["fc"] != c or g["num"] != len(chain) or g["flag"] != 1 or g["ch"] != f["ch"]:
                bad("cluster %d: broken link %d -> %d" % (c, k, nxt)); break
            if g["st"] < item(k)["st"]: bad("cluster %d: times run backwards at %d" % (c, nxt))
            chain.append(nxt); k = nxt
        last = item(chain[-1])
        if last["down"] == 0xFFFFFFFF and status != 170:
            # Cut off by a pulled disk: the open cluster says how far it got.
            length = (len(chain) - 1) * spc + last["el"]
            f = dict(f, et=last["et"])
        elif last["down"] != 0:
            bad("cluster %d: chain not closed" % c); continue
        else:
            if f["num"] != len(chain) - 1: bad("cluster %d: item_num %d, chain of %d" % (c, f["num"], len(chain)))
            if last["el"] != f["el"] or last["et"] != f["et"]: bad("cluster %d: last cluster and totals disagree" % c)
            length = f["num"] * spc + f["el"]
        if f["et"] < f["st"]: bad("cluster %d: ends before it starts" % c)
        data = b"".join(sec(base + start + data_off + x * spc, spc) for x in chain)[:length * 512]
        pos = f["hs"] * 512
        if f["hs"] == 0 and data[:4] == b"DHII":
            pos = struct.unpack_from("<I", data, 4)[0]
        if f["av"] == 0:
            if data[pos:pos + 2] != b"\xff\xd8": bad("cluster %d: picture is not a JPEG" % c)
            continue
        keys = []
        while pos + 8 <= len(data):
            if data[pos:pos + 3] != b"\x00\x00\x01":
                if any(data[pos:]): bad("cluster %d: garbage at byte %d" % (c, pos))
                break
            ty = data[pos + 3]
            if ty == 0xFC:
                keys.append(struct.unpack_from("<I", data, pos + 8)[0]); n = 16 + struct.unpack_from("<I", data, pos + 12)[0]
            elif ty == 0xFD: n = 8 + struct.unpack_from("<I", data, pos + 4)[0]
            elif ty == 0xFA: n = 8 + struct.unpack_from("<H", data, pos + 6)[0]
            else: bad("cluster %d: frame type %02x" % (c, ty)); break
            if n < 5 or n > 512000: bad("cluster %d: frame length %d" % (c, n)); break
            pos += n; frames_total += 1
        if pos > len(data): bad("cluster %d: last frame cut off" % c)
        if not keys or keys[0] != f["st"] or keys[-1] > f["et"]:
            bad("cluster %d: key frames %s..%s outside %s..%s" % (c, t2s(keys[0]) if keys else "-", t2s(keys[-1]) if keys else "-", t2s(f["st"]), t2s(f["et"])))
print("%d recordings checked, %d frames, %d problems" % (checked, frames_total, problems))
sys.exit(1 if problems else 0)
PY
)

# ---------------------------------------------------------------- a disk with everything
img=$tmp/mixed.img
"$mk" "$img" --size 1536M --channels 2 --days 2 --per-day 3 --seconds 5 --sec-per-clus 256 \
    --pack 60 --long --collision --dhii --pictures --deleted --unclosed --seed 7 > "$tmp/mk.out" 2> "$tmp/mk.err"
check "orvelle-mkdisk makes the image" "[ \$? -eq 0 ] && [ -s '$img' ]"
cat "$tmp/mk.out"
check "every directory chain agrees with its records and frames" "python3 -c \"\$chains_py\" '$img'"

scan=$("$cli" --image "$img" scan)
check "scan finds one disk behind the MBR at sector 2048" "[ \"\$(echo \"\$scan\" | cut -f5)\" != '' ] && [ \"\$(echo \"\$scan\" | wc -l)\" = 1 ] && [ \"\$(echo \"\$scan\" | cut -f4)\" = 2048 ]"

info=$("$cli" --image "$img" info)
echo "$info"
check "info shows the recording partition and the picture partition" \
    "echo \"\$info\" | grep -q 'partition 0: type 0' && echo \"\$info\" | grep -q 'partition 1: type 4'"
check "the time collision is a third time section" "echo \"\$info\" | grep 'partition 0:' | grep -q '3 sections'"

tables=$("$cli" --image "$img" tables)
check "tables prints the four driver tables" \
    "for t in 'driver basic parameter:' 'driver operation parameter:' 'driver time chart:' 'driver time sections:'; do echo \"\$tables\" | grep -q \"\$t\" || exit 1; done; echo \"\$tables\" | grep -vq '(error)'"

"$cli" --image "$img" list > "$tmp/list.txt"
n=$(grep -c '\.h264' "$tmp/list.txt")
np=$(grep -c "\.jpg" "$tmp/list.txt" || true)
echo "listed: $n video, $np pictures"
# 2 channels x (2 days x 3 + the clock set back once on day 1) recordings, the
# long one of each day split in two, one deleted, the open one repaired.
# (Stills on the picture partition are not part of the recording list.)
check "every recording is listed, the deleted one is not" "[ '$n' -eq 17 ]"
check "the stills went to the picture partition" "grep -q '14 pictures' '$tmp/mk.out'"
check "recordings of both channels" "grep -q '/000/' '$tmp/list.txt' && grep -q '/001/' '$tmp/list.txt'"
check "several recording types" "[ \$(cut -f7 '$tmp/list.txt' | sort -u | wc -l) -ge 2 ]"
grep '\.h264' "$tmp/list.txt" | awk -F'\t' '{print $4 "\t" $5 "\t" $6}' | sort > "$tmp/by_channel.txt"
check "split recordings join: a piece ends where the next one of its channel begins" \
    "awk -F'\t' 'prev == \$1 \"|\" \$2 {found = 1} {prev = \$1 \"|\" \$3} END {exit !found}' '$tmp/by_channel.txt'"

bad_frames=0
decoded=0
head_checked=0
while IFS=$'\t' read -r path _ _ _ start end _ _ _ kb; do
    case "$path" in *.h264) ;; *) continue ;; esac
    "$cli" --image "$img" cat "$path" < /dev/null > "$tmp/rec.bin" 2>/dev/null || { bad_frames=$((bad_frames + 1)); continue; }
    read -r frames keys audio t0 t1 bad < <(python3 -c "$frames_py" "$tmp/rec.bin" "$tmp/rec.h264")
    start=${start/ /_}
    end=${end/ /_}
    # Key frames carry the seconds of the recording: from its start, before its end.
    if [ "$bad" != 0 ] || [ "$keys" -lt 3 ] || [ "$audio" -lt 1 ] || [ "$t0" != "$start" ] || \
       [ "$t1" \> "$end" ]; then
        echo "inconsistent: $path ($frames frames, $keys keys, $audio audio, $t0 .. $t1, bad $bad)"
        bad_frames=$((bad_frames + 1))
        continue
    fi
    got=$(ffprobe -v error </dev/null -count_frames -select_streams v:0 -show_entries stream=nb_read_frames,width,height \
          -of csv=p=0 "$tmp/rec.h264" 2>/dev/null)
    if [ "$got" = "352,288,$frames" ] && ffmpeg -nostdin -v error -xerror -i "$tmp/rec.h264" -f null - 2>/dev/null; then
        decoded=$((decoded + 1))
    else
        echo "does not decode: $path (ffprobe: $got, frames $frames)"
        bad_frames=$((bad_frames + 1))
    fi
done < "$tmp/list.txt"
check "every recording's frames agree with its listed times" "[ $bad_frames -eq 0 ]"
check "every recording's video decodes, frame for frame" "[ $decoded -eq $n ]"

# ---------------------------------------------------------------- a wrapped ring
wrap=$tmp/wrap.img
"$mk" "$wrap" --size 1536M --channels 3 --days 1 --per-day 2 --seconds 8 --sec-per-clus 64 --wrap --seed 3 \
    > "$tmp/wrap.out" 2>&1
check "a wrapped ring is made" "grep -q 'ring wrapped' '$tmp/wrap.out'"
check "every chain on the wrapped ring agrees with its records and frames" "python3 -c \"\$chains_py\" '$wrap'"
"$cli" --image "$wrap" info > "$tmp/wrap.info"
check "the wrapped partition reports no free space" "grep -q 'partition 0:.* 0 MiB free' '$tmp/wrap.info'"
"$cli" --image "$wrap" list > "$tmp/wrap.list"
wrap_bad=0
wrap_n=0
while IFS=$'\t' read -r path _ _ _ start end _ _ _ kb; do
    "$cli" --image "$wrap" cat "$path" < /dev/null > "$tmp/rec.bin" 2>/dev/null
    read -r frames keys audio t0 t1 bad < <(python3 -c "$frames_py" "$tmp/rec.bin" "$tmp/rec.h264")
    start=${start/ /_}
    wrap_n=$((wrap_n + 1))
    if [ "$bad" != 0 ] || [ "$t0" != "$start" ] || ! ffmpeg -nostdin -v error -xerror -i "$tmp/rec.h264" -f null - 2>/dev/null; then
        echo "wrapped ring, bad recording: $path"
        wrap_bad=$((wrap_bad + 1))
    fi
done < "$tmp/wrap.list"
check "recordings on a wrapped ring read and decode" "[ $wrap_n -gt 5 ] && [ $wrap_bad -eq 0 ]"

# ---------------------------------------------------------------- recordings as real recorders write them
# H.265 at an average bit rate, with and without camera grain: every
# recording decodes frame for frame as H.265 of the size asked for, and with
# grain the encoder spends about the rate asked for (without, a flat picture
# leaves most of it unused).
rate_py='
import struct, sys
d = open(sys.argv[1], "rb").read()
pos = video = frames = 0
while pos + 8 <= len(d) and d[pos:pos+3] == b"\x00\x00\x01":
    t = d[pos+3]
    if t == 0xFC: n = struct.unpack_from("<I", d, pos + 12)[0]; video += n; frames += 1; pos += 16 + n
    elif t == 0xFD: n = struct.unpack_from("<I", d, pos + 4)[0]; video += n; frames += 1; pos += 8 + n
    elif t == 0xFA: pos += 8 + struct.unpack_from("<H", d, pos + 6)[0]
    else: break
print(int(video * 8 / (frames / float(sys.argv[2])) / 1000) if frames else 0)
'
# Prints "decoded rate" of the one recording of an image ($1): 1 when every
# frame decodes from format $2 as "codec,width,height" $3, and its video
# kbit/s at $4 frames a second.
one_recording() {
    local path got
    path=$("$cli" --image "$1" list | cut -f1 | head -1)
    "$cli" --image "$1" cat "$path" < /dev/null > "$tmp/one.bin" 2>/dev/null
    read -r frames _ _ _ _ bad < <(python3 -c "$frames_py" "$tmp/one.bin" "$tmp/one.es")
    got=$(ffprobe -v error </dev/null -f "$2" -count_frames -select_streams v:0 \
          -show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 "$tmp/one.es" 2>/dev/null)
    if [ "$bad" = 0 ] && [ "$got" = "$3,$frames" ] && \
       ffmpeg -nostdin -v error -xerror -f "$2" -i "$tmp/one.es" -f null - 2>/dev/null; then
        echo "1 $(python3 -c "$rate_py" "$tmp/one.bin" "$4")"
    else
        echo "0 0 ($got, $frames frames, bad $bad)"
    fi
}
real="--size 1024M --channels 1 --days 1 --per-day 1 --seconds 4 --size-video 640x360 --fps 25 --codec h265 --bitrate 1500 --seed 5"
"$mk" "$tmp/grain.img" $real --grain > /dev/null 2>&1
check "an H.265 disk with grain is made" "[ \$? -eq 0 ]"
check "its directory chains agree with its records and frames" "python3 -c \"\$chains_py\" '$tmp/grain.img'"
read -r grain_ok grain_rate < <(one_recording "$tmp/grain.img" hevc hevc,640,360 25)
echo "with grain: decodes $grain_ok, $grain_rate kbit/s of video"
check "H.265 with grain decodes frame for frame" "[ '$grain_ok' = 1 ]"
check "with grain the encoder spends the bit rate asked for (within 20 %)" \
    "[ '$grain_rate' -ge 1200 ] && [ '$grain_rate' -le 1800 ]"
"$mk" "$tmp/flat.img" $real > /dev/null 2>&1
read -r flat_ok flat_rate < <(one_recording "$tmp/flat.img" hevc hevc,640,360 25)
echo "without grain: decodes $flat_ok, $flat_rate kbit/s of video"
check "without grain the flat picture leaves the rate unused" "[ '$flat_ok' = 1 ] && [ \$((flat_rate * 10)) -lt \$((grain_rate * 8)) ]"
"$mk" "$tmp/grain2.img" $real --grain > /dev/null 2>&1
check "the same seed makes the same H.265 image with grain" "cmp -s '$tmp/grain.img' '$tmp/grain2.img'"
rm -f "$tmp/flat.img" "$tmp/grain2.img"

# 4K: a few pictures of 3840x2160 (H.265 at 8 Mbit/s), and H.264 at a bit
# rate whose pictures do not fit a recorder frame is refused with a reason.
"$mk" "$tmp/4k.img" --size 1024M --channels 1 --days 1 --per-day 1 --seconds 3 --size-video 3840x2160 --fps 3 \
    --codec h265 --bitrate 8000 --grain --no-audio > /dev/null 2>&1
check "a 3840x2160 H.265 disk is made" "[ \$? -eq 0 ]"
read -r uhd_ok _ < <(one_recording "$tmp/4k.img" hevc hevc,3840,2160 3)
check "its 3840x2160 pictures decode frame for frame" "[ '$uhd_ok' = 1 ]"
rm -f "$tmp/4k.img"
"$mk" "$tmp/x.img" --size 1024M --channels 1 --days 1 --per-day 1 --seconds 3 --size-video 3840x2160 --fps 1 \
    --bitrate 20000 --grain --no-audio > /dev/null 2> "$tmp/big.err"
check "pictures larger than a recorder frame are refused with a reason" \
    "[ \$? -eq 1 ] && grep -q 'does not fit a recorder frame' '$tmp/big.err' && [ ! -e '$tmp/x.img' ]"
rm -f "$tmp/x.img"
for bad in "--size-video 3842x2160" "--size-video 3840x2162" "--codec vp9" "--bitrate 10" "--bitrate 20001"; do
    "$mk" "$tmp/x.img" $bad > /dev/null 2>&1
    check "$bad is refused" "[ \$? -eq 2 ] && [ ! -e '$tmp/x.img' ]"
done

# ---------------------------------------------------------------- reproducible, refuses bad input
small="--size 1024M --channels 1 --days 1 --per-day 2 --seconds 4 --seed 11"
"$mk" "$tmp/r1.img" $small > /dev/null 2>&1
"$mk" "$tmp/r2.img" $small > /dev/null 2>&1
check "the same seed makes the same image" "cmp -s '$tmp/r1.img' '$tmp/r2.img'"
"$mk" "$tmp/r3.img" --size 1024M --channels 1 --days 1 --per-day 2 --seconds 4 --seed 12 > /dev/null 2>&1
check "another seed makes another image" "! cmp -s '$tmp/r1.img' '$tmp/r3.img'"

"$mk" "$tmp/x.img" --sec-per-clus 3000 > /dev/null 2>&1
check "3000 sectors per cluster is refused" "[ \$? -eq 2 ] && [ ! -e '$tmp/x.img' ]"
"$mk" "$tmp/x.img" --size 64M > /dev/null 2> "$tmp/small.err"
check "an image too small for the areas is refused with a reason and not left behind" \
    "[ \$? -eq 1 ] && grep -q 'too small' '$tmp/small.err' && [ ! -e '$tmp/x.img' ]"
"$mk" > /dev/null 2>&1
check "no output file is a usage error" "[ \$? -eq 2 ]"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
