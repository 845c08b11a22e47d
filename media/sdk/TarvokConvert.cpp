// The conversion calls: each conversion runs on a worker thread of its own
// and reports through the receiver given at its start.
#include "media/sdk/Tarvok.h"
#include "media/sdk/TarvokState.h"

#include "media/convert/Mp4Converter.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

struct ConvertJob {
    int handle = 0;
    TVMessageReceiver receiver{0, nullptr, nullptr};
    std::string src;
    std::string dst;
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    std::thread::id worker;

    void send(int msg, int64_t p1)
    {
        if (receiver.pfnCallback)
            receiver.pfnCallback(handle, msg, p1, 0, 0, "", nullptr, nullptr, nullptr, receiver.pUser);
    }
};

struct JobTable {
    std::mutex mutex;
    std::map<int, std::shared_ptr<ConvertJob>> jobs;
    int next = 1;
};

JobTable &jobs()
{
    static JobTable *t = new JobTable;  // workers may outlive static destruction
    return *t;
}

void run_job(const std::shared_ptr<ConvertJob> &job)
{
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        job->worker = std::this_thread::get_id();
    }
    int r = media::convert_recording_to_mp4(job->src, job->dst, job->cancel,
                                            [&job](int percent) { job->send(EUIMSG_COVERT_FILE_PROCESS, percent); });
    if (r == 0) {
        job->send(EUIMSG_COVERT_FILE_PROCESS, 100);
        job->send(EUIMSG_COVERT_FILE_RESULT, 0);
    } else {
        job->send(EUIMSG_COVERT_FILE_RESULT, r);
    }
    {
        JobTable &t = jobs();
        std::lock_guard<std::mutex> lock(t.mutex);
        t.jobs.erase(job->handle);
    }
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        job->done = true;
    }
    job->cv.notify_all();
}

}  // namespace

int TVPLAY_StartConvertFile(const TVMessageReceiver *receiver, const char *szSrcPath, const char *szDstPath,
                            const char *)
{
    if (!szSrcPath || !szDstPath || !*szSrcPath || !*szDstPath)
        return -1;
    auto job = std::make_shared<ConvertJob>();
    job->receiver = receiver && receiver->pfnCallback ? *receiver : tvsdk::fallback_receiver();
    job->src = szSrcPath;
    job->dst = szDstPath;
    {
        JobTable &t = jobs();
        std::lock_guard<std::mutex> lock(t.mutex);
        int id = t.next;
        while (t.jobs.count(id))
            id = id >= (1 << 30) ? 1 : id + 1;
        t.next = id >= (1 << 30) ? 1 : id + 1;
        job->handle = id;
        t.jobs[id] = job;
    }
    try {
        std::thread([job] { run_job(job); }).detach();
    } catch (...) {
        JobTable &t = jobs();
        std::lock_guard<std::mutex> lock(t.mutex);
        t.jobs.erase(job->handle);
        return -1;
    }
    return job->handle;
}

int TVPLAY_CancelConvertFile(int nHandle)
{
    std::shared_ptr<ConvertJob> job;
    {
        JobTable &t = jobs();
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.jobs.find(nHandle);
        if (it == t.jobs.end())
            return -1;
        job = it->second;
    }
    job->cancel = true;
    std::unique_lock<std::mutex> lock(job->mutex);
    if (job->worker == std::this_thread::get_id())
        return 0;  // from the job's own message handler: it ends after this message
    job->cv.wait(lock, [&job] { return job->done; });
    return 0;
}
