// The persistent backlog of outgoing messages: an index file and numbered data
// files under dir/NameBack, drained oldest first by the link.
//
//   backsoob.dat  Pref (u32), FCount (i32), FirstNumb (i32), LastNumb (i32)
//   bsN.dat       entries: FF FF, i32 length L, L bytes of text, FE FF
//
// The oldest entry is the first one of bs<FirstNumb>.dat. Every operation holds
// the backlog's lock. The index is replaced through a temporary file, so a
// failed write keeps the previous one.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class TBackSoobString {
 public:
  static constexpr uint32_t Pref = 0x0FEEFFFF;
  static constexpr int kOpenAttempts = 5001;

  // dir: the folder holding the backlog folder (the current directory by default).
  explicit TBackSoobString(std::string dir = "");
  // Reads the index, or writes a fresh one; set NameBack first.
  void Init();
  // The oldest entry, left in place; false (text empty) when there is none.
  bool GetSoob(std::string& text);
  // Removes the oldest entry.
  void DeleteSoob();
  // Removes every data file and zeroes the index.
  void DeleteAll();
  int32_t FCount();
  int32_t FirstNumb();
  int32_t LastNumb();

  std::string FileName();     // the index file
  std::string FileNameTek();  // the data file of the oldest entry

  std::string NameBack;

 private:
  std::string Folder() const;
  std::string DataFile(int32_t n) const;
  bool WriteIndex();
  void DeleteAllLocked();
  // Numbers of the data files present with lo <= n <= hi.
  std::vector<int32_t> DataFilesIn(int32_t lo, int32_t hi) const;
  // Steps past an emptied or missing oldest data file while newer ones exist.
  // False when no data file is left to read (the backlog was then cleared).
  bool SkipEmptyFiles();

  std::string dir_;
  std::mutex lock_;
  bool ready_ = false;  // Init ran with a name
  int32_t FCount_ = 0;
  int32_t FirstNumb_ = 0;
  int32_t LastNumb_ = 0;
};
