#include "link/waker.h"

void TWaker::Wake() {
  {
    std::lock_guard<std::mutex> g(m_);
    pending_ = true;
  }
  cv_.notify_one();
}

void TWaker::Wait(int timeout_ms) {
  std::unique_lock<std::mutex> g(m_);
  cv_.wait_for(g, std::chrono::milliseconds(timeout_ms), [this] { return pending_; });
  pending_ = false;
}
