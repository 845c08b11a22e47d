// The library's message sinks.
//
// Four kinds of message leave the WFS library:
//  - trace: progress notes, formatted into at most 2048 bytes and passed to
//    the debug output (on Linux: standard error, but only when tracing is on,
//    see wfs_log_set_trace or the environment variable ORVELLE_WFS_TRACE=1);
//  - warnings and errors: one line each on standard output, prefixed with the
//    local time "YYYY-MM-DD hh:mm:ss|" and "FSWarn " or "FSError ";
//  - events: a short name ("WFS", "WFS1", "StorageDeviceError",
//    "ClearDriver") with at most 67 characters of text, handed to the event
//    hook when one is registered (none is, normally);
//  - console: plain output on standard output.
//
// A program can re-route everything: WFS_LOG_STDERR sends every sink
// (trace included) to standard error, WFS_LOG_SILENT prints nothing. The
// command-line tool uses one of those so that its standard output carries
// only its result. An observer hook sees every message whatever the route
// (tests use it to check what the library said).
#pragma once

#include <cstdarg>
#include <cstddef>

enum WfsLogKind {
    WFS_LOG_TRACE = 0,
    WFS_LOG_WARN = 1,
    WFS_LOG_ERROR = 2,
    WFS_LOG_EVENT = 3,
    WFS_LOG_CONSOLE = 4,
};

enum WfsLogRoute {
    WFS_LOG_DEFAULT = 0,  // trace to debug output, the rest to stdout
    WFS_LOG_STDERR = 1,   // everything (trace included) to stderr
    WFS_LOG_SILENT = 2,   // nothing printed; hooks still called
};

// Longest trace message (bytes, terminating zero included).
#define WFS_TRACE_MAX 2048
// Longest event text (characters); longer texts are cut.
#define WFS_EVENT_TEXT_MAX 67

void wfs_log_set_route(WfsLogRoute route);
WfsLogRoute wfs_log_get_route();

// Switches the trace on or off in the default route (off unless the
// environment variable ORVELLE_WFS_TRACE is set to a nonzero value).
void wfs_log_set_trace(bool on);

// Observer of every message: kind, event name (null except for events) and
// the formatted text as it would be printed (without time prefix). Called
// under the log's own lock; must not log itself. Null removes it.
typedef void (*WfsLogHook)(WfsLogKind kind, const char *name, const char *text, void *user);
void wfs_log_set_hook(WfsLogHook hook, void *user);

// The optional event hook (name, text of at most 67 characters).
typedef void (*WfsEventHook)(const char *name, const char *text);
void wfs_set_event_hook(WfsEventHook hook);

#if defined(__GNUC__)
#define WFS_PRINTF(a, b) __attribute__((format(printf, a, b)))
#else
#define WFS_PRINTF(a, b)
#endif

void wfs_trace(const char *fmt, ...) WFS_PRINTF(1, 2);
void wfs_warn(const char *fmt, ...) WFS_PRINTF(1, 2);
void wfs_error(const char *fmt, ...) WFS_PRINTF(1, 2);
void wfs_event(const char *name, const char *fmt, ...) WFS_PRINTF(2, 3);
void wfs_console(const char *fmt, ...) WFS_PRINTF(1, 2);

void wfs_vtrace(const char *fmt, va_list ap);
void wfs_vconsole(const char *fmt, va_list ap);
