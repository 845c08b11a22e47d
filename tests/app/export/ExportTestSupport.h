// Helpers shared by the export and cut tests: a scratch folder, recording
// paths of built images, the frames a cut must write, programs run to read
// results back.
#pragma once

#include "tests/support/image/image_builder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace exporttest {

namespace fs = std::filesystem;

inline fs::path scratch(const std::string &tag)
{
    fs::path dir = fs::temp_directory_path() / ("orvelle_" + tag + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// The recording's path as the disk page names it.
inline std::string recordPath(const testimg::ManifestRecording &r)
{
    static const char *const letters = "RAMCHISFNKGUPTBV";
    testimg::CivilTime s = testimg::unpack_time(r.start_time), e = testimg::unpack_time(r.end_time);
    char buf[160];
    std::snprintf(buf, sizeof buf, "/mnt/ide%c%u/%04d-%02d-%02d/%03u/%02d.%02d.%02d-%02d.%02d.%02d[%c][@%x][%u].h264",
                  'a' + r.disk, r.partition, s.year, s.month, s.day, r.channel, s.hour, s.minute, s.second, e.hour,
                  e.minute, e.second, r.alarm < 16 ? letters[r.alarm] : 'R', r.first_cluster, r.stream_type);
    return buf;
}

// What reading the recording returns: its bytes after the stream header.
inline std::vector<uint8_t> readable(const testimg::ManifestRecording &r)
{
    std::vector<uint8_t> all = r.expected_bytes();
    all.erase(all.begin(), all.begin() + std::min<size_t>(r.header_bytes, all.size()));
    return all;
}

// The frames of a recorder stream (00 00 01 FC/FD/FA), each with the packed
// time of the key frame that opened its group (0 before the first one).
struct StreamFrameRef {
    size_t offset;
    size_t length;
    uint32_t group_time;
};

inline std::vector<StreamFrameRef> walkFrames(const std::vector<uint8_t> &s)
{
    std::vector<StreamFrameRef> out;
    uint32_t group = 0;
    size_t i = 0;
    auto le32 = [&](size_t at) {
        return uint32_t(s[at]) | uint32_t(s[at + 1]) << 8 | uint32_t(s[at + 2]) << 16 | uint32_t(s[at + 3]) << 24;
    };
    while (i + 8 <= s.size()) {
        if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1) {
            ++i;
            continue;
        }
        size_t len = 0;
        if (s[i + 3] == 0xFC && i + 16 <= s.size()) {
            group = le32(i + 8);
            len = 16 + le32(i + 12);
        } else if (s[i + 3] == 0xFD) {
            len = 8 + le32(i + 4);
        } else if (s[i + 3] == 0xFA) {
            len = 8 + (size_t(s[i + 6]) | size_t(s[i + 7]) << 8);
        } else {
            ++i;
            continue;
        }
        if (i + len > s.size())
            break;
        out.push_back({i, len, group});
        i += len;
    }
    return out;
}

// The bytes a cut of [from, to] (packed times) must write.
inline std::vector<uint8_t> framesInRange(const std::vector<uint8_t> &stream, uint32_t from, uint32_t to,
                                          size_t *count = nullptr)
{
    std::vector<uint8_t> out;
    size_t n = 0;
    for (const StreamFrameRef &f : walkFrames(stream)) {
        if (f.group_time != 0 && f.group_time >= from && f.group_time <= to) {
            out.insert(out.end(), stream.begin() + f.offset, stream.begin() + f.offset + f.length);
            ++n;
        }
    }
    if (count)
        *count = n;
    return out;
}

inline std::vector<uint8_t> readFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool writeFile(const fs::path &p, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

struct CmdResult {
    int status = -1;
    std::string out;
};

// Runs a shell command; standard output is collected, standard error dropped.
inline CmdResult run(const std::string &cmd)
{
    CmdResult r;
    FILE *p = popen((cmd + " 2>/dev/null").c_str(), "r");
    if (!p)
        return r;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

inline std::string quote(const std::string &s) { return "'" + s + "'"; }

// Codec name and frame count of the first video stream, as ffprobe reads it.
inline std::string probeVideo(const fs::path &p)
{
    return run("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=codec_name,nb_read_frames "
               "-of csv=p=0 " + quote(p.string())).out;
}

// The hash sha256sum computes for a file ("" when it cannot).
inline std::string sha256sumOf(const fs::path &p)
{
    const std::string out = run("sha256sum " + quote(p.string())).out;
    return out.size() >= 64 ? out.substr(0, 64) : std::string();
}

// Exit status of `sha256sum -c --strict SHA256SUMS` run in the folder.
inline int sha256sumCheck(const fs::path &dir)
{
    return run("cd " + quote(dir.string()) + " && sha256sum -c --strict --quiet SHA256SUMS").status;
}

// The paths SHA256SUMS lists, in file order.
inline std::vector<std::string> listedPaths(const fs::path &dir)
{
    std::vector<std::string> paths;
    std::ifstream in(dir / "SHA256SUMS");
    std::string line;
    while (std::getline(in, line))
        if (line.size() > 66)
            paths.push_back(line.substr(66));
    return paths;
}

// The report-*.json files of a folder, by name.
inline QStringList reportFiles(const fs::path &dir, const char *ext = "json")
{
    return QDir(QString::fromStdString(dir.string()))
        .entryList({QStringLiteral("report-*.") + QLatin1String(ext)}, QDir::Files, QDir::Name);
}

// The newest report of a folder, parsed (empty when none parses). Names of
// one second sort "report-X.json" before "report-X-2.json": by length first.
inline QJsonObject newestReport(const fs::path &dir)
{
    QStringList names = reportFiles(dir);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return a.left(22) != b.left(22) ? a < b : (a.size() != b.size() ? a.size() < b.size() : a < b);
    });
    if (names.isEmpty())
        return QJsonObject();
    QFile f(QString::fromStdString((dir / names.last().toStdString()).string()));
    if (!f.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(f.readAll()).object();
}

}  // namespace exporttest
