// svcdesk-server: parses the command line, runs the server until SIGINT or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "server/log.h"
#include "server/options.h"
#include "server/server.h"

namespace {
std::atomic<bool> g_stop{false};
void OnSignal(int) {
  g_stop.store(true);
}
}  // namespace

int main(int argc, char** argv) {
  srv::ServerOptions o;
  bool help = false, verbose = false;
  std::string error;
  if (!srv::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), o, help, verbose,
                         error)) {
    std::fprintf(stderr, "svcdesk-server: %s\n\n%s", error.c_str(), srv::HelpText().c_str());
    return 2;
  }
  if (help) {
    std::fputs(srv::HelpText().c_str(), stdout);
    return 0;
  }
  if (verbose) srv::SetLogLevel(srv::LogLevel::kDebug);
  struct sigaction sa = {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  srv::Server server(o);
  if (!server.Start()) return 1;
  while (!g_stop.load()) usleep(100 * 1000);
  srv::Log("signal received, shutting down");
  server.Stop();
  return 0;
}
