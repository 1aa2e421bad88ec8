#include "foundation/fifo.h"

#include <utility>

namespace och_detail {

template <class Item>
void Ring<Item>::Resize(int n) {
  if (n < 0) n = 0;
  FSendBuf.resize(static_cast<size_t>(n));
  FSize = n;
  // Resizing happens before the queue is shared and to 0 before it goes; a
  // head or tail that no longer names a slot would address storage that is
  // gone, so the ring then starts over empty.
  if (n == 0 || BeginOc >= n || EndOc > n) {
    for (auto& item : FSendBuf) Item().swap(item);
    BeginOc = 0;
    EndOc = 0;
    Full = false;
  }
}

template <class Item>
bool Ring<Item>::Put(Item&& item) {
  if (EndOc >= 0 && EndOc < FSize) {
    if (EndOc == BeginOc && Full) return false;
    FSendBuf[static_cast<size_t>(EndOc)] = std::move(item);
    if (++EndOc >= FSize) EndOc = 0;
    if (EndOc == BeginOc) Full = true;
    return true;
  }
  // The tail is past the last slot: go on at slot 0 unless the head is there.
  if (BeginOc == 0 || FSize <= 0) return false;
  FSendBuf[0] = std::move(item);
  EndOc = 1;
  if (EndOc == BeginOc) Full = true;
  return true;
}

template <class Item>
Item Ring<Item>::TakeHead() {
  Item out = std::move(FSendBuf[static_cast<size_t>(BeginOc)]);
  Release();
  return out;
}

template <class Item>
void Ring<Item>::Release() {
  Item().swap(FSendBuf[static_cast<size_t>(BeginOc)]);
  if (++BeginOc >= FSize) BeginOc = 0;
  if (BeginOc != EndOc) Full = false;
}

template <class Item>
int Ring<Item>::Items() const {
  if (Full) return FSize;
  return EndOc >= BeginOc ? EndOc - BeginOc : FSize - BeginOc + EndOc;
}

template class Ring<std::vector<uint8_t>>;
template class Ring<std::string>;

}  // namespace och_detail

// ---- OchFIFO ---------------------------------------------------------------

void OchFIFO::PSize(int n) {
  std::lock_guard<std::mutex> g(lock_);
  ring_.Resize(n);
}

bool OchFIFO::PutSoob(const uint8_t* data, size_t len) {
  std::vector<uint8_t> item;
  if (data != nullptr && len > 0) item.assign(data, data + len);
  std::lock_guard<std::mutex> g(lock_);
  return ring_.Put(std::move(item));
}

bool OchFIFO::IsSoob() {
  std::lock_guard<std::mutex> g(lock_);
  return !ring_.Empty();
}

bool OchFIFO::GetSoob(std::vector<uint8_t>& out) {
  std::lock_guard<std::mutex> g(lock_);
  if (ring_.Empty()) return false;
  out = ring_.Head();
  return !out.empty();
}

bool OchFIFO::GetSoobD(std::vector<uint8_t>& out) {
  std::lock_guard<std::mutex> g(lock_);
  if (ring_.Empty()) return false;
  out = ring_.TakeHead();
  return !out.empty();
}

void OchFIFO::DeleteSoob() {
  std::lock_guard<std::mutex> g(lock_);
  if (!ring_.Empty()) ring_.Release();
}

int OchFIFO::Items() {
  std::lock_guard<std::mutex> g(lock_);
  return ring_.Items();
}

// ---- OchFIFOJSON -----------------------------------------------------------

void OchFIFOJSON::PSize(int n) {
  std::lock_guard<std::mutex> g(lock_);
  ring_.Resize(n);
}

bool OchFIFOJSON::PutSoob(const std::string& text) {
  if (text.empty()) return false;
  std::string item = text;
  std::lock_guard<std::mutex> g(lock_);
  if (!ring_.Put(std::move(item))) return false;
  ++Count_;
  return true;
}

bool OchFIFOJSON::IsSoob() {
  std::lock_guard<std::mutex> g(lock_);
  return !ring_.Empty();
}

bool OchFIFOJSON::GetSoob(std::string& out) {
  std::lock_guard<std::mutex> g(lock_);
  if (ring_.Empty()) return false;
  out = ring_.Head();
  return true;
}

bool OchFIFOJSON::GetSoobD(std::string& out) {
  std::lock_guard<std::mutex> g(lock_);
  if (ring_.Empty()) return false;
  out = ring_.TakeHead();
  return true;
}

void OchFIFOJSON::DeleteSoob() {
  std::lock_guard<std::mutex> g(lock_);
  if (!ring_.Empty()) ring_.Release();
}

int OchFIFOJSON::Items() {
  std::lock_guard<std::mutex> g(lock_);
  return ring_.Items();
}

int OchFIFOJSON::Count() {
  std::lock_guard<std::mutex> g(lock_);
  return Count_;
}
