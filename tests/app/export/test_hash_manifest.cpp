// "SHA256SUMS" against the real sha256sum: the digests, the lines it writes
// and checks (awkward names included), lines replaced in place, foreign
// lines kept, and the folder check with its states, progress and stop.
#include "app/export/jobs/HashManifest.h"
#include "app/export/jobs/Sha256.h"
#include "tests/app/export/ExportTestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace exporttest;

namespace {

std::vector<uint8_t> randomBytes(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v)
        b = uint8_t(gen());
    return v;
}

// sha256sum's digest of a file.
std::string toolDigest(const fs::path &p)
{
    return run("sha256sum " + quote(p.string())).out.substr(0, 64);
}

QByteArray qhex(const std::string &s) { return QByteArray::fromStdString(s); }

class Manifest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch(std::string("manifest_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { fs::remove_all(dir); }

    // Writes a file below the folder and lists it with the hash of its bytes.
    void addFile(HashManifest &m, const std::string &rel, const std::vector<uint8_t> &bytes)
    {
        fs::create_directories((dir / rel).parent_path());
        ASSERT_TRUE(writeFile(dir / rel, bytes));
        ASSERT_TRUE(m.set(QString::fromStdString(rel), CSha256::of(bytes.data(), bytes.size())));
    }
    // `sha256sum -c` in the folder: its status.
    int toolCheck() { return run("cd " + quote(dir.string()) + " && sha256sum --strict -c SHA256SUMS").status; }
    std::string manifestText()
    {
        const std::vector<uint8_t> b = readFile(dir / "SHA256SUMS");
        return std::string(b.begin(), b.end());
    }
    QString qdir() const { return QString::fromStdString(dir.string()); }

    fs::path dir;
};

TEST(Sha256, DigestsEqualSha256sumAcrossBlockBoundariesAndPieces)
{
    const fs::path dir = scratch("sha256");
    // Sizes around SHA-256's 64-byte block and its 56-byte length limit.
    for (size_t n : {size_t(0), size_t(1), size_t(55), size_t(56), size_t(63), size_t(64), size_t(65),
                     size_t(3 * 1024 * 1024 + 7)}) {
        const std::vector<uint8_t> bytes = randomBytes(n, unsigned(n));
        ASSERT_TRUE(writeFile(dir / "f", bytes));
        const std::string expected = toolDigest(dir / "f");
        EXPECT_EQ(CSha256::of(bytes.data(), bytes.size()).toStdString(), expected) << n;
        // Fed in uneven pieces, and a second stream after finish().
        CSha256 sha;
        sha.add("junk", 4);
        sha.finish();
        for (size_t at = 0; at < n;) {
            const size_t piece = std::min<size_t>(n - at, 1 + (at * 7919) % 100003);
            sha.add(bytes.data() + at, piece);
            at += piece;
        }
        EXPECT_EQ(sha.bytes(), n);
        EXPECT_EQ(sha.finish().toStdString(), expected) << n;
        const HashFileResult file = HashFile(QString::fromStdString((dir / "f").string()));
        EXPECT_TRUE(file.bOk);
        EXPECT_EQ(file.nBytes, qint64(n));
        EXPECT_EQ(file.hash.toStdString(), expected);
    }
    // Not a regular file: a clear error, no hang on a pipe.
    ASSERT_EQ(run("mkfifo " + quote((dir / "pipe").string())).status, 0);
    const HashFileResult pipe = HashFile(QString::fromStdString((dir / "pipe").string()));
    EXPECT_FALSE(pipe.bOk);
    EXPECT_FALSE(pipe.strError.isEmpty());
    EXPECT_FALSE(HashFile(QString::fromStdString((dir / "none").string())).bOk);
    fs::remove_all(dir);
}

TEST_F(Manifest, Sha256sumChecksWhatWeWriteAndWeReadWhatItWrites)
{
    // Names sha256sum has to escape, and names that look like its syntax.
    const std::vector<std::string> names = {
        "idea0/2024-05-01/000/10.00.00-10.05.00[R][@1a][0].h264",
        "back\\slash.h264",
        "new\nline.h264",
        "carriage\rreturn.h264",
        " leading space.h264",
        "*star.h264",
        "two  spaces.h264",
        "\xe5\xbd\x95\xe5\x83\x8f/\xd0\xb7\xd0\xb0\xd0\xbf\xd0\xb8\xd1\x81\xd1\x8c.h264",  // UTF-8
    };
    HashManifest m(qdir());
    ASSERT_TRUE(m.load());
    EXPECT_FALSE(m.exists());
    unsigned seed = 1;
    for (const std::string &n : names) {
        addFile(m, n, randomBytes(1000 + seed * 37, seed));
        ++seed;
    }
    ASSERT_TRUE(m.save());
    EXPECT_EQ(toolCheck(), 0) << manifestText();

    // What sha256sum writes for the same files reads back as the same list.
    ASSERT_EQ(run("cd " + quote(dir.string()) + " && find . -type f ! -name SHA256SUMS -printf '%P\\0' | "
                  "sort -z | xargs -0 sha256sum -- > ../tool_sums_" + dir.filename().string()).status, 0);
    const fs::path toolSums = dir.parent_path() / ("tool_sums_" + dir.filename().string());
    fs::rename(toolSums, dir / "SHA256SUMS");
    HashManifest back(qdir());
    ASSERT_TRUE(back.load());
    EXPECT_EQ(back.malformedLines(), 0);
    ASSERT_EQ(back.entries().size(), int(names.size()));
    for (const std::string &n : names)
        EXPECT_EQ(back.hashOf(QString::fromStdString(n)), m.hashOf(QString::fromStdString(n))) << n;
}

TEST_F(Manifest, ALaterWriteReplacesItsLineAndForeignLinesStay)
{
    {
        HashManifest m(qdir());
        addFile(m, "a/one.h264", randomBytes(100, 1));
        addFile(m, "a/two.h264", randomBytes(200, 2));
        ASSERT_TRUE(m.save());
    }
    // Another tool's lines: a comment-like line and a binary-mode line.
    {
        std::ofstream out(dir / "SHA256SUMS", std::ios::app | std::ios::binary);
        out << "# made by hand\n";
        const std::vector<uint8_t> three = randomBytes(300, 3);
        writeFile(dir / "three.bin", three);
        out << CSha256::of(three.data(), three.size()).toUpper().toStdString() << " *three.bin\r\n";
    }
    // The first file is exported again with other bytes, a new one is added.
    ASSERT_TRUE(HashManifest::update(qdir(), [&](HashManifest &m) {
        addFile(m, "a/one.h264", randomBytes(150, 9));
        addFile(m, "b/four.h264", randomBytes(400, 4));
    }));
    const std::string text = manifestText();
    std::vector<std::string> lines;
    for (size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(text.substr(at, nl - at));
    ASSERT_EQ(lines.size(), 5u) << text;
    EXPECT_EQ(lines[0], toolDigest(dir / "a/one.h264") + "  a/one.h264");  // replaced in place
    EXPECT_EQ(lines[2], "# made by hand");
    EXPECT_EQ(lines[3], toolDigest(dir / "three.bin") + "  three.bin");
    EXPECT_EQ(lines[4], toolDigest(dir / "b/four.h264") + "  b/four.h264");
    EXPECT_EQ(run("cd " + quote(dir.string()) + " && sha256sum -c SHA256SUMS").status, 0);

    HashManifest m(qdir());
    ASSERT_TRUE(m.load());
    EXPECT_EQ(m.malformedLines(), 1);
    // Paths sha256sum would not find as the same file are refused.
    for (const char *bad : {"", "/etc/passwd", "../x", "a//b", "./a", "a/../b"})
        EXPECT_FALSE(m.set(QString::fromUtf8(bad), qhex(std::string(64, 'a')))) << bad;
    EXPECT_FALSE(m.set("ok", "abc"));
    EXPECT_TRUE(m.remove("a/two.h264"));
    EXPECT_FALSE(m.remove("a/two.h264"));
    ASSERT_TRUE(m.save());
    EXPECT_EQ(manifestText().find("two.h264"), std::string::npos);
}

TEST_F(Manifest, AManifestLeftWithoutLinesIsRemovedAndAnUnwritableOneIsReported)
{
    HashManifest m(qdir());
    addFile(m, "x.h264", randomBytes(10, 1));
    ASSERT_TRUE(m.save());
    EXPECT_TRUE(m.remove("x.h264"));
    ASSERT_TRUE(m.save());
    EXPECT_FALSE(fs::exists(dir / "SHA256SUMS"));

    // A folder where the manifest should be: reading and updating say why.
    fs::create_directories(dir / "SHA256SUMS");
    QString error;
    EXPECT_FALSE(HashManifest::update(qdir(), [](HashManifest &h) { h.set("y", QByteArray(64, 'b')); }, &error));
    EXPECT_FALSE(error.isEmpty());
    const HashManifest::CheckResult r = HashManifest::verify(qdir());
    EXPECT_TRUE(r.bFound);
    EXPECT_FALSE(r.bReadable);
    EXPECT_FALSE(r.allOk());
}

TEST_F(Manifest, VerifyNamesEachFileThatIsMissingDiffersOrCannotBeRead)
{
    HashManifest m(qdir());
    addFile(m, "ok.h264", randomBytes(3 << 20, 1));
    addFile(m, "sub/changed.h264", randomBytes(5000, 2));
    addFile(m, "gone.h264", randomBytes(10, 3));
    addFile(m, "pipe", {});
    ASSERT_TRUE(m.save());
    {
        std::ofstream out(dir / "SHA256SUMS", std::ios::app | std::ios::binary);
        out << std::string(64, 'c') << "  ../outside\n";
    }
    // One flipped byte, one file removed, a pipe where a file was.
    std::vector<uint8_t> changed = readFile(dir / "sub/changed.h264");
    changed[2500] ^= 0x01;
    writeFile(dir / "sub/changed.h264", changed);
    fs::remove(dir / "gone.h264");
    // The real tool agrees that the folder fails.
    EXPECT_EQ(run("cd " + quote(dir.string()) + " && sha256sum -c SHA256SUMS").status, 1);
    fs::remove(dir / "pipe");
    ASSERT_EQ(run("mkfifo " + quote((dir / "pipe").string())).status, 0);

    std::vector<HashManifest::CheckProgress> seen;
    const HashManifest::CheckResult r =
        HashManifest::verify(qdir(), [&](const HashManifest::CheckProgress &p) { seen.push_back(p); });
    ASSERT_TRUE(r.bFound && r.bReadable);
    EXPECT_FALSE(r.bStopped);
    EXPECT_FALSE(r.allOk());
    ASSERT_EQ(r.files.size(), 5);
    EXPECT_EQ(r.files[0].state, HashManifest::FileOk);
    EXPECT_EQ(r.files[0].nBytes, 3 << 20);
    EXPECT_EQ(r.files[1].state, HashManifest::FileDiffers);
    EXPECT_EQ(r.files[1].actual.toStdString(), toolDigest(dir / "sub/changed.h264"));
    EXPECT_EQ(r.files[2].state, HashManifest::FileMissing);
    EXPECT_EQ(r.files[3].state, HashManifest::FileUnreadable);
    EXPECT_EQ(r.files[4].state, HashManifest::FileUnreadable);
    EXPECT_EQ(r.problems().size(), 4);

    // Progress: every file announced, bytes never go back, and reach the total.
    ASSERT_FALSE(seen.empty());
    for (size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GE(seen[i].nBytesDone, seen[i - 1].nBytesDone);
        EXPECT_GE(seen[i].nFile, seen[i - 1].nFile);
    }
    EXPECT_EQ(seen.back().nFiles, 5);
    EXPECT_EQ(seen.front().nBytesTotal, (3 << 20) + 5000);
    EXPECT_GE(seen.back().nBytesDone, (3 << 20) + 5000);

    // A stop ends the check early and is said so.
    std::atomic<bool> stop{false};
    const HashManifest::CheckResult s = HashManifest::verify(
        qdir(), [&](const HashManifest::CheckProgress &p) { stop = p.nBytesDone > 0; }, &stop);
    EXPECT_TRUE(s.bStopped);
    EXPECT_FALSE(s.allOk());
    EXPECT_LT(s.files.size(), 5);

    // A folder without a manifest.
    fs::remove(dir / "SHA256SUMS");
    const HashManifest::CheckResult none = HashManifest::verify(qdir());
    EXPECT_FALSE(none.bFound);
    EXPECT_FALSE(none.allOk());
}

}  // namespace
