#include "wfs/common/log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "wfs/common/clock.h"

namespace {

std::mutex s_lock;
WfsLogRoute s_route = WFS_LOG_DEFAULT;
int s_trace_on = -1;  // -1: not decided yet, look at the environment
WfsLogHook s_hook = nullptr;
void *s_hook_user = nullptr;
WfsEventHook s_event_hook = nullptr;

bool trace_enabled_locked()
{
    if (s_trace_on < 0) {
        const char *env = std::getenv("ORVELLE_WFS_TRACE");
        s_trace_on = (env && *env && std::strcmp(env, "0") != 0) ? 1 : 0;
    }
    return s_trace_on == 1;
}

// Formats into at most `limit` bytes (terminating zero included).
std::string format_limited(size_t limit, const char *fmt, va_list ap)
{
    std::string out(limit, '\0');
    int n = std::vsnprintf(&out[0], limit, fmt, ap);
    if (n < 0)
        n = 0;
    size_t len = static_cast<size_t>(n) < limit ? static_cast<size_t>(n) : limit - 1;
    out.resize(len);
    return out;
}

std::string time_prefix()
{
    WfsLocalTime t{};
    wfs_local_time(&t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d|", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

// Where a message of this kind goes under the current route; null = nowhere.
FILE *sink_for(WfsLogKind kind)
{
    switch (s_route) {
    case WFS_LOG_SILENT:
        return nullptr;
    case WFS_LOG_STDERR:
        return stderr;
    case WFS_LOG_DEFAULT:
        break;
    }
    switch (kind) {
    case WFS_LOG_TRACE:
        return trace_enabled_locked() ? stderr : nullptr;
    case WFS_LOG_EVENT:
        return nullptr;  // events only reach the hooks
    default:
        return stdout;
    }
}

void emit(WfsLogKind kind, const char *name, const std::string &text)
{
    std::lock_guard<std::mutex> guard(s_lock);
    if (s_hook)
        s_hook(kind, name, text.c_str(), s_hook_user);
    if (kind == WFS_LOG_EVENT && s_event_hook)
        s_event_hook(name, text.c_str());
    FILE *f = sink_for(kind);
    if (!f)
        return;
    switch (kind) {
    case WFS_LOG_WARN:
        std::fprintf(f, "%sFSWarn %s", time_prefix().c_str(), text.c_str());
        break;
    case WFS_LOG_ERROR:
        std::fprintf(f, "%sFSError %s", time_prefix().c_str(), text.c_str());
        break;
    case WFS_LOG_EVENT:
        std::fprintf(f, "event %s: %s\n", name ? name : "", text.c_str());
        break;
    default:
        std::fputs(text.c_str(), f);
        break;
    }
    std::fflush(f);
}

}  // namespace

void wfs_log_set_route(WfsLogRoute route)
{
    std::lock_guard<std::mutex> guard(s_lock);
    s_route = route;
}

WfsLogRoute wfs_log_get_route()
{
    std::lock_guard<std::mutex> guard(s_lock);
    return s_route;
}

void wfs_log_set_trace(bool on)
{
    std::lock_guard<std::mutex> guard(s_lock);
    s_trace_on = on ? 1 : 0;
}

void wfs_log_set_hook(WfsLogHook hook, void *user)
{
    std::lock_guard<std::mutex> guard(s_lock);
    s_hook = hook;
    s_hook_user = user;
}

void wfs_set_event_hook(WfsEventHook hook)
{
    std::lock_guard<std::mutex> guard(s_lock);
    s_event_hook = hook;
}

void wfs_vtrace(const char *fmt, va_list ap) { emit(WFS_LOG_TRACE, nullptr, format_limited(WFS_TRACE_MAX, fmt, ap)); }

void wfs_vconsole(const char *fmt, va_list ap) { emit(WFS_LOG_CONSOLE, nullptr, format_limited(WFS_TRACE_MAX, fmt, ap)); }

void wfs_trace(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    wfs_vtrace(fmt, ap);
    va_end(ap);
}

void wfs_warn(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string text = format_limited(WFS_TRACE_MAX, fmt, ap);
    va_end(ap);
    emit(WFS_LOG_WARN, nullptr, text);
}

void wfs_error(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string text = format_limited(WFS_TRACE_MAX, fmt, ap);
    va_end(ap);
    emit(WFS_LOG_ERROR, nullptr, text);
}

void wfs_event(const char *name, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string text = format_limited(WFS_EVENT_TEXT_MAX + 1, fmt, ap);
    va_end(ap);
    emit(WFS_LOG_EVENT, name, text);
}

void wfs_console(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    wfs_vconsole(fmt, ap);
    va_end(ap);
}
