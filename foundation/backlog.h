// The persistent backlog of outgoing messages: an index file and numbered data
// files under dir/NameBack, drained oldest first by the link.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>

class TBackSoobString {
 public:
  explicit TBackSoobString(std::string dir = "");
  void Init();
  bool GetSoob(std::string& text);
  void DeleteSoob();
  void DeleteAll();
  int32_t FCount();
  int32_t FirstNumb();
  int32_t LastNumb();

  std::string NameBack;
  static constexpr uint32_t Pref = 0x0FEEFFFF;

 private:
  std::string dir_;
  std::mutex lock_;
  int32_t FCount_ = 0;
  int32_t FirstNumb_ = 0;
  int32_t LastNumb_ = 0;
};
