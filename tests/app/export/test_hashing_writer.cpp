// The writer that hashes outputs as they are written: the digest is
// sha256sum's for files of many blocks written in uneven pieces (the hashing
// thread takes them in order), for a file smaller than a block and an empty
// one, for a writer used for a second file, and none for a file that is not
// whole on disk.
#include "app/export/jobs/HashingWriter.h"
#include "tests/app/export/ExportTestSupport.h"

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <random>

using namespace exporttest;

namespace {

std::vector<uint8_t> noise(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::vector<uint8_t> out(n);
    for (uint8_t &b : out)
        b = uint8_t(gen());
    return out;
}

// Writes bytes in pieces of the given sizes, cycling; answers the writer's hash.
QByteArray writeInPieces(CHashingWriter &w, const fs::path &p, const std::vector<uint8_t> &bytes,
                         const std::vector<size_t> &pieces)
{
    EXPECT_TRUE(w.open(QString::fromStdString(p.string())));
    size_t at = 0;
    for (size_t i = 0; at < bytes.size(); ++i) {
        const size_t n = std::min(pieces[i % pieces.size()], bytes.size() - at);
        EXPECT_TRUE(w.write(bytes.data() + at, n));
        at += n;
    }
    EXPECT_TRUE(w.close());
    EXPECT_EQ(w.bytes(), bytes.size());
    return w.hash();
}

TEST(HashingWriter, DigestsMatchSha256sumForAnySizeAndPieces)
{
    const fs::path dir = scratch("hashing_writer");
    CHashingWriter w;
    struct Case {
        size_t bytes;
        std::vector<size_t> pieces;
    } cases[] = {
        {13 * CHashingWriter::kBlockBytes + 12345, {512000}},          // more blocks than the pool holds
        {9 * CHashingWriter::kBlockBytes, {CHashingWriter::kBlockBytes}},  // exact blocks
        {3 * CHashingWriter::kBlockBytes + 7, {1, 17, 3000, 65536, 2 * CHashingWriter::kBlockBytes + 5}},
        {1000, {64}},                                                   // under one block
        {0, {1}},
    };
    int n = 0;
    for (const Case &c : cases) {
        const std::vector<uint8_t> bytes = noise(c.bytes, unsigned(n));
        const fs::path file = dir / ("f" + std::to_string(n++));
        const QByteArray hash = writeInPieces(w, file, bytes, c.pieces);  // one writer, file after file
        EXPECT_EQ(hash.toStdString(), sha256sumOf(file)) << c.bytes;
        EXPECT_TRUE(readFile(file) == bytes) << c.bytes;
    }
    fs::remove_all(dir);
}

TEST(HashingWriter, NoHashForAFileTheDiskDidNotTakeWhole)
{
    const fs::path dir = scratch("hashing_writer_full");
    const std::vector<uint8_t> bytes = noise(3 * CHashingWriter::kBlockBytes, 7);
    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit small = before;
    small.rlim_cur = CHashingWriter::kBlockBytes + 100;
    std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    CHashingWriter w;
    ASSERT_TRUE(w.open(QString::fromStdString((dir / "out").string())));
    bool all = true;
    for (size_t at = 0; at < bytes.size(); at += 65536)
        all = w.write(bytes.data() + at, 65536) && all;
    const bool whole = w.close();
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, SIG_DFL);
    // The file is shorter than what was handed over. The file stream
    // buffers, so a write may be taken and its flush fail later: then the
    // count does not match the file and no hash is claimed. Where the count
    // does match, the hash is the file's.
    EXPECT_FALSE(all && whole);
    const uint64_t size = fs::file_size(dir / "out");
    EXPECT_LT(size, bytes.size());
    if (w.bytes() != size) {
        EXPECT_FALSE(whole);
        EXPECT_TRUE(w.hash().isEmpty());
    } else {
        EXPECT_TRUE(whole);
        EXPECT_EQ(w.hash().toStdString(), sha256sumOf(dir / "out"));
    }
    fs::remove_all(dir);
}

}  // namespace
