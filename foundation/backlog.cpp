#include "foundation/backlog.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/files.h"

namespace {

// Data files beyond this are not read into memory.
constexpr int64_t kMaxDataFile = int64_t{256} << 20;

uint32_t GetU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// The first entry of a data file. `end` is where the bytes after the entry
// begin; for an entry that does not read (no marker, a length past the end)
// it is the end of the file, since nothing behind it can be trusted.
struct Entry {
  bool ok = false;
  size_t end = 0;
  std::string text;
};

Entry FirstEntry(const std::vector<uint8_t>& d) {
  Entry e;
  const size_t n = d.size();
  e.end = n;
  size_t p = 0;
  if (n < 2 || d[0] != 0xFF || d[1] != 0xFF) {
    p = 1;
    while (p + 1 < n && !(d[p] == 0xFF && d[p + 1] == 0xFF)) ++p;
    if (p + 1 >= n) return e;  // no start marker
    // FE FF followed by FF FF is first seen one byte early, on the end
    // marker's FF: the entry starts one byte on.
    if (d[p - 1] == 0xFE && p + 2 < n && d[p + 2] == 0xFF) ++p;
  }
  if (n - p < 6) return e;
  const int32_t len = static_cast<int32_t>(GetU32(&d[p + 2]));
  if (len < 0) return e;
  const size_t text_at = p + 6;
  const size_t ulen = static_cast<size_t>(len);
  if (ulen > n - text_at) return e;
  const size_t mark_at = text_at + ulen;
  e.end = n - mark_at < 2 ? n : mark_at + 2;
  if (n - mark_at < 2 || d[mark_at] != 0xFE || d[mark_at + 1] != 0xFF) return e;
  e.ok = true;
  e.text.assign(reinterpret_cast<const char*>(&d[text_at]), ulen);
  return e;
}

bool ReadAll(plat::File& f, std::vector<uint8_t>& out) {
  const int64_t size = f.Size();
  if (size < 0 || size > kMaxDataFile || !f.Seek(0)) return false;
  out.resize(static_cast<size_t>(size));
  return size == 0 || f.ReadExact(out.data(), size);
}

}  // namespace

TBackSoobString::TBackSoobString(std::string dir)
    : dir_(dir.empty() ? plat::CurrentDir() : std::move(dir)) {}

std::string TBackSoobString::Folder() const {
  return plat::JoinPath(dir_, NameBack);
}

std::string TBackSoobString::DataFile(int32_t n) const {
  return plat::JoinPath(Folder(), "bs" + std::to_string(n) + ".dat");
}

std::string TBackSoobString::FileName() {
  std::lock_guard<std::mutex> g(lock_);
  return plat::JoinPath(Folder(), "backsoob.dat");
}

std::string TBackSoobString::FileNameTek() {
  std::lock_guard<std::mutex> g(lock_);
  return DataFile(FirstNumb_);
}

int32_t TBackSoobString::FCount() {
  std::lock_guard<std::mutex> g(lock_);
  return FCount_;
}

int32_t TBackSoobString::FirstNumb() {
  std::lock_guard<std::mutex> g(lock_);
  return FirstNumb_;
}

int32_t TBackSoobString::LastNumb() {
  std::lock_guard<std::mutex> g(lock_);
  return LastNumb_;
}

bool TBackSoobString::WriteIndex() {
  uint8_t b[16];
  PutU32(b, Pref);
  PutU32(b + 4, static_cast<uint32_t>(FCount_));
  PutU32(b + 8, static_cast<uint32_t>(FirstNumb_));
  PutU32(b + 12, static_cast<uint32_t>(LastNumb_));
  return plat::WriteFileAtomic(plat::JoinPath(Folder(), "backsoob.dat"), b, sizeof b);
}

void TBackSoobString::Init() {
  std::lock_guard<std::mutex> g(lock_);
  ready_ = false;
  FCount_ = 0;
  FirstNumb_ = 0;
  LastNumb_ = 0;
  if (NameBack.empty()) return;
  plat::ForceDirectories(Folder());
  ready_ = true;
  const std::string index = plat::JoinPath(Folder(), "backsoob.dat");
  if (plat::FileExists(index)) {
    plat::File f;
    if (!f.Open(index, plat::File::kRead, kOpenAttempts)) return;  // keep it; read nothing
    uint8_t b[16];
    const bool whole = f.ReadExact(b, sizeof b);
    f.Close();
    if (whole && GetU32(b) == Pref) {
      const auto count = static_cast<int32_t>(GetU32(b + 4));
      const auto first = static_cast<int32_t>(GetU32(b + 8));
      const auto last = static_cast<int32_t>(GetU32(b + 12));
      // Numbers that cannot describe a backlog are treated like a foreign
      // signature: the index starts over empty.
      if (count >= 0 && first >= 0 && last >= first) {
        FCount_ = count;
        FirstNumb_ = first;
        LastNumb_ = last;
        return;
      }
    }
    plat::DeleteFile(index);
  }
  FCount_ = 0;
  WriteIndex();
}

std::vector<int32_t> TBackSoobString::DataFilesIn(int32_t lo, int32_t hi) const {
  namespace fs = std::filesystem;
  // The folder is walked rather than the number range: the range comes from
  // disk and may be huge.
  std::vector<int32_t> found;
  std::error_code ec;
  for (fs::directory_iterator it(Folder(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() < 7 || name.compare(0, 2, "bs") != 0 ||
        name.compare(name.size() - 4, 4, ".dat") != 0)
      continue;
    const std::string digits = name.substr(2, name.size() - 6);
    if (digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      continue;
    const int64_t n = std::stoll(digits);
    if (n < lo || n > hi || name != "bs" + std::to_string(n) + ".dat") continue;
    found.push_back(static_cast<int32_t>(n));
  }
  return found;
}

void TBackSoobString::DeleteAllLocked() {
  for (int32_t n : DataFilesIn(FirstNumb_, LastNumb_)) plat::DeleteFile(DataFile(n));
  FCount_ = 0;
  FirstNumb_ = 0;
  LastNumb_ = 0;
  WriteIndex();
}

void TBackSoobString::DeleteAll() {
  std::lock_guard<std::mutex> g(lock_);
  if (ready_) DeleteAllLocked();
}

bool TBackSoobString::SkipEmptyFiles() {
  for (;;) {
    const std::string path = DataFile(FirstNumb_);
    if (plat::FileSize(path) > 0) return true;
    // Newer files may still hold entries: go on to the next one there is
    // instead of clearing them all.
    int32_t next = LastNumb_;
    bool more = false;
    if (FirstNumb_ < LastNumb_) {
      for (int32_t n : DataFilesIn(FirstNumb_ + 1, LastNumb_)) {
        if (n <= next) next = n;
        more = true;
      }
    }
    if (!more) {
      DeleteAllLocked();
      return false;
    }
    plat::DeleteFile(path);
    FirstNumb_ = next;
    WriteIndex();
  }
}

bool TBackSoobString::GetSoob(std::string& text) {
  std::lock_guard<std::mutex> g(lock_);
  text.clear();
  if (!ready_ || !SkipEmptyFiles()) return false;
  plat::File f;
  std::vector<uint8_t> data;
  if (!f.Open(DataFile(FirstNumb_), plat::File::kReadWrite, kOpenAttempts) || !ReadAll(f, data))
    return false;
  Entry e = FirstEntry(data);
  if (!e.ok) return false;
  text = std::move(e.text);
  return true;
}

void TBackSoobString::DeleteSoob() {
  std::lock_guard<std::mutex> g(lock_);
  if (!ready_ || FCount_ <= 0 || !SkipEmptyFiles()) return;
  const std::string path = DataFile(FirstNumb_);
  plat::File f;
  std::vector<uint8_t> data;
  if (!f.Open(path, plat::File::kReadWrite, kOpenAttempts) || !ReadAll(f, data)) return;
  const Entry e = FirstEntry(data);
  const size_t rest = data.size() - e.end;
  if (rest > 0 && !(f.Seek(0) && f.Write(data.data() + e.end, static_cast<int64_t>(rest)))) return;
  if (!f.Truncate(static_cast<int64_t>(rest))) return;
  f.Close();
  // Only a real entry counts; unreadable bytes are dropped without touching
  // the count, which the clearing of an empty backlog then settles.
  if (e.ok) {
    --FCount_;
    WriteIndex();
  }
  if (rest == 0 && FirstNumb_ != LastNumb_) {
    ++FirstNumb_;
    WriteIndex();
    plat::DeleteFile(path);
  }
}
