// The daily log writer: a thread that appends queued lines to
// logs/<name>_yyyymmdd.log and removes files older than LogDay days.
// Other threads only queue lines (Add) and return at once.
#pragma once
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/fifo.h"

class TLog {
 public:
  static constexpr int kBufferSize = 5000;

  // dir: the folder holding "logs" (the current directory by default).
  explicit TLog(std::string dir = "");
  ~TLog();
  TLog(const TLog&) = delete;
  TLog& operator=(const TLog&) = delete;

  // Queues a line; false (line lost) when the buffer is full.
  bool Add(const std::string& line) { return Buffer.PutSoob(line); }
  void SetName(const std::string& n);
  std::string Name();
  // Ends the thread promptly (it does not wait out its pause) and writes what
  // is still queued. Idempotent.
  void Stop();
  // Runs one pass of the writer on the calling thread (tests).
  void Pass();
  // The file lines are written to today: Dir/logs/<name>_yyyymmdd.log.
  std::string TodayFile();
  std::string LogsDir() const;

  OchFIFOJSON Buffer;
  std::atomic<bool> Log{false};
  std::atomic<int> LogDay{3};

 private:
  void Run();
  void Sweep(const std::string& name, double today, int keep_days);

  std::string Dir;
  std::string name_;
  std::mutex name_lock_;
  std::mutex pass_lock_;  // one pass at a time (thread or test)
  double LogDayDate = 0;  // guarded by pass_lock_
  std::mutex wake_lock_;
  std::condition_variable wake_;
  bool stop_ = false;  // guarded by wake_lock_
  std::thread thread_;
};
