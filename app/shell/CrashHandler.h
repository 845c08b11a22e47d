#ifndef ORVELLE_APP_SHELL_CRASHHANDLER_H
#define ORVELLE_APP_SHELL_CRASHHANDLER_H

// The crash handler: when the process receives a fatal signal (SIGSEGV,
// SIGBUS, SIGFPE, SIGILL, SIGABRT - an uncaught exception ends in SIGABRT),
// it writes "CrashDumpFile.dmp" next to the executable (or in the folder
// given to setCrashDumpFolder()), replacing an older one, and ends the
// process with exit status -1 (255) without a dialog.
//
// The dump is a readable text report: the signal, the faulting address, the
// instruction address, the crashing thread and the backtrace of that thread.
// Everything the handler needs is prepared when it is installed, so that
// the handler itself only writes to a file descriptor.

// Receives "Exception Code:0x%x\nException Address:0x%x\nParam:0x%x" (signal
// number, instruction address, faulting data address) after the dump.
typedef void (*CrashReportCallback)(const char* szReport);

// Installs the handler (once per process; later calls only replace the
// callback). The callback may be null.
void installCrashHandler(CrashReportCallback callback);

// Moves the report to folder + "/CrashDumpFile.dmp" (an installed program
// keeps it in the user's state folder). The folder is made when missing;
// false, and the report stays where it was, when that fails.
bool setCrashDumpFolder(const char* szFolder);

// The file the handler writes: the executable's folder + "/CrashDumpFile.dmp"
// unless setCrashDumpFolder() chose another.
const char* crashDumpPath();

#endif
