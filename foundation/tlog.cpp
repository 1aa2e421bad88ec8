#include "foundation/tlog.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <vector>

#include "foundation/json.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/regional.h"

namespace {

// The date in a log file name: the characters after the first '_' up to the
// first '.', as yyyymmdd with defaults for what is missing. Years before 2020
// and dates that do not exist count as 1 January 2020, so such files still
// age out.
double FileNameDate(const std::string& file) {
  std::string digits;
  size_t us = file.find('_');
  if (us != std::string::npos) {
    size_t dot = file.find('.');
    if (dot == std::string::npos) dot = file.size();
    if (dot > us + 1) digits = file.substr(us + 1, dot - us - 1);
  }
  auto part = [&](size_t pos, size_t n, int def) {
    if (pos >= digits.size()) return def;
    return StrToIntDef(digits.substr(pos, n), def);
  };
  int year = part(0, 4, 2000);
  int month = part(4, 2, 1);
  int day = part(6, 2, 1);
  const double floor2020 = plat::EncodeDate(2020, 1, 1);
  if (year < 2020 || month < 1 || month > 12 || day < 1 || day > 31) return floor2020;
  double d = plat::EncodeDate(year, month, day);
  int y2, m2, d2;
  plat::DecodeDate(d, y2, m2, d2);
  if (y2 != year || m2 != month || d2 != day) return floor2020;  // e.g. 31 February
  return d;
}

}  // namespace

TLog::TLog(std::string dir) : Dir(dir.empty() ? plat::CurrentDir() : std::move(dir)) {
  plat::ForceDirectories(LogsDir());
  Buffer.PSize(kBufferSize);
  thread_ = std::thread([this] { Run(); });
}

TLog::~TLog() {
  Stop();
}

void TLog::SetName(const std::string& n) {
  std::lock_guard<std::mutex> g(name_lock_);
  name_ = n;
}

std::string TLog::Name() {
  std::lock_guard<std::mutex> g(name_lock_);
  return name_;
}

std::string TLog::LogsDir() const {
  return plat::JoinPath(Dir, "logs");
}

std::string TLog::TodayFile() {
  return plat::JoinPath(LogsDir(), Name() + "_" + plat::DateToYmd(plat::Now()) + ".log");
}

void TLog::Stop() {
  {
    std::lock_guard<std::mutex> g(wake_lock_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TLog::Run() {
  std::unique_lock<std::mutex> lk(wake_lock_);
  while (!stop_) {
    lk.unlock();
    Pass();
    lk.lock();
    wake_.wait_for(lk, std::chrono::milliseconds(50), [this] { return stop_; });
  }
  lk.unlock();
  // Lines queued just before the stop (a farewell, say) still reach the file.
  if (Buffer.IsSoob()) Pass();
}

void TLog::Pass() {
  std::lock_guard<std::mutex> pass(pass_lock_);
  const std::string name = Name();

  if (!Log.load()) {
    std::string drop;
    while (Buffer.GetSoobD(drop)) {
    }
  } else if (Buffer.IsSoob()) {
    // Lines are peeked and removed only once written, so lines that arrive
    // during the pass, and lines the file would not take, wait for the next
    // pass instead of being dropped. One pass writes at most one buffer's
    // worth, so a flood cannot keep it from ending.
    plat::File f;
    if (f.Open(TodayFile(), plat::File::kOpenOrCreate) && f.Seek(f.Size())) {
      std::string text;
      for (int i = 0; i < kBufferSize && Buffer.GetSoob(text); ++i) {
        std::string line = plat::FormatLongTime(plat::Now());
        line += " - ";
        line += text;
        line += "\r\n";
        if (!f.Write(line.data(), static_cast<int64_t>(line.size()))) break;
        Buffer.DeleteSoob();
      }
      f.Close();
    }
  }

  // The sweep waits for the owner to name the log: with no name every file
  // with a '_' would match, other logs' files included.
  const int keep = LogDay.load();
  if (keep != 0 && !name.empty()) {
    const double today = plat::Date();
    if (today != LogDayDate) {
      LogDayDate = today;
      Sweep(name, today, keep);
    }
  }
}

void TLog::Sweep(const std::string& name, double today, int keep_days) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const std::string key = name + "_";
  std::vector<std::string> doomed;
  for (fs::directory_iterator it(LogsDir(), ec), end; !ec && it != end; it.increment(ec)) {
    std::string file = it->path().filename().string();
    if (file == "." || file == ".." || file.find(key) == std::string::npos) continue;
    if (!it->is_regular_file(ec)) continue;
    if (today - FileNameDate(file) >= keep_days) doomed.push_back(it->path().string());
  }
  for (const auto& path : doomed) plat::DeleteFile(path);
}
