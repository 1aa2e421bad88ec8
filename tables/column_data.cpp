#include "tables/column_data.h"

#include <cstring>
#include <iterator>

namespace tables {

namespace {

// Reads values of T from unaligned bytes, so that a vector can be built from
// the file in one pass (no zero fill before the copy).
template <typename T>
struct Unaligned {
  using iterator_category = std::random_access_iterator_tag;
  using value_type = T;
  using difference_type = std::ptrdiff_t;
  using pointer = const T*;
  using reference = T;
  const uint8_t* p;
  T operator*() const {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
  }
  Unaligned& operator++() {
    p += sizeof(T);
    return *this;
  }
  Unaligned operator++(int) {
    Unaligned o = *this;
    p += sizeof(T);
    return o;
  }
  difference_type operator-(const Unaligned& o) const {
    return (p - o.p) / static_cast<difference_type>(sizeof(T));
  }
  Unaligned& operator--() {
    p -= sizeof(T);
    return *this;
  }
  Unaligned operator--(int) {
    Unaligned o = *this;
    p -= sizeof(T);
    return o;
  }
  Unaligned operator+(difference_type n) const { return {p + n * sizeof(T)}; }
  Unaligned operator-(difference_type n) const { return {p - n * sizeof(T)}; }
  Unaligned& operator-=(difference_type n) {
    p -= n * sizeof(T);
    return *this;
  }
  Unaligned& operator+=(difference_type n) {
    p += n * sizeof(T);
    return *this;
  }
  T operator[](difference_type n) const { return *(*this + n); }
  bool operator==(const Unaligned& o) const { return p == o.p; }
  bool operator!=(const Unaligned& o) const { return p != o.p; }
  bool operator<(const Unaligned& o) const { return p < o.p; }
};

template <typename T>
void Fill(std::vector<T>& v, const uint8_t* src, int32_t r) {
  if (r <= 0) {
    v.clear();
    return;
  }
  v.assign(Unaligned<T>{src}, Unaligned<T>{src + sizeof(T) * static_cast<size_t>(r)});
}

}  // namespace

bool IsFixedKind(uint8_t type) {
  switch (type) {
    case kFieldInteger:
    case kFieldString:
    case kFieldByte:
    case kFieldBoolean:
    case kFieldWord:
    case kFieldFloat:
    case kFieldDouble:
    case kFieldCardinal:
    case kFieldDateTime:
    case kFieldBytes:
    case kFieldInt64:
    case kFieldHex:
    case kFieldSeconds:
      return true;
    default:
      return false;
  }
}

int64_t RecordBytes(uint8_t type, int32_t size) {
  if (type == kFieldString || type == kFieldBytes) return size;
  return FieldElementSize(type);
}

void AssignRecords(FieldGFB& f, uint8_t type, int32_t size, const uint8_t* src, int32_t r) {
  Stru_Data& d = f.Data;
  switch (type) {
    case kFieldInteger:
    case kFieldHex:
    case kFieldText:
      Fill(d.DataInteger, src, r);
      break;
    case kFieldString:
    case kFieldBytes:
      d.DataByte.assign(src, src + int64_t{size} * r);
      break;
    case kFieldByte:
    case kFieldLookup8:
      Fill(d.DataByte, src, r);
      break;
    case kFieldBoolean:
      Fill(d.DataBoolean, src, r);
      break;
    case kFieldWord:
    case kFieldLookup16:
      Fill(d.DataWord, src, r);
      break;
    case kFieldFloat:
      Fill(d.DataFloat, src, r);
      break;
    case kFieldDouble:
      Fill(d.DataDouble, src, r);
      break;
    case kFieldCardinal:
    case kFieldSeconds:
      Fill(d.DataCardinal, src, r);
      break;
    case kFieldDateTime:
      Fill(d.DataDateTime, src, r);
      break;
    case kFieldInt64:
      Fill(d.DataInt64, src, r);
      break;
    default:
      break;
  }
}

bool ReadDictionary(ByteReader& rd, uint8_t type, int64_t n, FieldGFB* f) {
  const size_t codeBytes = type == kFieldLookup16 ? 4 : 2;
  // Every entry takes at least its code and a length byte.
  if (n < 0 || !rd.Has(static_cast<uint64_t>(n) * (codeBytes + 1))) return false;
  std::vector<uint32_t> codes32;
  std::vector<uint16_t> codes16;
  std::vector<std::string> texts;
  if (f != nullptr) {
    texts.reserve(static_cast<size_t>(n));
    if (codeBytes == 4) {
      codes32.reserve(static_cast<size_t>(n));
    } else {
      codes16.reserve(static_cast<size_t>(n));
    }
  }
  std::string text;
  for (int64_t k = 0; k < n; ++k) {
    uint32_t c32 = 0;
    uint16_t c16 = 0;
    if (codeBytes == 4 ? !rd.Get(c32) : !rd.Get(c16)) return false;
    if (!rd.ShortString(text)) return false;
    if (f == nullptr) continue;
    if (codeBytes == 4) {
      codes32.push_back(c32);
    } else {
      codes16.push_back(c16);
    }
    texts.push_back(text);
  }
  if (f != nullptr) {
    if (codeBytes == 4) {
      f->Data.DataCardinal = std::move(codes32);
    } else {
      f->Data.DataWord = std::move(codes16);
    }
    f->Data.DataStringN = std::move(texts);
  }
  return true;
}

}  // namespace tables
