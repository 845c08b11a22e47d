#include "app/shell/CrashHandler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

const int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
const int kMaxFrames = 64;
// Room for the handler when the stack itself overflowed.
const size_t kAltStackSize = 64 * 1024;

// Two buffers, so that the handler never sees a path half-written by
// setCrashDumpFolder(): a new path goes into the idle one, then the pointer
// moves.
const size_t kPathSize = 4096;
char g_dumpPaths[2][kPathSize];
std::atomic<char*> g_pDumpPath{g_dumpPaths[0]};
char g_exePath[4096];
CrashReportCallback g_callback = nullptr;
bool g_installed = false;
volatile sig_atomic_t g_inHandler = 0;

const char* signalName(int nSignal)
{
    switch (nSignal) {
    case SIGSEGV:
        return "SIGSEGV (invalid memory access)";
    case SIGBUS:
        return "SIGBUS (bus error)";
    case SIGFPE:
        return "SIGFPE (arithmetic error)";
    case SIGILL:
        return "SIGILL (illegal instruction)";
    case SIGABRT:
        return "SIGABRT (aborted)";
    default:
        return "unknown signal";
    }
}

// Small writers that need no allocation.
void putText(int fd, const char* szText)
{
    size_t nLeft = std::strlen(szText);
    while (nLeft > 0) {
        const ssize_t n = write(fd, szText, nLeft);
        if (n <= 0)
            return;
        szText += n;
        nLeft -= size_t(n);
    }
}

// Writes "0x" and the value in hexadecimal into buf (at least 19 bytes).
void formatHex(unsigned long long nValue, char* buf)
{
    char digits[17];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[nValue & 0xf];
        nValue >>= 4;
    } while (nValue != 0 && n < 16);
    buf[0] = '0';
    buf[1] = 'x';
    for (int i = 0; i < n; ++i)
        buf[2 + i] = digits[n - 1 - i];
    buf[2 + n] = '\0';
}

void formatDec(long long nValue, char* buf)
{
    char digits[21];
    int n = 0;
    const bool bNegative = nValue < 0;
    unsigned long long u = bNegative ? 0ULL - static_cast<unsigned long long>(nValue) : nValue;
    do {
        digits[n++] = char('0' + u % 10);
        u /= 10;
    } while (u != 0 && n < 20);
    int k = 0;
    if (bNegative)
        buf[k++] = '-';
    for (int i = 0; i < n; ++i)
        buf[k++] = digits[n - 1 - i];
    buf[k] = '\0';
}

void putHex(int fd, unsigned long long nValue)
{
    char buf[24];
    formatHex(nValue, buf);
    putText(fd, buf);
}

void putDec(int fd, long long nValue)
{
    char buf[24];
    formatDec(nValue, buf);
    putText(fd, buf);
}

unsigned long long instructionAddress(void* pContext)
{
#if defined(__x86_64__)
    return static_cast<unsigned long long>(static_cast<ucontext_t*>(pContext)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<unsigned long long>(static_cast<ucontext_t*>(pContext)->uc_mcontext.pc);
#else
    (void)pContext;
    return 0;
#endif
}

void writeDump(int nSignal, siginfo_t* pInfo, void* pContext)
{
    // An existing dump is replaced.
    const int fd = open(g_pDumpPath.load(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const unsigned long long nFault = reinterpret_cast<unsigned long long>(pInfo ? pInfo->si_addr : nullptr);
    putText(fd, "Orvelle crash report\n");
    putText(fd, "Signal: ");
    putDec(fd, nSignal);
    putText(fd, " ");
    putText(fd, signalName(nSignal));
    putText(fd, "\nSignal code: ");
    putDec(fd, pInfo ? pInfo->si_code : 0);
    putText(fd, "\nFaulting address: ");
    putHex(fd, nFault);
    putText(fd, "\nInstruction address: ");
    putHex(fd, instructionAddress(pContext));
    putText(fd, "\nProcess: ");
    putDec(fd, getpid());
    putText(fd, "\nThread: ");
    putDec(fd, static_cast<long long>(syscall(SYS_gettid)));
    putText(fd, "\nExecutable: ");
    putText(fd, g_exePath);
    // Frames show "binary(+offset)"; addr2line -f -C -e BINARY OFFSET names them.
    putText(fd, "\nBacktrace of the crashing thread:\n");
    void* frames[kMaxFrames];
    const int nFrames = backtrace(frames, kMaxFrames);
    backtrace_symbols_fd(frames, nFrames, fd);
    putText(fd, "End of report\n");
    close(fd);
}

void onFatalSignal(int nSignal, siginfo_t* pInfo, void* pContext)
{
    // A fault inside the handler ends the process at once.
    if (g_inHandler)
        _exit(-1);
    g_inHandler = 1;
    if (g_pDumpPath.load()[0] != '\0')
        writeDump(nSignal, pInfo, pContext);
    if (g_callback) {
        char szReport[128];
        std::snprintf(szReport, sizeof(szReport), "Exception Code:0x%x\nException Address:0x%x\nParam:0x%x",
                      static_cast<unsigned>(nSignal), static_cast<unsigned>(instructionAddress(pContext)),
                      static_cast<unsigned>(reinterpret_cast<unsigned long long>(pInfo ? pInfo->si_addr : nullptr)));
        g_callback(szReport);
    }
    _exit(-1);
}

void formDumpPath()
{
    char* const pPath = g_dumpPaths[0];
    char szExe[kPathSize];
    const ssize_t n = readlink("/proc/self/exe", szExe, sizeof(szExe) - 1);
    pPath[0] = '\0';
    if (n <= 0)
        return;
    szExe[n] = '\0';
    std::memcpy(g_exePath, szExe, size_t(n) + 1);
    char* pSlash = std::strrchr(szExe, '/');
    if (!pSlash)
        return;
    pSlash[1] = '\0';
    static const char kName[] = "CrashDumpFile.dmp";
    if (std::strlen(szExe) + sizeof(kName) > kPathSize)
        return;
    std::strcpy(pPath, szExe);
    std::strcat(pPath, kName);
    g_pDumpPath.store(pPath);
}

}  // namespace

const char* crashDumpPath()
{
    return g_pDumpPath.load();
}

bool setCrashDumpFolder(const char* szFolder)
{
    static const char kName[] = "/CrashDumpFile.dmp";
    if (!szFolder || szFolder[0] == '\0' || std::strlen(szFolder) + sizeof(kName) > kPathSize)
        return false;
    std::error_code error;
    std::filesystem::create_directories(szFolder, error);
    if (error || !std::filesystem::is_directory(szFolder, error))
        return false;
    char* const pIdle = g_pDumpPath.load() == g_dumpPaths[0] ? g_dumpPaths[1] : g_dumpPaths[0];
    std::strcpy(pIdle, szFolder);
    std::strcat(pIdle, kName);
    g_pDumpPath.store(pIdle);
    return true;
}

void installCrashHandler(CrashReportCallback callback)
{
    g_callback = callback;
    if (g_installed)
        return;
    g_installed = true;
    formDumpPath();

    // The first backtrace() loads what it needs; do that now, not in the handler.
    void* warmUp[2];
    backtrace(warmUp, 2);

    static char* s_altStack = static_cast<char*>(std::malloc(kAltStackSize));
    if (s_altStack) {
        stack_t stack{};
        stack.ss_sp = s_altStack;
        stack.ss_size = kAltStackSize;
        sigaltstack(&stack, nullptr);
    }

    struct sigaction action{};
    action.sa_sigaction = &onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int nSignal : kFatalSignals)
        sigaction(nSignal, &action, nullptr);
}
