#include "server/log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/text1251.h"

namespace srv {
namespace {
std::atomic<int> g_level{static_cast<int>(LogLevel::kInfo)};
std::mutex g_mu;

void Write(const std::string& text) {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
  localtime_r(&t, &tm);
  std::string utf8 = plat::Cp1251ToUtf8(text);
  std::lock_guard<std::mutex> lock(g_mu);
  std::fprintf(stderr, "%02d:%02d:%02d.%03d svcdesk-server: %s\n", tm.tm_hour, tm.tm_min, tm.tm_sec,
               ms, utf8.c_str());
}
}  // namespace

void SetLogLevel(LogLevel level) {
  g_level.store(static_cast<int>(level));
}
LogLevel GetLogLevel() {
  return static_cast<LogLevel>(g_level.load());
}

void Log(const std::string& text) {
  if (g_level.load() >= static_cast<int>(LogLevel::kInfo)) Write(text);
}
void LogDebug(const std::string& text) {
  if (g_level.load() >= static_cast<int>(LogLevel::kDebug)) Write(text);
}

}  // namespace srv
