// Readable log lines on stderr: "hh:mm:ss.mmm svcdesk-server: text". Texts inside
// the server are Windows-1251; the terminal gets UTF-8.
#pragma once
#include <atomic>
#include <string>

namespace srv {

enum class LogLevel { kQuiet = 0, kInfo = 1, kDebug = 2 };

// The process-wide level; kInfo unless changed (tests use kQuiet).
void SetLogLevel(LogLevel level);
LogLevel GetLogLevel();

// text is Windows-1251.
void Log(const std::string& text);
void LogDebug(const std::string& text);

}  // namespace srv
