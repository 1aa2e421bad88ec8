#include "platform/crash.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/files.h"

namespace plat {

namespace {

// Everything the handler needs is prepared at install: it may not allocate.
char g_logs[4096];
size_t g_logs_len = 0;
const int kSignals[] = {SIGSEGV, SIGABRT, SIGFPE, SIGBUS};

void Put(int fd, const char* s) {
  size_t n = strlen(s);
  while (n > 0) {
    const ssize_t w = write(fd, s, n);
    if (w <= 0) return;
    s += w;
    n -= static_cast<size_t>(w);
  }
}

// Decimal text of v into buf (at least 21 bytes).
const char* Dec(unsigned long long v, char* buf) {
  char tmp[24];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  for (int i = 0; i < n; ++i) buf[i] = tmp[n - 1 - i];
  buf[n] = 0;
  return buf;
}

const char* SignalName(int sig) {
  switch (sig) {
    case SIGSEGV:
      return "SIGSEGV (invalid memory access)";
    case SIGABRT:
      return "SIGABRT (abort)";
    case SIGFPE:
      return "SIGFPE (arithmetic error)";
    case SIGBUS:
      return "SIGBUS (bus error)";
  }
  return "signal";
}

void Handler(int sig, siginfo_t* info, void*) {
  const int saved_errno = errno;
  char path[4200];
  char num[24];
  memcpy(path, g_logs, g_logs_len);
  size_t len = g_logs_len;
  auto add = [&](const char* s) {
    const size_t n = strlen(s);
    if (len + n + 1 < sizeof path) {
      memcpy(path + len, s, n);
      len += n;
    }
  };
  add("/crash_");
  add(Dec(static_cast<unsigned long long>(time(nullptr)), num));
  add("_");
  add(Dec(static_cast<unsigned long long>(getpid()), num));
  add(".txt");
  path[len] = 0;

  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd >= 0) {
    Put(fd, "svcdesk crash report\nsignal: ");
    Put(fd, SignalName(sig));
    Put(fd, "\nsignal number: ");
    Put(fd, Dec(static_cast<unsigned long long>(sig), num));
    Put(fd, "\nfault address: 0x");
    char hex[20];
    auto addr = reinterpret_cast<unsigned long long>(info ? info->si_addr : nullptr);
    int n = 0;
    do {
      hex[n++] = "0123456789abcdef"[addr & 15];
      addr >>= 4;
    } while (addr && n < 16);
    for (int i = n - 1; i >= 0; --i) write(fd, &hex[i], 1);
    Put(fd, "\npid: ");
    Put(fd, Dec(static_cast<unsigned long long>(getpid()), num));
    Put(fd, "\nbacktrace:\n");
    void* frames[64];
    const int count = backtrace(frames, 64);
    backtrace_symbols_fd(frames, count, fd);
    fsync(fd);
    close(fd);
  }
  // SA_RESETHAND put the default action back: raise it once we return.
  errno = saved_errno;
  raise(sig);
}

}  // namespace

bool InstallCrashHandler(const std::string& dir) {
  const std::string logs = JoinPath(dir.empty() ? "." : dir, "logs");
  if (logs.size() >= sizeof g_logs || !ForceDirectories(logs)) return false;
  memcpy(g_logs, logs.data(), logs.size());
  g_logs_len = logs.size();

  // The first backtrace() loads the unwinder, which allocates: do it now.
  void* warm[2];
  backtrace(warm, 2);

  // A stack of its own, so a stack overflow can still be reported.
  static std::vector<char> alt(1 << 16);
  stack_t ss{};
  ss.ss_sp = alt.data();
  ss.ss_size = alt.size();
  sigaltstack(&ss, nullptr);

  struct sigaction sa {};
  sa.sa_sigaction = Handler;
  sa.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : kSignals) sigaction(sig, &sa, nullptr);
  return true;
}

}  // namespace plat
