#include "app/history/history.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

// A name that stays inside the folder it is put in.
bool PlainName(const std::string& n) {
  if (n.empty() || n == "." || n.find("..") != std::string::npos) return false;
  for (char c : n)
    if (c == '/' || c == '\\' || c == '\0') return false;
  return true;
}

// Whole file into out; a missing file is empty. False when it is larger than
// the cap or cannot be read.
bool ReadCapped(const std::string& path, std::string& out) {
  out.clear();
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return true;
  const auto size = fs::file_size(path, ec);
  if (ec) return true;
  if (size > static_cast<uintmax_t>(THistory::kMaxArray)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;
  out.resize(static_cast<size_t>(size));
  in.read(out.data(), static_cast<std::streamsize>(size));
  out.resize(static_cast<size_t>(in.gcount()));
  return true;
}

uint16_t U16(std::string_view b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) |
                               (static_cast<uint8_t>(b[at + 1]) << 8));
}

int32_t I32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) |
                              (static_cast<uint32_t>(p[3]) << 24));
}

}  // namespace

void THistoryData::ParseHeader() {
  if (Zag.empty()) return;
  const auto byte = [&](size_t i) -> uint16_t {
    return i < Zag.size() ? static_cast<uint8_t>(Zag[i]) : 0;
  };
  TypeFile = static_cast<uint8_t>(Zag[0]);
  if (TypeFile < 1 || TypeFile > 5) return;
  Ot = static_cast<uint8_t>(TypeFile + 2);
  Year = static_cast<uint16_t>(byte(1) | (byte(2) << 8));
  if (TypeFile >= 2) Month = byte(3);
  if (TypeFile >= 3) Day = byte(4);
  if (TypeFile >= 4) Hour = byte(5);
  if (TypeFile >= 5) Minute = byte(6);
}

THistory::THistory(std::string_view name, std::string main_dir) : Name(name.substr(0, kMaxName)) {
  if (main_dir.empty()) {
    std::error_code ec;
    main_dir = fs::current_path(ec).string();
  }
  MainDir = WithSlash(std::move(main_dir));
  std::error_code ec;
  fs::create_directories(MainDir + "temp", ec);
}

std::string THistory::ServerDir() const {
  std::string port = ServerPort;
  while (!port.empty() && (port.back() == '/' || port.back() == '\\')) port.pop_back();
  return MainDir + "temp/" + port;
}

const char* THistory::Extension(THistorySegment s) {
  switch (s) {
    case THistorySegment::Memo:
      return ".fm8";
    case THistorySegment::Zap:
      return ".fp8";
    case THistorySegment::Zag:
      return ".fz8";
  }
  return "";
}

std::string THistory::NewSoob(const std::string& name) const {
  if (!PlainName(name)) return "";
  const std::string base = ServerDir();
  const size_t us = name.find('_');
  const std::string digits = us == std::string::npos ? name : name.substr(us + 1);
  std::string path;
  std::error_code ec;
  if (digits.size() == 4) {
    fs::create_directories(base + "/" + digits, ec);
    path = digits + "/" + name;
  } else {
    const std::string yyyy = digits.substr(0, 4);
    const std::string mm = digits.size() > 4 ? digits.substr(4, 2) : "";
    // A name without a period would otherwise put its files beside the folders.
    if (yyyy.empty() || yyyy == "." || mm == ".") return "";
    if (mm.empty()) {
      fs::create_directories(base + "/" + yyyy, ec);
      path = yyyy + "/" + name;
    } else {
      fs::create_directories(base + "/" + yyyy + "/" + mm, ec);
      path = yyyy + "/" + mm + "/" + name;
    }
  }
  for (auto s : {THistorySegment::Memo, THistorySegment::Zap, THistorySegment::Zag}) {
    const std::string old_file = base + "/" + name + Extension(s);
    if (!fs::is_regular_file(old_file, ec)) continue;
    const std::string new_file = base + "/" + path + Extension(s);
    fs::rename(old_file, new_file, ec);
    if (ec) {
      // Another volume or a locked target: copy, then drop the old one.
      if (fs::copy_file(old_file, new_file, fs::copy_options::overwrite_existing, ec))
        fs::remove(old_file, ec);
    }
  }
  return path;
}

std::string THistory::SegmentPath(THistorySegment s) const {
  const std::string rel = NewSoob(Name);
  if (rel.empty()) return "";
  return ServerDir() + "/" + rel + Extension(s);
}

bool THistory::Load() {
  std::error_code ec;
  const std::string base = ServerDir();
  fs::create_directories(base, ec);
  const std::string rel = NewSoob(Name);
  if (rel.empty()) return false;
  const std::string stem = base + "/" + rel;
  std::string memo, zap, zag;
  if (!ReadCapped(stem + Extension(THistorySegment::Memo), memo) ||
      !ReadCapped(stem + Extension(THistorySegment::Zap), zap) ||
      !ReadCapped(stem + Extension(THistorySegment::Zag), zag))
    return false;
  {
    std::lock_guard<std::mutex> g(lock_);
    Memo.swap(memo);
    Zap.swap(zap);
    Zag.swap(zag);
    ParseHeader();
  }
  REfresh = true;
  return true;
}

std::string& THistory::Array(THistorySegment s) {
  switch (s) {
    case THistorySegment::Memo:
      return Memo;
    case THistorySegment::Zap:
      return Zap;
    case THistorySegment::Zag:
      break;
  }
  return Zag;
}

bool THistory::PutSegment(THistorySegment s, int64_t sm, const void* data, size_t size) {
  if (sm < 0 || static_cast<uint64_t>(size) > static_cast<uint64_t>(kMaxArray) ||
      sm > kMaxArray - static_cast<int64_t>(size))
    return false;
  std::lock_guard<std::mutex> g(lock_);
  std::string& a = Array(s);
  const size_t need = static_cast<size_t>(sm) + size;
  if (a.size() < need) a.resize(need);
  if (size) std::memcpy(a.data() + sm, data, size);
  return true;
}

void THistory::ClearSegment(THistorySegment s) {
  std::lock_guard<std::mutex> g(lock_);
  std::string().swap(Array(s));
}

void THistory::ParseHeaderLocked() {
  std::lock_guard<std::mutex> g(lock_);
  ParseHeader();
}

void THistory::Sizes(int64_t& memo, int64_t& zap, int64_t& zag) const {
  std::lock_guard<std::mutex> g(lock_);
  memo = static_cast<int64_t>(Memo.size());
  zap = static_cast<int64_t>(Zap.size());
  zag = static_cast<int64_t>(Zag.size());
}

THistoryData THistory::Snapshot() const {
  std::lock_guard<std::mutex> g(lock_);
  return static_cast<const THistoryData&>(*this);
}

int32_t THistoryRecord::I32(size_t at, int32_t def) const {
  if (!Payload || at > PayloadSize || PayloadSize - at < 4) return def;
  return ::I32(Payload + at);
}

size_t HistoryPayloadSize(uint16_t type) {
  switch (type) {
    case kHistWorkStarted:
    case kHistInstructionStarted:
    case kHistWorkEnded2:
      return 21;  // object, object name, technician, work kind at 1, 5, 13, 17
    case kHistInstructionEnded1:
    case kHistInstructionEnded2:
    case kHistWorkEnded1:
    case kHistWorkEnded3:
      return 17;  // four fields at 1, 5, 9 or 13
    default:
      return 0;
  }
}

THistoryWalk::THistoryWalk(std::string_view zag, std::string_view zap, size_t ot)
    : zag_(zag), zap_(zap), p_(ot), end_(zag.empty() ? 0 : zag.size() - 1) {}

bool THistoryWalk::Next(THistoryRecord& r) {
  while (p_ < end_) {
    if (static_cast<uint8_t>(zag_[p_]) != 0xFF) {
      while (p_ < end_ && static_cast<uint8_t>(zag_[p_]) != 0xFF) ++p_;
      if (p_ >= end_) return false;
    }
    if (zag_.size() - p_ < 7) {
      p_ = end_;
      return false;
    }
    const uint16_t type = U16(zag_, p_ + 1);
    const int32_t off = ::I32(reinterpret_cast<const uint8_t*>(zag_.data()) + p_ + 3);
    p_ += 7;
    const size_t need = 3 + HistoryPayloadSize(type);
    if (off < 0 || static_cast<size_t>(off) > zap_.size() ||
        zap_.size() - static_cast<size_t>(off) < need) {
      ++skipped_;
      continue;
    }
    const auto* rec = reinterpret_cast<const uint8_t*>(zap_.data()) + off;
    r.Hour = rec[0];
    r.Minute = rec[1];
    r.Second = rec[2];
    r.Type = type;
    r.Offset = off;
    r.Payload = rec + 3;
    r.PayloadSize = need - 3;
    return true;
  }
  return false;
}

std::string HistoryPoolString(std::string_view memo, int32_t ref) {
  if (ref < 0 || static_cast<size_t>(ref) >= memo.size()) return "";
  const size_t len = static_cast<uint8_t>(memo[static_cast<size_t>(ref)]);
  const size_t at = static_cast<size_t>(ref) + 1;
  if (memo.size() - at < len) return "";
  return std::string(memo.substr(at, len));
}
