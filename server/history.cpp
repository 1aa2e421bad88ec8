#include "server/history.h"

#include "platform/files.h"
#include "server/table.h"

namespace srv {

bool ServerHistory::Open(const std::string& dir, const std::string& name, int year, int month,
                         int day) {
  dir_ = dir;
  name_ = name.substr(0, 30);
  memo_.clear();
  zap_.clear();
  zag_.clear();
  refs_.clear();
  if (!plat::ForceDirectories(dir)) return false;
  std::string base = plat::JoinPath(dir, name_);
  plat::ReadWholeFile(base + ".fm8", memo_, 64 << 20);
  plat::ReadWholeFile(base + ".fp8", zap_, 64 << 20);
  plat::ReadWholeFile(base + ".fz8", zag_, 64 << 20);
  saved_[0] = static_cast<int64_t>(memo_.size());
  saved_[1] = static_cast<int64_t>(zap_.size());
  saved_[2] = static_cast<int64_t>(zag_.size());
  if (zag_.size() < 5 || zag_[0] != 3) {
    memo_.clear();
    zap_.clear();
    saved_[0] = saved_[1] = saved_[2] = 0;
    zag_ = {3, static_cast<uint8_t>(year), static_cast<uint8_t>(year >> 8),
            static_cast<uint8_t>(month), static_cast<uint8_t>(day)};
    return Save();
  }
  for (size_t p = 0; p < memo_.size();) {
    size_t n = memo_[p];
    if (p + 1 + n > memo_.size()) break;
    refs_.emplace(std::string(memo_.begin() + static_cast<long>(p) + 1,
                              memo_.begin() + static_cast<long>(p + 1 + n)),
                  static_cast<int32_t>(p));
    p += 1 + n;
  }
  return true;
}

int32_t ServerHistory::Ref(const std::string& text) {
  if (text.empty()) return -1;
  std::string t = text.substr(0, 255);
  auto it = refs_.find(t);
  if (it != refs_.end()) return it->second;
  int32_t off = static_cast<int32_t>(memo_.size());
  PutShort(memo_, t);
  refs_.emplace(t, off);
  return off;
}

bool ServerHistory::Append(const HistoryEvent& e, bool save) {
  Bytes rec = {static_cast<uint8_t>(e.hour), static_cast<uint8_t>(e.minute),
               static_cast<uint8_t>(e.second), 0};
  int32_t obj_ref = Ref(e.object_name);
  int32_t tech_ref = Ref(e.technician);
  PutI32(rec, e.object);
  PutI32(rec, obj_ref);
  switch (e.type) {
    case kEvWorkStart:
    case kEvInstrStart:
    case kEvWorkEnd6:
      PutI32(rec, -1);
      PutI32(rec, tech_ref);
      PutI32(rec, Ref(e.work_kind));
      break;
    case kEvInstrEnd5:
    case kEvInstrEnd6:
      PutI32(rec, -1);
      PutI32(rec, tech_ref);
      break;
    case kEvWorkEnd5:
    case kEvWorkEnd7:
      PutI32(rec, tech_ref);
      PutI32(rec, Ref(e.work_kind));
      break;
    default:
      return false;
  }
  int32_t offset = static_cast<int32_t>(zap_.size());
  zap_.insert(zap_.end(), rec.begin(), rec.end());
  zag_.push_back(0xFF);
  PutU16(zag_, e.type);
  PutI32(zag_, offset);
  return !save || Save();
}

bool ServerHistory::Save() {
  // The three files only ever grow: write each one's new tail after what is
  // known to be on disk (a torn tail from a crash is cut off first).
  std::string base = plat::JoinPath(dir_, name_);
  const Bytes* parts[3] = {&memo_, &zap_, &zag_};
  const char* ext[3] = {".fm8", ".fp8", ".fz8"};
  bool ok = true;
  for (int i = 0; i < 3; ++i) {
    int64_t& saved = saved_[i];
    if (saved == static_cast<int64_t>(parts[i]->size())) continue;
    plat::File f;
    if (!f.Open(base + ext[i], plat::File::kOpenOrCreate) || !f.Truncate(saved) || !f.Seek(saved) ||
        !f.Write(parts[i]->data() + saved, static_cast<int64_t>(parts[i]->size()) - saved)) {
      ok = false;
      continue;
    }
    saved = static_cast<int64_t>(parts[i]->size());
  }
  return ok;
}

Bytes ServerHistory::SegmentHeader(int32_t sm_memo, int32_t size_memo, int32_t sm_zap,
                                   int32_t size_zap, int32_t sm_zag, int32_t size_zag) const {
  Bytes h;
  PutShortFixed(h, name_, 31);
  for (int32_t v : {sm_memo, size_memo, sm_zap, size_zap, sm_zag, size_zag}) PutI32(h, v);
  return h;
}

Bytes ServerHistory::Archive() const {
  Bytes out =
      SegmentHeader(0, static_cast<int32_t>(memo_.size()), 0, static_cast<int32_t>(zap_.size()), 0,
                    static_cast<int32_t>(zag_.size()));
  out.insert(out.end(), memo_.begin(), memo_.end());
  out.insert(out.end(), zap_.begin(), zap_.end());
  out.insert(out.end(), zag_.begin(), zag_.end());
  return out;
}

bool ServerHistory::Growth(int64_t memo, int64_t zap, int64_t zag, Bytes& stream) const {
  stream.clear();
  if (memo < 0 || zap < 0 || zag < 0 || memo > static_cast<int64_t>(memo_.size()) ||
      zap > static_cast<int64_t>(zap_.size()) || zag > static_cast<int64_t>(zag_.size()))
    return false;
  auto size = [](const Bytes& b, int64_t have) {
    // Nothing new is "absent" (negative); 0 would tell the copy to empty itself.
    int64_t n = static_cast<int64_t>(b.size()) - have;
    return static_cast<int32_t>(n > 0 ? n : -1);
  };
  int32_t sm = size(memo_, memo), sz = size(zap_, zap), sg = size(zag_, zag);
  if (sm < 0 && sz < 0 && sg < 0) return true;
  Bytes seg = SegmentHeader(static_cast<int32_t>(memo), sm, static_cast<int32_t>(zap), sz,
                            static_cast<int32_t>(zag), sg);
  if (sm > 0) seg.insert(seg.end(), memo_.begin() + memo, memo_.end());
  if (sz > 0) seg.insert(seg.end(), zap_.begin() + zap, zap_.end());
  if (sg > 0) seg.insert(seg.end(), zag_.begin() + zag, zag_.end());
  stream.push_back(0);                               // Zag
  PutI32(stream, kHistorySegmentCommand);            // Command
  PutI32(stream, static_cast<int32_t>(seg.size()));  // DataSize
  for (int i = 0; i < 8; ++i) stream.push_back(0);   // Count
  stream.push_back(0);                               // EndZag
  stream.insert(stream.end(), seg.begin(), seg.end());
  return true;
}

}  // namespace srv
