// Crash reports: on SIGSEGV, SIGABRT, SIGFPE or SIGBUS a short report (signal,
// process, backtrace) is written to <dir>/logs/crash_<unix time>_<pid>.txt and
// the signal is raised again so the process still ends as it would have.
#pragma once
#include <string>

namespace plat {

// False when the "logs" folder cannot be made; the handlers are then not installed.
bool InstallCrashHandler(const std::string& dir);

}  // namespace plat
