// The table file the server delivers: header, column descriptors, then data
// blocks; possibly zlib-compressed as a whole. Loading it also rewrites the
// table's cache files.
#include <algorithm>
#include <cstring>

#include "platform/files.h"
#include "tables/base_client.h"
#include "tables/bytes.h"
#include "tables/cache.h"
#include "tables/column_data.h"
#include "tables/source.h"

namespace {

constexpr size_t kHeader = 21;
constexpr size_t kDescriptor = 37;

struct Descriptor {
  Stru_NetFields nf;
  int32_t listSize = 0;
};

Descriptor ReadDescriptor(const uint8_t* p) {
  Descriptor d;
  d.nf.n_abs = tables::LoadLE<int32_t>(p);
  d.nf.name = tables::ByteReader::FixedStringAt(p + 4, 16);
  d.nf.TypeField = p[20];
  d.nf.Size = tables::LoadLE<int32_t>(p + 21);
  d.nf.SprSize = tables::LoadLE<int32_t>(p + 25);
  d.listSize = tables::LoadLE<int32_t>(p + 33);
  return d;
}

// Reads r values of T straight into a new array; the column gets it only
// when every byte arrived.
template <typename T>
bool ReadArray(tables::TableSource& src, std::vector<T>& column, uint64_t count) {
  std::vector<T> v(static_cast<size_t>(count));
  if (!src.Read(v.data(), count * sizeof(T))) return false;
  column.swap(v);
  return true;
}

bool ReadRecords(tables::TableSource& src, FieldGFB& f, uint8_t type, int32_t size,
                 uint64_t count) {
  Stru_Data& d = f.Data;
  switch (type) {
    case kFieldInteger:
    case kFieldHex:
    case kFieldText:
      return ReadArray(src, d.DataInteger, count);
    case kFieldString:
    case kFieldBytes:
      return ReadArray(src, d.DataByte, count * static_cast<uint64_t>(size));
    case kFieldByte:
    case kFieldLookup8:
      return ReadArray(src, d.DataByte, count);
    case kFieldBoolean:
      return ReadArray(src, d.DataBoolean, count);
    case kFieldWord:
    case kFieldLookup16:
      return ReadArray(src, d.DataWord, count);
    case kFieldFloat:
      return ReadArray(src, d.DataFloat, count);
    case kFieldDouble:
      return ReadArray(src, d.DataDouble, count);
    case kFieldCardinal:
    case kFieldSeconds:
      return ReadArray(src, d.DataCardinal, count);
    case kFieldDateTime:
      return ReadArray(src, d.DataDateTime, count);
    case kFieldInt64:
      return ReadArray(src, d.DataInt64, count);
    default:
      return true;
  }
}

// The per-record bytes of a column as they lay in the file (the arrays hold
// them in the same little-endian layout).
std::pair<const uint8_t*, size_t> RecordBytesOf(const FieldGFB& f, uint8_t type) {
  const Stru_Data& d = f.Data;
  auto span = [](const auto& v) {
    return std::pair<const uint8_t*, size_t>(reinterpret_cast<const uint8_t*>(v.data()),
                                             v.size() * sizeof(v[0]));
  };
  switch (type) {
    case kFieldInteger:
    case kFieldHex:
    case kFieldText:
      return span(d.DataInteger);
    case kFieldString:
    case kFieldBytes:
    case kFieldByte:
    case kFieldLookup8:
      return span(d.DataByte);
    case kFieldBoolean:
      return span(d.DataBoolean);
    case kFieldWord:
    case kFieldLookup16:
      return span(d.DataWord);
    case kFieldFloat:
      return span(d.DataFloat);
    case kFieldDouble:
      return span(d.DataDouble);
    case kFieldCardinal:
    case kFieldSeconds:
      return span(d.DataCardinal);
    case kFieldDateTime:
      return span(d.DataDateTime);
    case kFieldInt64:
      return span(d.DataInt64);
    default:
      return {nullptr, 0};
  }
}

// Walks n dictionary entries (code of 4 bytes for type 15, 2 for type 16,
// then a short string), keeping their bytes in raw and, when f is given,
// their codes and texts in f.
bool ReadSourceDictionary(tables::TableSource& src, uint8_t type, int64_t n, std::string& raw,
                          FieldGFB* f) {
  const uint64_t codeBytes = type == kFieldLookup16 ? 4 : 2;
  if (n < 0 || static_cast<uint64_t>(n) * (codeBytes + 1) > src.MaxRemaining()) return false;
  std::vector<uint32_t> codes32;
  std::vector<uint16_t> codes16;
  std::vector<std::string> texts;
  std::string text;
  for (int64_t k = 0; k < n; ++k) {
    uint8_t code[4];
    if (!src.Read(code, codeBytes)) return false;
    raw.append(reinterpret_cast<const char*>(code), codeBytes);
    if (!src.ShortString(text, &raw)) return false;
    if (f == nullptr) continue;
    if (codeBytes == 4) {
      codes32.push_back(tables::LoadLE<uint32_t>(code));
    } else {
      codes16.push_back(tables::LoadLE<uint16_t>(code));
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

// Writes the cache file of a column just loaded: ".cache" for lookups and
// text pools, ".1cache" (and no ".cache") for every other kind.
void WriteBlockCache(const std::string& dir, const FieldGFB& f, uint8_t type, int32_t listSize,
                     const std::string& dict, const std::string& pool, bool haveRecords) {
  if (!tables::CacheNameOk(f.name)) return;
  const std::string cache = plat::JoinPath(dir, f.name + ".cache");
  std::pair<const uint8_t*, size_t> records{nullptr, 0};
  if (haveRecords) records = RecordBytesOf(f, type);
  const auto* dictBytes = reinterpret_cast<const uint8_t*>(dict.data());
  const auto* poolBytes = reinterpret_cast<const uint8_t*>(pool.data());
  if (type == kFieldLookup16 || type == kFieldLookup8) {
    // The cache counts entries in 16 bits; a longer dictionary is not cached.
    if (listSize > 0xFFFF) {
      plat::DeleteFile(cache);
      return;
    }
    uint8_t head[3] = {type, static_cast<uint8_t>(listSize), static_cast<uint8_t>(listSize >> 8)};
    const uint8_t* parts[] = {head, dictBytes, records.first};
    const size_t sizes[] = {3, dict.size(), records.second};
    tables::WriteColumnCache(cache, type, parts, sizes, 3);
  } else if (type == kFieldText) {
    const uint8_t* parts[] = {records.first, poolBytes};
    const size_t sizes[] = {records.second, pool.size()};
    tables::WriteColumnCache(cache, type, parts, sizes, 2);
  } else {
    plat::DeleteFile(cache);
    const uint8_t* parts[] = {records.first};
    const size_t sizes[] = {records.second};
    tables::WriteColumnCache(plat::JoinPath(dir, f.name + ".1cache"), type, parts, sizes, 1);
  }
}

}  // namespace

namespace tables {

// Applies a table file to t as it is read; the caller holds t's lock.
void LoadTableContent(TBaseClient& t, TableSource& src) {
  uint8_t header[kHeader];
  if (!src.Read(header, kHeader)) return;
  const std::string name = ByteReader::FixedStringAt(header, 9);
  const int32_t r = LoadLE<int32_t>(header + 9);
  const int32_t b = LoadLE<int32_t>(header + 13);
  const int32_t dCount = LoadLE<int32_t>(header + 17);
  const bool structureOnly = t.tamirx;
  if (structureOnly) {
    if (name.empty() || t.NameTableS.find(name) == std::string::npos) return;
  } else if (name != t.NameTableS) {
    return;
  }
  // Descriptors that the file cannot hold mean the file cannot be placed.
  const uint64_t d = dCount < 0 ? 0 : static_cast<uint64_t>(dCount);
  if (d * kDescriptor > src.MaxRemaining()) return;
  std::vector<uint8_t> image(2 + kHeader + kDescriptor * d);
  std::memcpy(image.data() + 2, header, kHeader);
  if (!src.Read(image.data() + 2 + kHeader, kDescriptor * d)) return;

  t.CountRecord = r;
  t.CountRecordFilter = r;

  const bool caching = t.Cache && CacheNameOk(t.NameTableS);
  const std::string dir = t.CacheDir();
  if (caching) {
    plat::ForceDirectories(dir);
    plat::DeleteFile(plat::JoinPath(dir, t.NameTableS + ".cacheb"));
  }
  for (size_t i = 0; i < d; ++i)
    t.AddField(ReadDescriptor(image.data() + 2 + kHeader + kDescriptor * i).nf);
  if (caching) WriteScrambled(plat::JoinPath(dir, t.NameTableS + ".cacheb"), image);
  if (structureOnly) return;

  if (b == 0)
    for (auto& f : t.Fields) f->Load = true;
  const uint64_t count = r > 0 ? static_cast<uint64_t>(r) : 0;
  std::string dict, pool;
  for (int32_t k = 0; k < b; ++k) {
    uint8_t raw[kDescriptor];
    if (!src.Read(raw, kDescriptor)) return;
    const Descriptor desc = ReadDescriptor(raw);
    const uint8_t type = desc.nf.TypeField;
    const int32_t bsize = desc.nf.Size;
    const bool lookup = type == kFieldLookup16 || type == kFieldLookup8;
    const bool storage = IsFixedKind(type) || lookup || type == kFieldText;
    // The block's length follows from its own descriptor; one that cannot be
    // read ends the blocks (nothing after it can be found).
    if (bsize < 0 || ((lookup || type == kFieldText) && desc.listSize < 0)) return;
    const uint64_t recordBytes = storage ? count * static_cast<uint64_t>(bsize) : 0;
    const uint64_t poolBytes = type == kFieldText ? static_cast<uint64_t>(desc.listSize) : 0;

    // A block naming a missing column, or whose sizes the column cannot hold,
    // is skipped.
    const int32_t pos = desc.nf.n_abs;
    FieldGFB* f = nullptr;
    if (pos >= 1 && static_cast<size_t>(pos) <= t.Fields.size() &&
        (!storage || FieldSizeValid(type, bsize)))
      f = t.Fields[pos - 1].get();
    dict.clear();
    FieldGFB staged(&t);  // the block's arrays, kept apart until it is whole
    if (lookup && !ReadSourceDictionary(src, type, desc.listSize, dict, f ? &staged : nullptr))
      return;
    if (f == nullptr) {
      if (!src.Skip(recordBytes + poolBytes)) return;
      continue;
    }
    if (recordBytes + poolBytes > src.MaxRemaining()) return;
    if (count > 0 && !ReadRecords(src, staged, type, bsize, count)) return;
    pool.assign(static_cast<size_t>(poolBytes), '\0');
    if (poolBytes != 0 && !src.Read(pool.data(), poolBytes)) return;
    f->TypeField = type;
    f->Size = bsize;
    f->Load = true;
    if (lookup) {
      f->Data.DataStringN.swap(staged.Data.DataStringN);
      if (type == kFieldLookup16) {
        f->Data.DataCardinal.swap(staged.Data.DataCardinal);
      } else {
        f->Data.DataWord.swap(staged.Data.DataWord);
      }
    }
    if (count > 0) {
      // The records arrived whole: they replace the column's array of that kind.
      Stru_Data& d = f->Data;
      Stru_Data& n = staged.Data;
      switch (type) {
        case kFieldInteger:
        case kFieldHex:
        case kFieldText:
          d.DataInteger.swap(n.DataInteger);
          break;
        case kFieldString:
        case kFieldBytes:
        case kFieldByte:
        case kFieldLookup8:
          d.DataByte.swap(n.DataByte);
          break;
        case kFieldBoolean:
          d.DataBoolean.swap(n.DataBoolean);
          break;
        case kFieldWord:
        case kFieldLookup16:
          d.DataWord.swap(n.DataWord);
          break;
        case kFieldFloat:
          d.DataFloat.swap(n.DataFloat);
          break;
        case kFieldDouble:
          d.DataDouble.swap(n.DataDouble);
          break;
        case kFieldCardinal:
        case kFieldSeconds:
          d.DataCardinal.swap(n.DataCardinal);
          break;
        case kFieldDateTime:
          d.DataDateTime.swap(n.DataDateTime);
          break;
        case kFieldInt64:
          d.DataInt64.swap(n.DataInt64);
          break;
        default:
          break;
      }
    }
    if (type == kFieldText && count > 0) f->Data.DataByte.assign(pool.begin(), pool.end());
    if (caching) WriteBlockCache(dir, *f, type, desc.listSize, dict, pool, count > 0);
  }
}

}  // namespace tables

void TBaseClient::LoadFromFile(const std::string& pathIn) {
  // Local paths use '/'; the link may hand over the "temp\name" form.
  std::string path = pathIn;
  std::replace(path.begin(), path.end(), '\\', '/');
  if (!plat::FileExists(path)) return;
  {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    // A damaged file counts as loaded too (what came before the damage
    // stays): the link would otherwise wait for this table forever.
    tables::TableSource src;
    if (src.Open(path, Zip)) tables::LoadTableContent(*this, src);
    LoadFileName.clear();
    FlagLoadData = true;
    RefreshYes = true;
    RefreshData();
    // Without a rebuild (no flags column yet) the header's count would
    // promise records that the visible list does not hold.
    if (CountRecordFilter > static_cast<int32_t>(SortData.size()))
      CountRecordFilter = static_cast<int32_t>(SortData.size());
  }
  plat::DeleteFile(path);
}
