// Feeds a play port from a local file, on a thread of its own: a raw
// recording (an export, a cut, a clip) frame by frame, or an MP4 file whose
// video packets are wrapped as recording frames. The feeder waits while the
// port's buffer is full, tells the port when the file ends, and moves to a
// position in percent on request.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace media {

class PlayPort;

class FileFeeder {
public:
    FileFeeder(std::shared_ptr<PlayPort> port, std::string path);
    ~FileFeeder();
    FileFeeder(const FileFeeder &) = delete;
    FileFeeder &operator=(const FileFeeder &) = delete;

    // Checks that the file opens as a raw recording or an MP4 file.
    bool open();
    void start();
    void stop();
    void seekPercent(int percent);

private:
    void run();
    void runRaw();
    void runMp4();
    bool takeSeek(int *percent);
    void waitForSeekOrStop();

    std::shared_ptr<PlayPort> m_port;
    std::string m_path;
    bool m_mp4 = false;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_seek = -1;
    bool m_started = false;
    std::atomic<bool> m_stop{false};
};

}  // namespace media
