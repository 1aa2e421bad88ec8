// Bounded locked ring queues. Capacity is fixed at creation (PSize, before any
// other thread uses the queue); a full queue refuses. Items are copies.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace och_detail {

// The ring shared by both queues; the queue's lock guards every call.
template <class Item>
class Ring {
 public:
  void Resize(int n);
  bool Empty() const { return BeginOc == EndOc && !Full; }
  bool Put(Item&& item);
  const Item& Head() const { return FSendBuf[static_cast<size_t>(BeginOc)]; }
  Item TakeHead();  // moves the head item out and releases its slot
  void Release();   // releases the head slot
  int Items() const;
  int FSize = 0;

 private:
  std::vector<Item> FSendBuf;
  int BeginOc = 0;  // the oldest item
  int EndOc = 0;    // where the next item goes
  bool Full = false;
};

extern template class Ring<std::vector<uint8_t>>;
extern template class Ring<std::string>;

}  // namespace och_detail

class OchFIFO {
 public:
  OchFIFO() = default;
  explicit OchFIFO(int size) { PSize(size); }
  void PSize(int n);
  int Size() const { return ring_.FSize; }
  // An empty block is stored, but reads of it report false.
  bool PutSoob(const uint8_t* data, size_t len);
  bool PutSoob(const std::vector<uint8_t>& item) { return PutSoob(item.data(), item.size()); }
  bool IsSoob();
  // Copies the head; true only for a block that is not empty.
  bool GetSoob(std::vector<uint8_t>& out);
  // Takes the head; true only for a block that is not empty.
  bool GetSoobD(std::vector<uint8_t>& out);
  void DeleteSoob();
  int Items();  // items held now

 private:
  std::mutex lock_;
  och_detail::Ring<std::vector<uint8_t>> ring_;
};

class OchFIFOJSON {
 public:
  OchFIFOJSON() = default;
  explicit OchFIFOJSON(int size) { PSize(size); }
  void PSize(int n);
  int Size() const { return ring_.FSize; }
  // An empty text is refused.
  bool PutSoob(const std::string& text);
  bool IsSoob();
  bool GetSoob(std::string& out);
  bool GetSoobD(std::string& out);
  void DeleteSoob();
  int Items();  // items held now
  // Texts ever accepted; never decreases.
  int Count();

 private:
  std::mutex lock_;
  och_detail::Ring<std::string> ring_;
  int Count_ = 0;
};
