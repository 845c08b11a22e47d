// The TVPLAY_ play-port calls: a table of open ports by number.
#include "media/sdk/Tarvok.h"
#include "media/sdk/TarvokState.h"

#include "media/play/FileFeeder.h"
#include "media/play/PlayPort.h"

#include <map>
#include <memory>
#include <mutex>

namespace {

struct PortEntry {
    std::shared_ptr<media::PlayPort> port;
    std::unique_ptr<media::FileFeeder> feeder;  // file ports only
};

struct PortTable {
    std::mutex mutex;
    std::map<int, std::shared_ptr<PortEntry>> ports;
    int next = 1;
};

PortTable &table()
{
    static PortTable *t = new PortTable;  // ports may outlive static destruction
    return *t;
}

TVMessageReceiver receiver_or_fallback(const TVMessageReceiver *r)
{
    if (r && r->pfnCallback)
        return *r;
    return tvsdk::fallback_receiver();
}

// Port numbers are not reused soon, so a stale number finds nothing.
// Called with the table locked.
int allocate_id(PortTable &t)
{
    int id = t.next;
    while (t.ports.count(id))
        id = id >= (1 << 30) ? 1 : id + 1;
    t.next = id >= (1 << 30) ? 1 : id + 1;
    return id;
}

std::shared_ptr<PortEntry> find_entry(int port)
{
    PortTable &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.ports.find(port);
    return it == t.ports.end() ? nullptr : it->second;
}

std::shared_ptr<media::PlayPort> find_port(int port)
{
    std::shared_ptr<PortEntry> e = find_entry(port);
    return e ? e->port : nullptr;
}

}  // namespace

int TVPLAY_OpenPlay(const TVMessageReceiver *receiver, uint64_t hWnd, int nBufferFrames, int, int)
{
    auto e = std::make_shared<PortEntry>();
    // The port number is known only once the entry is in the table.
    PortTable &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    int id = allocate_id(t);
    e->port = std::make_shared<media::PlayPort>(id, receiver_or_fallback(receiver), hWnd, nBufferFrames);
    t.ports[id] = e;
    return id;
}

int TVPLAY_OpenFilePlay(const TVMessageReceiver *receiver, const char *szPath, uint64_t hWnd, int, int)
{
    if (!szPath || !*szPath)
        return -1;
    auto e = std::make_shared<PortEntry>();
    int id;
    {
        PortTable &t = table();
        std::lock_guard<std::mutex> lock(t.mutex);
        id = allocate_id(t);
        e->port = std::make_shared<media::PlayPort>(id, receiver_or_fallback(receiver), hWnd, 100);
    }
    e->feeder.reset(new media::FileFeeder(e->port, szPath));
    if (!e->feeder->open())
        return -1;
    PortTable &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (t.ports.count(id))
        return -1;
    t.ports[id] = e;
    return id;
}

int TVPLAY_Play(int nPort)
{
    std::shared_ptr<PortEntry> e = find_entry(nPort);
    if (!e)
        return -1;
    int r = e->port->play();
    if (r >= 0 && e->feeder)
        e->feeder->start();
    return r;
}

int TVPLAY_Stop(int nPort)
{
    std::shared_ptr<PortEntry> e;
    {
        PortTable &t = table();
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.ports.find(nPort);
        if (it == t.ports.end())
            return -1;
        e = it->second;
        t.ports.erase(it);
    }
    e->port->stop();
    if (e->feeder)
        e->feeder->stop();
    return 0;
}

int TVPLAY_PushMediaData(int nPort, const uint8_t *pData, int nLength)
{
    auto p = find_port(nPort);
    return p ? p->push(pData, nLength) : -1;
}

int TVPLAY_ForcePlayEnd(int nPort)
{
    auto p = find_port(nPort);
    return p ? p->forceEnd() : -1;
}

int TVPLAY_Pause(int nPort, int bPause)
{
    auto p = find_port(nPort);
    return p ? p->pause(bPause != 0) : -1;
}

int TVPLAY_SetPlaySpeed(int nPort, int nSpeed)
{
    auto p = find_port(nPort);
    return p ? p->setSpeed(nSpeed) : -1;
}

int TVPLAY_PlayNextFrame(int nPort)
{
    auto p = find_port(nPort);
    return p ? p->nextFrame() : -1;
}

int TVPLAY_PlayPreviousFrame(int nPort)
{
    auto p = find_port(nPort);
    return p ? p->previousFrame() : -1;
}

int TVPLAY_SetPlayPosition(int nPort, int nPercent)
{
    std::shared_ptr<PortEntry> e = find_entry(nPort);
    if (!e || !e->feeder || nPercent < 0 || nPercent > 100)
        return -1;
    e->feeder->seekPercent(nPercent);
    return 0;
}

int TVPLAY_PlaySound(int nPort)
{
    auto p = find_port(nPort);
    return p ? p->playSound() : -1;
}

int TVPLAY_StopSound(int nPort)
{
    auto p = find_port(nPort);
    return p ? p->stopSound() : -1;
}

int TVPLAY_CatchPictureSyn(int nPort, const char *szPath, int nTimeoutMs)
{
    auto p = find_port(nPort);
    return p && szPath ? p->capture(szPath, nTimeoutMs) : -1;
}

int TVPLAY_StartRecordData(int nPort, const char *szPath)
{
    auto p = find_port(nPort);
    return p && szPath ? p->startRecord(szPath) : -1;
}

int TVPLAY_StopRecordData(int nPort)
{
    auto p = find_port(nPort);
    return p ? p->stopRecord() : -1;
}

int TVPLAY_PlaySetDisplayRegion(int nPort, const TVRect *pRect)
{
    auto p = find_port(nPort);
    return p ? p->setRegion(pRect) : -1;
}

int TVPLAY_GetPlayStats(int nPort, TVPlayStats *pStats)
{
    auto p = find_port(nPort);
    if (!p || !pStats)
        return -1;
    p->stats(pStats);
    return 0;
}
