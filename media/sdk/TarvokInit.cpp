// Library initialisation: the work folder and the fallback message callback.
#include "media/sdk/Tarvok.h"
#include "media/sdk/TarvokState.h"

#include <cctype>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

#include <QDir>
#include <QString>

static_assert(sizeof(TVMessageReceiver) == 24, "message receiver is 24 bytes");
static_assert(offsetof(TVMessageReceiver, pfnCallback) == 8, "message receiver layout");
static_assert(offsetof(TVMessageReceiver, pUser) == 16, "message receiver layout");
static_assert(sizeof(TVSDKInitParam) == 864, "initialisation record is 864 bytes");
static_assert(offsetof(TVSDKInitParam, szWorkDir) == 4, "initialisation record layout");
static_assert(offsetof(TVSDKInitParam, szWorkDir2) == 260, "initialisation record layout");
static_assert(offsetof(TVSDKInitParam, szIdent1) == 516, "initialisation record layout");
static_assert(offsetof(TVSDKInitParam, szIdent2) == 580, "initialisation record layout");
static_assert(offsetof(TVSDKInitParam, szIdent3) == 708, "initialisation record layout");
static_assert(offsetof(TVSDKInitParam, nVersion) == 836, "initialisation record layout");
static_assert(offsetof(TVSDKInitParam, pfnCallback) == 848, "initialisation record layout");
static_assert(offsetof(TVSDKInitParam, pUser) == 856, "initialisation record layout");

namespace tvsdk {

namespace {
std::mutex g_mutex;
TVMessageReceiver g_fallback{0, nullptr, nullptr};
std::string g_workDir;
}  // namespace

TVMessageReceiver fallback_receiver()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_fallback;
}

std::string work_dir()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_workDir;
}

}  // namespace tvsdk

namespace {

// A fixed-size text field must be terminated inside its bounds.
bool terminated(const char *s, size_t size)
{
    return std::memchr(s, 0, size) != nullptr;
}

bool hex32(const char *s, size_t size)
{
    if (!terminated(s, size) || std::strlen(s) != 32)
        return false;
    for (int i = 0; i < 32; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(s[i])))
            return false;
    return true;
}

}  // namespace

int TVSDK_Init(const TVSDKInitParam *param)
{
    if (!param || !terminated(param->szWorkDir, sizeof param->szWorkDir) ||
        !terminated(param->szWorkDir2, sizeof param->szWorkDir2) ||
        !hex32(param->szIdent1, sizeof param->szIdent1) || !hex32(param->szIdent2, sizeof param->szIdent2) ||
        !hex32(param->szIdent3, sizeof param->szIdent3))
        return -1;
    // Damaged recordings make the decoders complain about every broken
    // macroblock; the library reports failures itself.
    if (!qEnvironmentVariableIsSet("ORVELLE_MEDIA_LOG"))
        av_log_set_level(AV_LOG_FATAL);
    if (param->szWorkDir[0])
        QDir().mkpath(QString::fromLocal8Bit(param->szWorkDir));
    std::lock_guard<std::mutex> lock(tvsdk::g_mutex);
    tvsdk::g_workDir = param->szWorkDir;
    tvsdk::g_fallback = TVMessageReceiver{0, param->pfnCallback, param->pUser};
    return 0;
}
