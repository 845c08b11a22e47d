// CFSFile and CFSFileFind over real local files, and the prefix registry's
// routing.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/fs/CFSFile.h"
#include "app/fs/CFSFileFind.h"
#include "app/fs/FileSystemRegistry.h"

namespace {

class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/orvelle-fs-XXXXXX";
        m_path = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    std::string file(const std::string &name) const { return m_path + "/" + name; }
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

void write_file(const std::string &path, const std::string &data)
{
    std::ofstream(path, std::ios::binary) << data;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(CFSFileLocal, ReadSeekLengthAndPositions)
{
    TempDir dir;
    std::string data;
    for (int i = 0; i < 100000; ++i)
        data.push_back(static_cast<char>(i * 7));
    write_file(dir.file("a.bin"), data);

    CFSFile f;
    ASSERT_TRUE(f.Open(dir.file("a.bin").c_str(), CFSFile::modeRead));
    EXPECT_TRUE(f.IsOpen());
    EXPECT_EQ(f.GetFilePath(), dir.file("a.bin"));
    char buf[10];
    EXPECT_EQ(f.Read(buf, 10), 10u);
    EXPECT_EQ(f.GetLength(), data.size());
    EXPECT_EQ(f.GetPosition(), 10u);  // GetLength restores the position
    EXPECT_EQ(f.Seek(-3, SEEK_END), data.size() - 3);
    EXPECT_EQ(f.Read(buf, 10), 3u);
    EXPECT_EQ(std::memcmp(buf, data.data() + data.size() - 3, 3), 0);
    EXPECT_EQ(f.Seek(500, 7), 500u);  // an unknown whence is taken as 0
    EXPECT_EQ(f.Seek(-1000, SEEK_SET), 0u);  // a failed seek reports 0
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.Read(buf, 10), 0u);
    EXPECT_EQ(f.GetPosition(), 0u);
    EXPECT_EQ(f.ReadString(buf, 10), nullptr);
    EXPECT_EQ(f.WriteString("x"), 0);
}

TEST(CFSFileLocal, EmptyFileHasLengthZeroAndReadAllGivesNull)
{
    TempDir dir;
    write_file(dir.file("empty"), "");
    CFSFile f;
    ASSERT_TRUE(f.Open(dir.file("empty").c_str(), CFSFile::modeRead));
    EXPECT_EQ(f.GetLength(), 0u);
    EXPECT_EQ(f.GetPosition(), 0u);
    f.Close();
    EXPECT_EQ(f.ReadAll(dir.file("empty").c_str()), nullptr);
    EXPECT_EQ(f.ReadAll(dir.file("missing").c_str()), nullptr);
}

TEST(CFSFileLocal, ReadAllKeepsTheWholeFile)
{
    TempDir dir;
    std::string data(300000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i % 251);
    write_file(dir.file("b.bin"), data);
    CFSFile f;
    const uint8_t *p = f.ReadAll(dir.file("b.bin").c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.GetBufferLength(), data.size());
    EXPECT_EQ(f.GetLength(), data.size());
    EXPECT_EQ(std::memcmp(p, data.data(), data.size()), 0);
    f.FreeBuffer();
    EXPECT_EQ(f.GetBufferLength(), 0u);
}

TEST(CFSFileLocal, WriteModesCreateTruncateAppendAndNeverCreateOnReadWrite)
{
    TempDir dir;
    std::string p = dir.file("w.bin");
    CFSFile f;
    // Read-write without create does not create a missing file.
    EXPECT_FALSE(f.Open(p.c_str(), CFSFile::modeReadWrite));
    EXPECT_NE(access(p.c_str(), F_OK), 0);
    // Write without create does not create either.
    EXPECT_FALSE(f.Open(p.c_str(), CFSFile::modeWrite));

    ASSERT_TRUE(f.Open(p.c_str(), CFSFile::modeWrite | CFSFile::modeCreate));
    EXPECT_EQ(f.Write("hello world", 11), 11u);
    f.Close();
    EXPECT_EQ(read_file(p), "hello world");

    // Create with truncation replaces the content.
    ASSERT_TRUE(f.Open(p.c_str(), CFSFile::modeWrite | CFSFile::modeCreate));
    EXPECT_EQ(f.Write("abc", 3), 3u);
    f.Close();
    EXPECT_EQ(read_file(p), "abc");

    // Do-not-truncate appends.
    ASSERT_TRUE(f.Open(p.c_str(), CFSFile::modeWrite | CFSFile::modeCreate | CFSFile::modeNoTruncate));
    EXPECT_GE(f.WriteString("def"), 0);
    f.Flush();
    f.Close();
    EXPECT_EQ(read_file(p), "abcdef");

    // A new file gets read-write permission for the owner.
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IRUSR);
    EXPECT_TRUE(st.st_mode & S_IWUSR);

    // Reopening an open object closes the old stream first.
    ASSERT_TRUE(f.Open(p.c_str(), CFSFile::modeRead));
    ASSERT_TRUE(f.Open(p.c_str(), CFSFile::modeRead));
    char line[16] = {};
    ASSERT_NE(f.ReadString(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "abcdef");
}

TEST(CFSFileLocal, PathOperations)
{
    TempDir dir;
    std::string sub = dir.file("sub");
    EXPECT_TRUE(CFSFile::MakeDirectory(sub.c_str()));
    EXPECT_FALSE(CFSFile::MakeDirectory(sub.c_str()));
    write_file(sub + "/x", "1");
    EXPECT_TRUE(CFSFile::Access((sub + "/x").c_str(), F_OK));
    EXPECT_TRUE(CFSFile::Rename((sub + "/x").c_str(), (sub + "/y").c_str()));
    EXPECT_FALSE(CFSFile::Access((sub + "/x").c_str(), F_OK));
    EXPECT_FALSE(CFSFile::RemoveDirectory(sub.c_str()));  // not empty
    EXPECT_TRUE(CFSFile::Remove((sub + "/y").c_str()));
    EXPECT_TRUE(CFSFile::RemoveDirectory(sub.c_str()));
    uint64_t freeb = 0, total = 0, free2 = 0;
    EXPECT_TRUE(CFSFile::DiskSpace(dir.path().c_str(), &freeb, &total, &free2));
    EXPECT_GT(total, 0u);
    EXPECT_LE(freeb, total);
}

TEST(CFSFileFindLocal, ListsMatchingEntriesWithAttributes)
{
    TempDir dir;
    write_file(dir.file("one.h264"), std::string(4096, 'a'));
    write_file(dir.file("two.h264"), "b");
    write_file(dir.file("other.txt"), "c");
    mkdir(dir.file("folder.h264").c_str(), 0755);
    write_file(dir.file(".hidden.h264"), "d");

    CFSFileFind find;
    std::set<std::string> names;
    ASSERT_TRUE(find.FindFile((dir.path() + "/*.h264").c_str()));
    EXPECT_EQ(find.GetRoot(), dir.path() + "/");
    do {
        std::string n = find.GetFileName();
        names.insert(n);
        if (n == "one.h264") {
            EXPECT_EQ(find.GetLength(), 4u);
            EXPECT_TRUE(find.IsNormal());
        }
        if (n == "folder.h264") {
            EXPECT_TRUE(find.IsDirectory());
        }
        if (n == ".hidden.h264") {
            EXPECT_TRUE(find.IsHidden());
        }
    } while (find.FindNextFile());
    find.Close();
    EXPECT_EQ(names, (std::set<std::string>{"one.h264", "two.h264", "folder.h264", ".hidden.h264"}));
    EXPECT_FALSE(find.FindNextFile());
    EXPECT_FALSE(find.FindFile((dir.path() + "/*.none").c_str()));
    EXPECT_FALSE(find.FindFile("/nonexistent-dir-orvelle/*"));
}

// A file system that records which paths reached it.
static std::vector<std::string> g_opened;
static int g_dummy_stream;
static void *fake_open(const char *path, const char *)
{
    g_opened.push_back(path);
    return &g_dummy_stream;
}
static int fake_close(void *) { return 0; }
static size_t fake_read(void *buf, size_t size, size_t count, void *)
{
    std::memset(buf, 'z', size * count);
    return count;
}

TEST(FileSystemRegistry, RoutesByPrefixOverItsLengthAndFillsUp)
{
    FileSystemOps fake = *OsFileSystemOps();
    fake.open = fake_open;
    fake.close = fake_close;
    fake.read = fake_read;

    // Local paths use the local table until something is registered.
    EXPECT_EQ(FindFileSystem("/orvfake/a").open, OsFileSystemOps()->open);
    int first = RegisterFileSystem("/orvfake", &fake);
    ASSERT_GE(first, 1);
    EXPECT_EQ(FindFileSystem("/orvfake/x").open, fake_open);
    EXPECT_EQ(FindFileSystem("/orvfakeZZ").open, fake_open);  // compared over the prefix only
    EXPECT_EQ(FindFileSystem("/orvfak").open, OsFileSystemOps()->open);

    CFSFile f;
    ASSERT_TRUE(f.Open("/orvfake/rec.h264", CFSFile::modeRead));
    char buf[4];
    EXPECT_EQ(f.Read(buf, 4), 4u);
    EXPECT_EQ(buf[3], 'z');
    ASSERT_FALSE(g_opened.empty());
    EXPECT_EQ(g_opened.back(), "/orvfake/rec.h264");

    // Prefixes that do not fit are refused rather than cut.
    EXPECT_EQ(RegisterFileSystem(std::string(32, 'p').c_str(), &fake), -1);
    EXPECT_EQ(RegisterFileSystem("", &fake), -1);

    // Registering again takes further entries until all 31 are used.
    int taken = 1;
    while (RegisterFileSystem("/orvfake", &fake) != -1)
        ++taken;
    EXPECT_EQ(taken, kFileSystemEntries - first + 1);
    EXPECT_EQ(RegisterFileSystem("/another", &fake), -1);

    // Clearing frees the entries; an open file keeps its copy of the table.
    EXPECT_EQ(RegisterFileSystem("/orvfake", nullptr), 0);
    EXPECT_EQ(FindFileSystem("/orvfake/x").open, OsFileSystemOps()->open);
    EXPECT_EQ(f.Read(buf, 4), 4u);
    f.Close();
}

TEST(CFSFileLocal, ConcurrentReadersShareTheCriticalSection)
{
    TempDir dir;
    std::string data(1 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 31) >> 3);
    write_file(dir.file("c.bin"), data);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            CFSFile f;
            if (!f.Open(dir.file("c.bin").c_str(), CFSFile::modeRead)) {
                ++mismatches;
                return;
            }
            std::string got;
            char buf[7777];
            size_t n;
            while ((n = f.Read(buf, sizeof buf)) > 0)
                got.append(buf, n);
            if (got != data)
                ++mismatches;
        });
    }
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(mismatches.load(), 0);
}
