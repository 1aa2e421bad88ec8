// Wakes the link thread when work arrives, so that an idle link sleeps on a
// condition instead of spinning, and still reacts within a millisecond.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "foundation/fifo.h"

class TWaker {
 public:
  void Wake();
  // Waits until woken or timeout_ms (real time) passes; a wake that came
  // before the wait is not lost.
  void Wait(int timeout_ms);

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::atomic<bool> pending_{false};
  std::atomic<bool> waiting_{false};
};

// An outgoing text queue (`Soob`, `SoobFile`) that wakes the link thread on
// every accepted put. Same operations as OchFIFOJSON.
class TSoobQueue {
 public:
  TSoobQueue(int size, TWaker& waker) : fifo_(size), waker_(waker) {}
  int Size() const { return fifo_.Size(); }
  bool PutSoob(const std::string& text) {
    bool ok = fifo_.PutSoob(text);
    if (ok) waker_.Wake();
    return ok;
  }
  bool IsSoob() { return fifo_.IsSoob(); }
  bool GetSoob(std::string& out) { return fifo_.GetSoob(out); }
  bool GetSoobD(std::string& out) { return fifo_.GetSoobD(out); }
  void DeleteSoob() { fifo_.DeleteSoob(); }
  int Items() { return fifo_.Items(); }
  int Count() { return fifo_.Count(); }
  // Discards everything queued.
  void Clear() {
    while (fifo_.IsSoob()) fifo_.DeleteSoob();
  }

 private:
  OchFIFOJSON fifo_;
  TWaker& waker_;
};
