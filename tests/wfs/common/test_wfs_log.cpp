// The library's message sinks: where each kind of message goes under each
// route, the warning/error line prefix, and the length limits.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <unistd.h>

#include "wfs/common/log.h"

namespace {

// Captures what is written to one standard stream while alive.
class StreamCapture {
public:
    explicit StreamCapture(FILE *stream) : m_stream(stream), m_fd(fileno(stream))
    {
        std::fflush(m_stream);
        m_tmp = std::tmpfile();
        m_saved = dup(m_fd);
        dup2(fileno(m_tmp), m_fd);
    }
    ~StreamCapture() { restore(); }
    std::string text()
    {
        restore();
        std::string out;
        std::rewind(m_tmp);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, m_tmp)) > 0)
            out.append(buf, n);
        return out;
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(m_stream);
        dup2(m_saved, m_fd);
        close(m_saved);
        m_saved = -1;
    }
    FILE *m_stream;
    int m_fd;
    int m_saved = -1;
    FILE *m_tmp = nullptr;
};

struct Seen {
    std::vector<std::string> events;
    int calls = 0;
};

TEST(WfsLog, DefaultRouteWarningsErrorsAndConsoleOnStdout)
{
    wfs_log_set_route(WFS_LOG_DEFAULT);
    wfs_log_set_trace(false);
    StreamCapture out(stdout), err(stderr);
    wfs_warn("disk access io error : disk %d, offset %d,  error %d\n", 0, 50000, 2);
    wfs_error("temp sec check flag error\n");
    wfs_console("\33[1;35m plain %s\n \33[m", "console");
    wfs_trace("not shown while tracing is off\n");
    wfs_event("WFS", "events reach only the hooks");
    std::string o = out.text(), e = err.text();
    const std::regex expected(
        "\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\|FSWarn disk access io error : disk 0, offset 50000,  error 2\n"
        "\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\|FSError temp sec check flag error\n"
        "\33\\[1;35m plain console\n \33\\[m");
    EXPECT_TRUE(std::regex_match(o, expected)) << o;
    EXPECT_EQ(e, "");

    // Tracing on: the trace goes to the debug output (stderr).
    wfs_log_set_trace(true);
    StreamCapture err2(stderr);
    wfs_trace("disk_num = %d\n", 2);
    EXPECT_EQ(err2.text(), "disk_num = 2\n");
    wfs_log_set_trace(false);
}

TEST(WfsLog, StderrAndSilentRoutesKeepStdoutClean)
{
    wfs_log_set_route(WFS_LOG_STDERR);
    {
        StreamCapture out(stdout), err(stderr);
        wfs_warn("w\n");
        wfs_trace("t\n");
        wfs_console("c\n");
        std::string e = err.text();
        EXPECT_EQ(out.text(), "");
        EXPECT_NE(e.find("|FSWarn w\n"), std::string::npos);
        EXPECT_NE(e.find("t\n"), std::string::npos);
        EXPECT_NE(e.find("c\n"), std::string::npos);
    }
    wfs_log_set_route(WFS_LOG_SILENT);
    Seen seen;
    wfs_log_set_hook(
        [](WfsLogKind, const char *, const char *, void *user) { ++static_cast<Seen *>(user)->calls; }, &seen);
    {
        StreamCapture out(stdout), err(stderr);
        wfs_warn("w\n");
        wfs_error("e\n");
        wfs_console("c\n");
        wfs_trace("t\n");
        EXPECT_EQ(out.text(), "");
        EXPECT_EQ(err.text(), "");
    }
    EXPECT_EQ(seen.calls, 4) << "the observer sees every message whatever the route";
    wfs_log_set_hook(nullptr, nullptr);
    wfs_log_set_route(WFS_LOG_DEFAULT);
}

std::vector<std::string> g_events;

TEST(WfsLog, EventTextsAreCutAndTracesBounded)
{
    wfs_log_set_route(WFS_LOG_SILENT);
    g_events.clear();
    wfs_set_event_hook([](const char *name, const char *text) { g_events.push_back(std::string(name) + "|" + text); });
    wfs_event("WFS1", "%d-%d %d/%d-%d:%d:%d ~ %d/%d-%d:%d:%d", 1, 1, 12, 31, 23, 59, 59, 1, 1, 0, 0, 1);
    std::string long_text(200, 'x');
    wfs_event("StorageDeviceError", "%s", long_text.c_str());
    wfs_set_event_hook(nullptr);
    ASSERT_EQ(g_events.size(), 2u);
    EXPECT_EQ(g_events[0], "WFS1|1-1 12/31-23:59:59 ~ 1/1-0:0:1");
    EXPECT_EQ(g_events[1], "StorageDeviceError|" + std::string(WFS_EVENT_TEXT_MAX, 'x'));

    std::string traced;
    wfs_log_set_hook(
        [](WfsLogKind kind, const char *, const char *text, void *user) {
            if (kind == WFS_LOG_TRACE)
                *static_cast<std::string *>(user) = text;
        },
        &traced);
    std::string huge(10000, 'y');
    wfs_trace("%s", huge.c_str());
    wfs_log_set_hook(nullptr, nullptr);
    EXPECT_EQ(traced.size(), static_cast<size_t>(WFS_TRACE_MAX - 1));
    wfs_log_set_route(WFS_LOG_DEFAULT);
}

}  // namespace
