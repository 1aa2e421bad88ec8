#include "link/waker.h"

void TWaker::Wake() {
  // Most wakes find the link thread at work; only a sleeper needs the call.
  if (!waiting_.load()) {
    pending_.store(true);
    if (!waiting_.load()) return;
  }
  {
    std::lock_guard<std::mutex> g(m_);
    pending_.store(true);
  }
  cv_.notify_one();
}

void TWaker::Wait(int timeout_ms) {
  std::unique_lock<std::mutex> g(m_);
  waiting_.store(true);
  cv_.wait_for(g, std::chrono::milliseconds(timeout_ms), [this] { return pending_.load(); });
  waiting_.store(false);
  pending_.store(false);
}
