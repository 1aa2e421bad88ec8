#include "tables/source.h"

#include <algorithm>
#include <cstring>

namespace tables {

namespace {

constexpr size_t kWindow = size_t{1} << 20;
constexpr size_t kInput = size_t{256} << 10;
// Deflate cannot expand data by more than about 1032 to 1.
constexpr uint64_t kMaxRatio = 1100;

}  // namespace

TableSource::~TableSource() {
  if (zsInit_) inflateEnd(&zs_);
}

bool TableSource::Open(const std::string& path, bool zlib) {
  // The link's file may still be held for a moment: retry as its opener does.
  if (!file_.Open(path, plat::File::kRead, 401)) return false;
  fileLeft_ = file_.Size();
  if (fileLeft_ < 0) return false;
  zlib_ = zlib;
  buf_.resize(kWindow);
  if (zlib_) {
    if (inflateInit(&zs_) != Z_OK) return false;
    zsInit_ = true;
    in_.resize(kInput);
  }
  return true;
}

uint64_t TableSource::MaxRemaining() const {
  if (failed_) return 0;
  const uint64_t buffered = len_ - pos_;
  if (!zlib_) return buffered + static_cast<uint64_t>(fileLeft_);
  if (ended_) return buffered;
  const uint64_t compressed = static_cast<uint64_t>(fileLeft_) + zs_.avail_in;
  const uint64_t bound = compressed * kMaxRatio + 64;
  const uint64_t budget = kMaxInflated > produced_ ? kMaxInflated - produced_ : 0;
  return buffered + std::min(bound, budget);
}

bool TableSource::FillInput() {
  if (zs_.avail_in != 0 || fileLeft_ == 0) return true;
  const int64_t want = std::min<int64_t>(fileLeft_, static_cast<int64_t>(in_.size()));
  if (!file_.ReadExact(in_.data(), want)) return false;
  fileLeft_ -= want;
  zs_.next_in = in_.data();
  zs_.avail_in = static_cast<uInt>(want);
  return true;
}

// Inflates exactly n bytes into dst.
bool TableSource::Inflate(uint8_t* dst, uint64_t n) {
  while (n > 0) {
    if (ended_ || produced_ >= kMaxInflated) return false;
    if (!FillInput()) return false;
    const uInt chunk =
        static_cast<uInt>(std::min<uint64_t>({n, uint64_t{1} << 30, kMaxInflated - produced_}));
    zs_.next_out = dst;
    zs_.avail_out = chunk;
    const uInt hadIn = zs_.avail_in;
    const int rc = inflate(&zs_, Z_NO_FLUSH);
    const uInt got = chunk - zs_.avail_out;
    dst += got;
    n -= got;
    produced_ += got;
    if (rc == Z_STREAM_END) {
      ended_ = true;
    } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
      return false;
    } else if (got == 0 && zs_.avail_in == hadIn && fileLeft_ == 0) {
      return false;  // cut short
    }
  }
  return true;
}

bool TableSource::Fill() {
  if (failed_) return false;
  pos_ = 0;
  len_ = 0;
  if (!zlib_) {
    const int64_t want = std::min<int64_t>(fileLeft_, static_cast<int64_t>(buf_.size()));
    if (want == 0 || !file_.ReadExact(buf_.data(), want)) return false;
    fileLeft_ -= want;
    len_ = static_cast<size_t>(want);
    return true;
  }
  // As much as the stream gives, up to the window.
  while (len_ == 0) {
    if (ended_ || produced_ >= kMaxInflated || !FillInput()) return false;
    zs_.next_out = buf_.data();
    zs_.avail_out = static_cast<uInt>(std::min<uint64_t>(buf_.size(), kMaxInflated - produced_));
    const uInt avail = zs_.avail_out;
    const uInt hadIn = zs_.avail_in;
    const int rc = inflate(&zs_, Z_NO_FLUSH);
    len_ = avail - zs_.avail_out;
    produced_ += len_;
    if (rc == Z_STREAM_END) {
      ended_ = true;
    } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
      return false;
    } else if (len_ == 0 && zs_.avail_in == hadIn && fileLeft_ == 0) {
      return false;
    }
  }
  return true;
}

bool TableSource::Read(void* dst, uint64_t n) {
  auto* out = static_cast<uint8_t*>(dst);
  if (failed_) return false;
  if (n > MaxRemaining()) {
    failed_ = true;
    return false;
  }
  const size_t have = std::min<uint64_t>(n, len_ - pos_);
  if (have != 0) std::memcpy(out, buf_.data() + pos_, have);
  pos_ += have;
  out += have;
  n -= have;
  if (n == 0) return true;
  bool ok;
  if (n >= buf_.size()) {
    // Big blocks bypass the window.
    if (zlib_) {
      ok = Inflate(out, n);
    } else {
      ok = static_cast<uint64_t>(fileLeft_) >= n && file_.ReadExact(out, static_cast<int64_t>(n));
      if (ok) fileLeft_ -= static_cast<int64_t>(n);
    }
  } else {
    ok = true;
    while (ok && n > 0) {
      if (pos_ == len_ && !Fill()) {
        ok = false;
        break;
      }
      const size_t take = std::min<uint64_t>(n, len_ - pos_);
      std::memcpy(out, buf_.data() + pos_, take);
      pos_ += take;
      out += take;
      n -= take;
    }
  }
  if (!ok) failed_ = true;
  return ok;
}

bool TableSource::Skip(uint64_t n) {
  if (n > MaxRemaining()) {
    failed_ = true;
    return false;
  }
  uint8_t scratch[4096];
  while (n > 0) {
    const uint64_t take = std::min<uint64_t>(n, sizeof scratch);
    if (!Read(scratch, take)) return false;
    n -= take;
  }
  return true;
}

bool TableSource::ShortString(std::string& s, std::string* raw) {
  uint8_t n;
  if (!Read(&n, 1)) return false;
  s.resize(n);
  if (n != 0 && !Read(s.data(), n)) return false;
  if (raw != nullptr) {
    raw->push_back(static_cast<char>(n));
    raw->append(s);
  }
  return true;
}

}  // namespace tables
