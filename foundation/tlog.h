// The daily log writer: a thread that appends queued lines to
// logs/<name>_yyyymmdd.log and removes files older than LogDay days.
#pragma once
#include <atomic>
#include <string>
#include <thread>

#include "foundation/fifo.h"

class TLog {
 public:
  // dir: the folder holding "logs" (the current directory by default).
  explicit TLog(std::string dir = "");
  ~TLog();
  TLog(const TLog&) = delete;
  TLog& operator=(const TLog&) = delete;

  // Queues a line; false (line lost) when the buffer is full.
  bool Add(const std::string& line) { return Buffer.PutSoob(line); }
  void SetName(const std::string& n);
  std::string Name();
  void Stop();
  // Runs one pass of the writer synchronously (tests; the thread must be stopped).
  void Pass();

  OchFIFOJSON Buffer;
  std::atomic<bool> Log{false};
  int LogDay = 3;

 private:
  void Run();
  std::string Dir;
  std::string name_;
  std::mutex name_lock_;
  double LogDayDate = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
