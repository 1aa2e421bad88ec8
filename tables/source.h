// A delivered table file read front to back, plain or as one zlib stream
// (RFC 1950). Large reads go straight into the caller's memory (the column
// arrays), so a 100 MB file is neither held whole nor copied twice.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace tables {

class TableSource {
 public:
  // Inflated content beyond this is refused (a stream could claim any size).
  static constexpr uint64_t kMaxInflated = uint64_t{1} << 30;

  TableSource() = default;
  ~TableSource();
  TableSource(const TableSource&) = delete;
  TableSource& operator=(const TableSource&) = delete;

  bool Open(const std::string& path, bool zlib);
  // Exactly n bytes, or false (the source is then spent).
  bool Read(void* dst, uint64_t n);
  bool Skip(uint64_t n);
  // An upper bound of the bytes still to come: exact for a plain file; for a
  // stream, what its remaining compressed bytes can inflate to at most.
  uint64_t MaxRemaining() const;
  // Reads a short string at its actual length; its bytes are also appended to raw.
  bool ShortString(std::string& s, std::string* raw);

 private:
  bool Fill();
  bool Inflate(uint8_t* dst, uint64_t n);
  bool FillInput();

  plat::File file_;
  bool zlib_ = false;
  bool failed_ = false;
  int64_t fileLeft_ = 0;
  // Buffered bytes of the content (already inflated for a stream).
  std::vector<uint8_t> buf_;
  size_t pos_ = 0, len_ = 0;
  // Stream state.
  z_stream zs_{};
  bool zsInit_ = false;
  bool ended_ = false;
  std::vector<uint8_t> in_;
  uint64_t produced_ = 0;
};

}  // namespace tables
