// The program's MP4 converter and `orvelle-cli convert`, on real encoded
// recordings; results are read back by ffprobe.
#include "app/export/jobs/ConvertToMp4.h"
#include "tests/support/media/TestStream.h"

#include <gtest/gtest.h>

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ProgressLog {
    std::mutex mutex;
    std::vector<int> values;
    static void record(int percent, void *user)
    {
        auto *self = static_cast<ProgressLog *>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->values.push_back(percent * 10);  // as the dialogs scale it
    }
};

std::string run(const std::string &cmd)
{
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int status = pclose(p);
    if (status != 0)
        out += "\nEXIT " + std::to_string(status);
    return out;
}

class ConvertToMp4 : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("orvelle_conv_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    QString qpath(const std::string &name) const { return QString::fromStdString((dir / name).string()); }
    std::string path(const std::string &name) const { return (dir / name).string(); }
    fs::path dir;
};

TEST_F(ConvertToMp4, ReportsProgressAndSucceeds)
{
    testmedia::StreamParams p;
    p.seconds = 3;
    p.audio = true;
    ASSERT_TRUE(testmedia::writeFile(path("rec.h264"), testmedia::makeRecording(p).data));

    ProgressLog log;
    CConvertToMp4 *conv = CConvertToMp4::instance();
    EXPECT_EQ(conv, CConvertToMp4::instance());
    conv->SetProgressReceiver(&ProgressLog::record, &log);
    EXPECT_TRUE(conv->ConvertH264ToMp4(qpath("rec.h264"), qpath("rec.mp4")));
    conv->SetProgressReceiver(nullptr, nullptr);
    ASSERT_FALSE(log.values.empty());
    EXPECT_EQ(log.values.back(), 1000);
    EXPECT_TRUE(fs::exists(path("rec.mp4")));

    // A source that cannot be read fails, and cancelling while nothing runs
    // changes nothing for the next conversion.
    EXPECT_FALSE(conv->ConvertH264ToMp4(qpath("missing.h264"), qpath("missing.mp4")));
    conv->Cancel();
    EXPECT_TRUE(conv->ConvertH264ToMp4(qpath("rec.h264"), qpath("rec2.mp4")));
}

TEST_F(ConvertToMp4, CancelFromAnotherThreadEndsTheWaitWithFalse)
{
    testmedia::StreamParams p;
    p.seconds = 10;
    testmedia::Recording rec = testmedia::makeRecording(p);
    std::vector<uint8_t> big;
    for (int i = 0; i < 3; ++i)
        big.insert(big.end(), rec.data.begin(), rec.data.end());
    ASSERT_TRUE(testmedia::writeFile(path("big.h264"), big));

    // Hold the conversion in its first progress report until the cancel is
    // under way, so the cancel always meets a running conversion.
    struct Gate {
        std::atomic<bool> reported{false};
        std::atomic<bool> cancelling{false};
    } gate;
    CConvertToMp4 *conv = CConvertToMp4::instance();
    conv->SetProgressReceiver(
        [](int, void *user) {
            auto *g = static_cast<Gate *>(user);
            g->reported = true;
            for (int i = 0; i < 500 && !g->cancelling; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        },
        &gate);
    std::thread canceller([&] {
        while (!gate.reported)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        gate.cancelling = true;
        conv->Cancel();
    });
    bool ok = conv->ConvertH264ToMp4(qpath("big.h264"), qpath("big.mp4"));
    canceller.join();
    conv->SetProgressReceiver(nullptr, nullptr);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(fs::exists(path("big.mp4")));
    EXPECT_FALSE(fs::exists(path("big.mp4.part")));
}

TEST_F(ConvertToMp4, Mp4NameReplacesOnlyTheFinalExtension)
{
    EXPECT_EQ(CConvertToMp4::Mp4PathFor("/data/h264_out/a.h264"), "/data/h264_out/a.mp4");
    EXPECT_EQ(CConvertToMp4::Mp4PathFor("/x.h264/20230501_10.00.00_10.05.00.h264"),
              "/x.h264/20230501_10.00.00_10.05.00.mp4");
    EXPECT_EQ(CConvertToMp4::Mp4PathFor("/data/clip_001"), "/data/clip_001.mp4");
    EXPECT_EQ(CConvertToMp4::Mp4PathFor("/data/.h264"), "/data/.h264.mp4");
}

TEST_F(ConvertToMp4, CommandLineOutputReadsBackWithFfprobe)
{
    testmedia::StreamParams p;
    p.width = 640;
    p.height = 360;
    p.fps = 20;
    p.seconds = 5;
    p.audio = true;
    testmedia::Recording rec = testmedia::makeRecording(p);
    ASSERT_TRUE(testmedia::writeFile(path("cli.h264"), rec.data));
    const std::string cli = std::string(ORVELLE_BINARY_DIR) + "/orvelle-cli";
    ASSERT_TRUE(fs::exists(cli));

    std::string out = run(cli + " convert " + path("cli.h264") + " 2>" + path("err.txt"));
    EXPECT_EQ(out, path("cli.mp4") + "\n");
    std::string err = run("cat " + path("err.txt"));
    EXPECT_NE(err.find("100%"), std::string::npos) << err;

    std::string probe = run("ffprobe -v error -count_frames -show_entries "
                            "stream=codec_name,width,height,nb_read_frames:format=duration -of default=nw=1 " +
                            path("cli.mp4"));
    EXPECT_NE(probe.find("codec_name=h264"), std::string::npos) << probe;
    EXPECT_NE(probe.find("width=640"), std::string::npos) << probe;
    EXPECT_NE(probe.find("height=360"), std::string::npos) << probe;
    EXPECT_NE(probe.find("nb_read_frames=100"), std::string::npos) << probe;
    EXPECT_NE(probe.find("codec_name=aac"), std::string::npos) << probe;
    size_t d = probe.find("duration=");
    ASSERT_NE(d, std::string::npos);
    EXPECT_NEAR(std::stod(probe.substr(d + 9)), 5.0, 1.0 / 20) << probe;

    // Failures give status 1 and no output file.
    out = run(cli + " convert " + path("nothing.h264") + " " + path("nothing.mp4") + " 2>/dev/null");
    EXPECT_NE(out.find("EXIT"), std::string::npos);
    EXPECT_FALSE(fs::exists(path("nothing.mp4")));
}

}  // namespace
