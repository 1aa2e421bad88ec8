// Record updates pushed by the server: the update form written at one index.
#include <algorithm>
#include <cstring>

#include "tables/base_client.h"
#include "tables/bytes.h"
#include "tables/column_data.h"

namespace {

// An update adds records at the end; a form that would grow the table by more
// than this in one go is not trusted with an allocation.
constexpr int64_t kMaxGrowth = 4096;
// A text pool may grow by this much in one update.
constexpr int64_t kMaxPoolGrowth = int64_t{1} << 20;

template <typename T>
void GrowTo(std::vector<T>& v, size_t n) {
  if (v.size() < n) v.resize(n);
}

void GrowColumn(FieldGFB& f, size_t count) {
  Stru_Data& d = f.Data;
  GrowTo(d.DataSelected, count);
  switch (f.TypeField) {
    case kFieldInteger:
    case kFieldHex:
    case kFieldText:
      GrowTo(d.DataInteger, count);
      break;
    case kFieldString:
    case kFieldBytes:
      if (FieldSizeValid(f.TypeField, f.Size)) GrowTo(d.DataByte, count * f.Size);
      break;
    case kFieldByte:
    case kFieldLookup8:
      GrowTo(d.DataByte, count);
      break;
    case kFieldBoolean:
      GrowTo(d.DataBoolean, count);
      break;
    case kFieldWord:
    case kFieldLookup16:
      GrowTo(d.DataWord, count);
      break;
    case kFieldFloat:
      GrowTo(d.DataFloat, count);
      break;
    case kFieldDouble:
      GrowTo(d.DataDouble, count);
      break;
    case kFieldCardinal:
    case kFieldSeconds:
      GrowTo(d.DataCardinal, count);
      break;
    case kFieldDateTime:
      GrowTo(d.DataDateTime, count);
      break;
    case kFieldInt64:
      GrowTo(d.DataInt64, count);
      break;
    default:
      break;
  }
}

template <typename T>
void StoreAt(std::vector<T>& v, int32_t i, const uint8_t* src) {
  if (i >= 0 && static_cast<size_t>(i) < v.size()) std::memcpy(&v[i], src, sizeof(T));
}

// Stores one fixed-size value at index i.
void StoreFixed(FieldGFB& f, int32_t i, const uint8_t* src) {
  Stru_Data& d = f.Data;
  switch (f.TypeField) {
    case kFieldInteger:
    case kFieldHex:
      StoreAt(d.DataInteger, i, src);
      break;
    case kFieldString:
    case kFieldBytes: {
      const uint64_t off = static_cast<uint64_t>(i) * f.Size;
      if (i >= 0 && off + f.Size <= d.DataByte.size()) std::memcpy(&d.DataByte[off], src, f.Size);
      break;
    }
    case kFieldByte:
      StoreAt(d.DataByte, i, src);
      break;
    case kFieldBoolean:
      StoreAt(d.DataBoolean, i, src);
      break;
    case kFieldWord:
      StoreAt(d.DataWord, i, src);
      break;
    case kFieldFloat:
      StoreAt(d.DataFloat, i, src);
      break;
    case kFieldDouble:
      StoreAt(d.DataDouble, i, src);
      break;
    case kFieldCardinal:
    case kFieldSeconds:
      StoreAt(d.DataCardinal, i, src);
      break;
    case kFieldDateTime:
      StoreAt(d.DataDateTime, i, src);
      break;
    case kFieldInt64:
      StoreAt(d.DataInt64, i, src);
      break;
    default:
      break;
  }
}

// The lookup text of code `code` becomes `text`, or a new entry when absent.
template <typename Codes>
void PutDictionary(Codes& codes, std::vector<std::string>& texts, uint32_t code,
                   const std::string& text) {
  const size_t n = std::min(codes.size(), texts.size());
  for (size_t k = 0; k < n; ++k) {
    if (codes[k] == code) {
      texts[k] = text;
      return;
    }
  }
  if (code == 0) return;
  codes.resize(n);
  texts.resize(n);
  codes.push_back(static_cast<typename Codes::value_type>(code));
  texts.push_back(text);
}

}  // namespace

void TBaseClient::PutDataFieldPos(int32_t index, const uint8_t* form, size_t size) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (form == nullptr || size < 17) return;
  const int32_t i = index;
  const int32_t count = tables::LoadLE<int32_t>(form + 13);
  CountRecord = count;

  if (!Fields.empty() && i >= 0 && static_cast<size_t>(i) >= Fields[0]->Data.DataInteger.size()) {
    const int64_t have = static_cast<int64_t>(Fields[0]->Data.DataInteger.size());
    if (count > 0 && count - have <= kMaxGrowth)
      for (auto& f : Fields) GrowColumn(*f, static_cast<size_t>(count));
  }

  tables::ByteReader rd(form + 17, size - 17);
  while (rd.Left() >= 2) {
    if (!rd.Has(16)) return;
    const std::string name = tables::ByteReader::FixedStringAt(rd.Here(), 16);
    rd.Skip(16);
    FieldGFB* f = FindField(name);
    // Without the column the value's length is unknown: the form ends here.
    if (f == nullptr) return;
    const uint8_t type = f->TypeField;
    if (tables::IsFixedKind(type)) {
      if (f->Size < 1 || !rd.Has(f->Size)) return;
      if (f->Load && FieldSizeValid(type, f->Size)) StoreFixed(*f, i, rd.Here());
      rd.Skip(f->Size);
    } else if (type == kFieldLookup16 || type == kFieldLookup8) {
      const bool wide = type == kFieldLookup16;
      if (f->Size != (wide ? 2 : 1) || f->SprSize < 1) return;
      uint32_t code = 0;
      if (wide) {
        uint16_t c;
        if (!rd.Get(c)) return;
        code = c;
      } else {
        uint8_t c;
        if (!rd.Get(c)) return;
        code = c;
      }
      std::string text;
      if (!rd.FixedString(text, static_cast<size_t>(f->SprSize))) return;
      if (!f->Load) continue;
      Stru_Data& d = f->Data;
      if (wide) {
        if (i >= 0 && static_cast<size_t>(i) < d.DataWord.size())
          d.DataWord[i] = static_cast<uint16_t>(code);
        PutDictionary(d.DataCardinal, d.DataStringN, code, text);
      } else {
        if (i >= 0 && static_cast<size_t>(i) < d.DataByte.size())
          d.DataByte[i] = static_cast<uint8_t>(code);
        PutDictionary(d.DataWord, d.DataStringN, code, text);
      }
    } else if (type == kFieldText) {
      int32_t poolSize, offset;
      if (!rd.Get(poolSize) || !rd.Get(offset)) return;
      const uint8_t* text = nullptr;
      if (offset != -1 && poolSize >= 1) {
        if (!rd.Has(1) || !rd.Has(1 + uint64_t{rd.Here()[0]})) return;
        text = rd.Here();
        rd.Skip(1 + uint64_t{text[0]});
      }
      Stru_Data& d = f->Data;
      if (!f->Load || i < 0 || static_cast<size_t>(i) >= d.DataInteger.size()) continue;
      auto& pool = d.DataByte;
      if (poolSize < 0 || poolSize - static_cast<int64_t>(pool.size()) > kMaxPoolGrowth) continue;
      pool.resize(static_cast<size_t>(poolSize));
      d.DataInteger[i] = offset;
      if (text != nullptr && offset >= 0 &&
          pool.size() >= static_cast<uint64_t>(offset) + text[0] + 1)
        std::memcpy(&pool[offset], text, 1 + size_t{text[0]});
    } else {
      return;  // no value layout for this type
    }
  }
}
