// Little-endian reads and short strings over untrusted byte buffers. Every
// read is checked against the buffer's end by the caller-visible cursor.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

namespace tables {

// A read cursor over [data, data + size).
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Pos() const { return pos_; }
  size_t Left() const { return size_ - pos_; }
  const uint8_t* Here() const { return data_ + pos_; }
  bool Has(uint64_t n) const { return n <= Left(); }
  bool Skip(uint64_t n) {
    if (!Has(n)) return false;
    pos_ += static_cast<size_t>(n);
    return true;
  }
  template <typename T>
  bool Get(T& v) {
    if (!Has(sizeof(T))) return false;
    std::memcpy(&v, data_ + pos_, sizeof(T));
    pos_ += sizeof(T);
    return true;
  }
  // A short string at its actual length: a length byte and that many bytes.
  bool ShortString(std::string& s) {
    if (!Has(1)) return false;
    const uint8_t n = data_[pos_];
    if (!Has(1 + uint64_t{n})) return false;
    s.assign(reinterpret_cast<const char*>(data_ + pos_ + 1), n);
    pos_ += 1 + n;
    return true;
  }
  // A short string in a fixed field of `width` bytes (length byte included).
  bool FixedString(std::string& s, size_t width) {
    if (width == 0 || !Has(width)) return false;
    s = FixedStringAt(data_ + pos_, width);
    pos_ += width;
    return true;
  }

  static std::string FixedStringAt(const uint8_t* p, size_t width) {
    size_t n = p[0];
    if (n > width - 1) n = width - 1;
    return std::string(reinterpret_cast<const char*>(p + 1), n);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

template <typename T>
inline T LoadLE(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the file formats are little-endian");

}  // namespace tables
