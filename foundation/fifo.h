// Bounded locked ring queues. Capacity is fixed at creation (PSize, before any
// other thread uses the queue); a full queue refuses. Items are copies.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class OchFIFO {
 public:
  OchFIFO() = default;
  explicit OchFIFO(int size) { PSize(size); }
  void PSize(int n);
  int Size() const { return FSize; }
  bool PutSoob(const uint8_t* data, size_t len);
  bool PutSoob(const std::vector<uint8_t>& item) { return PutSoob(item.data(), item.size()); }
  bool IsSoob();
  bool GetSoob(std::vector<uint8_t>& out);
  bool GetSoobD(std::vector<uint8_t>& out);
  void DeleteSoob();
  int Items();  // items held now

 private:
  std::mutex lock_;
  std::vector<std::vector<uint8_t>> FSendBuf;
  int BeginOc = 0;
  int EndOc = 0;
  bool Full = false;
  int FSize = 0;
};

class OchFIFOJSON {
 public:
  OchFIFOJSON() = default;
  explicit OchFIFOJSON(int size) { PSize(size); }
  void PSize(int n);
  int Size() const { return FSize; }
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
  std::vector<std::string> FSendBuf;
  int BeginOc = 0;
  int EndOc = 0;
  bool Full = false;
  int FSize = 0;
  int Count_ = 0;
};
