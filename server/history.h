// Today's event history as the server keeps it: three files in the data folder,
// name + ".fz8" (period header and index), ".fp8" (records) and ".fm8" (string
// pool), and the byte forms in which workstations receive it: a whole archive,
// and raw record streams carrying what a workstation is missing.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "foundation/json.h"  // Bytes

namespace srv {

// Record types of technician events.
enum : uint16_t {
  kEvWorkStart = 0x0004,
  kEvInstrStart = 0xA004,
  kEvInstrEnd5 = 0xA005,
  kEvInstrEnd6 = 0xA006,
  kEvWorkEnd5 = 0xF005,
  kEvWorkEnd6 = 0xF006,
  kEvWorkEnd7 = 0xF007,
};

// The raw record command that carries history segments.
inline constexpr int32_t kHistorySegmentCommand = 0x0220000F;

struct HistoryEvent {
  uint16_t type = kEvWorkStart;
  int hour = 0, minute = 0, second = 0;
  int32_t object = 0;
  std::string object_name;  // empty: no object
  std::string technician;
  std::string work_kind;  // not carried by instruction ends
};

class ServerHistory {
 public:
  // name is "hx8_" + yyyymmdd; the files live in dir. Existing files are read.
  bool Open(const std::string& dir, const std::string& name, int year, int month, int day);
  const std::string& Name() const { return name_; }

  // save false leaves the files to the next append or Flush (many events at once).
  bool Append(const HistoryEvent& e, bool save = true);
  bool Flush() { return Save(); }

  const Bytes& Memo() const { return memo_; }
  const Bytes& Zap() const { return zap_; }
  const Bytes& Zag() const { return zag_; }

  // Segment header: name, then (offset, size) for Memo, Zap and Zag.
  Bytes SegmentHeader(int32_t sm_memo, int32_t size_memo, int32_t sm_zap, int32_t size_zap,
                      int32_t sm_zag, int32_t size_zag) const;
  // The archive: a segment header for the whole history, then Memo, Zap, Zag.
  Bytes Archive() const;
  // A raw record stream bringing a copy that holds memo, zap and zag bytes up to
  // date; empty when nothing is missing. False when the copy is not a prefix of ours.
  bool Growth(int64_t memo, int64_t zap, int64_t zag, Bytes& stream) const;

 private:
  int32_t Ref(const std::string& text);
  bool Save();

  std::string dir_, name_;
  Bytes memo_, zap_, zag_;
  std::map<std::string, int32_t> refs_;
  int64_t saved_[3] = {0, 0, 0};  // bytes of Memo, Zap, Zag already in the files
};

}  // namespace srv
