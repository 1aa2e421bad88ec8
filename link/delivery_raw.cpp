// Raw messages (record updates, deletions, history streams, batches), raw
// record streams applied to the history objects, and archives. Every length
// and offset comes from the server: each is checked against what the buffer
// or file holds, and against the history cap, before anything is allocated.
#include <algorithm>
#include <cstring>

#include "foundation/json.h"
#include "link/delivery.h"
#include "platform/files.h"
#include "platform/text1251.h"

namespace {

int32_t LE32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) |
                              (static_cast<uint32_t>(p[3]) << 24));
}

class MemorySource : public TRawSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(static_cast<int64_t>(size)) {}
  int64_t Remaining() const override { return size_ - pos_; }
  bool Read(void* out, int64_t n) override {
    if (n < 0 || n > Remaining()) return false;
    if (n) std::memcpy(out, data_ + pos_, static_cast<size_t>(n));
    pos_ += n;
    return true;
  }
  void Skip(int64_t n) override { pos_ += std::clamp<int64_t>(n, 0, Remaining()); }
  int64_t Position() const override { return pos_; }

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t pos_ = 0;
};

class FileSource : public TRawSource {
 public:
  FileSource(plat::File& f, int64_t start) : f_(f), size_(f.Size()), pos_(std::min(start, size_)) {}
  int64_t Remaining() const override { return size_ - pos_; }
  bool Read(void* out, int64_t n) override {
    if (n < 0 || n > Remaining()) return false;
    if (!f_.Seek(pos_) || !f_.ReadExact(out, n)) {
      pos_ = size_;
      return false;
    }
    pos_ += n;
    return true;
  }
  void Skip(int64_t n) override { pos_ += std::clamp<int64_t>(n, 0, Remaining()); }
  int64_t Position() const override { return pos_; }

 private:
  plat::File& f_;
  int64_t size_;
  int64_t pos_;
};

constexpr int kFileOpenAttempts = 401;

struct SegmentHeader {
  std::string Name;
  int32_t Sm[3];
  int32_t Size[3];
};

SegmentHeader ReadSegmentHeader(const uint8_t* h) {
  SegmentHeader s;
  s.Name = ReadShortStringField(h, 31);
  for (int i = 0; i < 3; ++i) {
    s.Sm[i] = LE32(h + 31 + 8 * i);
    s.Size[i] = LE32(h + 35 + 8 * i);
  }
  return s;
}

void LogError(TDeliveryIO& io, int64_t pos, const uint8_t* bytes, size_t n) {
  io.Log(W1251("Ошибка ") + std::to_string(pos) + " " + BytesToHex(bytes, n));
}

// Writes bytes into a history file at offset sm, creating it when missing.
void WriteAt(const std::string& path, int64_t sm, const std::string& bytes) {
  if (path.empty()) return;
  plat::File f;
  if (!f.Open(path, plat::File::kOpenOrCreate, kFileOpenAttempts)) return;
  if (f.Seek(sm)) f.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TruncateFile(const std::string& path) {
  if (path.empty() || !plat::FileExists(path)) return;
  plat::File f;
  if (f.Open(path, plat::File::kReadWrite, kFileOpenAttempts)) f.Truncate(0);
}

const THistorySegment kSegments[3] = {THistorySegment::Memo, THistorySegment::Zap,
                                      THistorySegment::Zag};

}  // namespace

void TDelivery::ApplyRaw(TDeliveryIO& io, const uint8_t* data, size_t size) {
  if (size < 4) return;
  const int32_t kind = LE32(data);
  data += 4;
  size -= 4;
  switch (kind) {
    case kRawHistory: {
      MemorySource src(data, size);
      ApplyRawStream(io, src, false);
      io.HistoryDelivered();
      return;
    }
    case kRawRecord:
      ApplyRecord(data, size);
      return;
    case kRawDelete:
      ApplyDelete(data, size);
      return;
    case kRawBatch: {
      if (size < 1) return;
      const int n = data[0];
      size_t p = 1;
      for (int i = 0; i < n && size - p >= 4; ++i) {
        const int32_t len = LE32(data + p);
        p += 4;
        if (len < 0 || static_cast<size_t>(len) > size - p) break;
        // Batches do not nest: an inner block of kind 4 is ignored.
        if (len >= 4) {
          const int32_t inner = LE32(data + p);
          if (inner >= kRawHistory && inner <= kRawDelete)
            ApplyRaw(io, data + p, static_cast<size_t>(len));
        }
        p += static_cast<size_t>(len);
      }
      io.Log("raw10 " + std::to_string(n));
      return;
    }
    default:
      return;
  }
}

void TDelivery::ApplyRecord(const uint8_t* data, size_t size) {
  if (size < 13) return;
  TBaseClient* t = FindTable(ReadShortStringField(data, 9));
  if (!t) return;
  t->PutDataFieldPos(LE32(data + 9), data, size);
  t->RefreshYes = true;
  t->RefreshData();
}

void TDelivery::ApplyDelete(const uint8_t* data, size_t size) {
  std::string name;
  int32_t n_abs = 0;
  if (!ReadDeletionNotice(data, size, name, n_abs)) return;
  TBaseClient* t = FindTable(name);
  if (!t) return;
  t->DeletedRecordL(n_abs);
  t->RefreshYes = true;
  t->RefreshData();
}

void TDelivery::ApplyRawStream(TDeliveryIO& io, TRawSource& src, bool from_file) {
  constexpr int64_t kMinRecord = kZagNetSize + 38;  // 56: a header and a segment header
  while (src.Remaining() >= kMinRecord) {
    const int64_t at = src.Position();
    uint8_t zn[kZagNetSize];
    if (!src.Read(zn, kZagNetSize)) return;
    const int32_t command = LE32(zn + 1);
    const int32_t data_size = LE32(zn + 5);
    if (command != kHistoryCommand) {
      if (data_size < 0) {
        // Would walk backwards for ever.
        LogError(io, at, zn, sizeof zn);
        return;
      }
      src.Skip(data_size);
      continue;
    }
    if (src.Remaining() < kMinRecord) return;
    uint8_t hb[kSegmentHeaderSize];
    if (!src.Read(hb, kSegmentHeaderSize)) return;
    const SegmentHeader sh = ReadSegmentHeader(hb);
    THistory* h = FindHistory(sh.Name);
    if (!h) {
      for (int i = 0; i < 3; ++i)
        if (sh.Size[i] > 0) src.Skip(sh.Size[i]);
      continue;
    }
    if (from_file) io.Log(W1251("Разбор сообщений ") + sh.Name + " " + std::to_string(sh.Size[0]));
    h->NotSoob = false;
    for (int i = 0; i < 3; ++i) {
      const THistorySegment seg = kSegments[i];
      const int64_t sm = sh.Sm[i], s = sh.Size[i];
      if (s > 0) {
        if (src.Remaining() >= s) {
          if (sm < 0 || s > MaxHistoryArray || sm > MaxHistoryArray - s) {
            // An offset or size no history reaches: the segment is skipped.
            LogError(io, at, hb, sizeof hb);
            src.Skip(s);
          } else {
            std::string bytes(static_cast<size_t>(s), '\0');
            if (!src.Read(bytes.data(), s)) return;
            if (h->PutSegment(seg, sm, bytes.data(), bytes.size()))
              WriteAt(h->SegmentPath(seg), sm, bytes);
            else
              LogError(io, at, hb, sizeof hb);
          }
        } else {
          src.Skip(s);
        }
        if (seg == THistorySegment::Zag) h->REfresh = true;
      } else if (s == 0) {
        h->ClearSegment(seg);
        // The file follows the array, or the next load would bring the old bytes back.
        TruncateFile(h->SegmentPath(seg));
        h->REfresh = true;
      }
    }
    if (sh.Sm[2] != h->LastSmS.load()) {
      h->LastSmS = sh.Sm[2];
      if (!from_file)
        io.Notice("{\"$c$\":\"refsoob\",\"name\":\"" + h->Name + "\",\"sm\":\"" +
                  std::to_string(sh.Sm[2]) + "\",\"si\":\"" + std::to_string(sh.Size[2]) + "\"}");
    }
    h->ParseHeaderLocked();
  }
}

bool TDelivery::ApplyHistoryFile(TDeliveryIO& io, const std::string& path) {
  plat::File f;
  if (!f.Open(path, plat::File::kRead, kFileOpenAttempts)) return false;
  FileSource src(f, 4);
  ApplyRawStream(io, src, true);
  return true;
}

bool TDelivery::ApplyArchive(TDeliveryIO& io, const std::string& path, const std::string& main_dir,
                             const std::string& server_port) {
  ArchiveFileName.clear();
  ArchiveName.clear();
  plat::File f;
  if (!f.Open(path, plat::File::kRead, kFileOpenAttempts)) return false;
  FileSource src(f, 0);
  uint8_t hb[kSegmentHeaderSize];
  if (src.Remaining() < kSegmentHeaderSize || !src.Read(hb, kSegmentHeaderSize)) return false;
  const SegmentHeader sh = ReadSegmentHeader(hb);
  THistory place(sh.Name, main_dir);
  place.ServerPort = server_port;
  const std::string rel = place.NewSoob(sh.Name);
  if (rel.empty()) {
    // Not a plain history name: it must not choose where files go.
    LogError(io, 0, hb, sizeof hb);
    return false;
  }
  const std::string stem = place.ServerDir() + "/" + rel;
  for (int i = 0; i < 3; ++i) {
    // An absent segment leaves its file as it is rather than emptying it.
    const int64_t s = sh.Size[i];
    if (s < 0) continue;
    if (s > src.Remaining() || s > MaxHistoryArray) {
      LogError(io, src.Position(), hb, sizeof hb);
      break;
    }
    std::string bytes(static_cast<size_t>(s), '\0');
    if (!src.Read(bytes.data(), s)) break;
    plat::WriteFileAtomic(stem + THistory::Extension(kSegments[i]), bytes);
  }
  io.Notice("{\"$c$\":\"archiveload\",\"name\":\"" + JSONString(sh.Name) + "\"}");
  return true;
}
