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
#include "tables/inflate.h"

namespace {

constexpr size_t kHeader = 21;
constexpr size_t kDescriptor = 37;
// Inflated content beyond this is refused (a hostile stream could claim any size).
constexpr size_t kMaxInflated = size_t{1} << 30;

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

bool ReadTableFile(const std::string& path, std::vector<uint8_t>& out) {
  plat::File f;
  if (!f.Open(path, plat::File::kRead, 401)) return false;
  const int64_t size = f.Size();
  if (size < 0) return false;
  out.resize(static_cast<size_t>(size));
  return size == 0 || f.ReadExact(out.data(), size);
}

// Writes the cache file of one column from the block's bytes as they lie in
// the table file: dict (type 15/16 dictionary), then data.
void WriteBlockCache(const std::string& dir, const FieldGFB& f, uint8_t type, int32_t listSize,
                     const uint8_t* dict, size_t dictLen, const uint8_t* data, size_t dataLen) {
  if (!tables::CacheNameOk(f.name)) return;
  const std::string cache = plat::JoinPath(dir, f.name + ".cache");
  if (type == kFieldLookup16 || type == kFieldLookup8) {
    // The cache counts entries in 16 bits; a longer dictionary is not cached.
    if (listSize > 0xFFFF) {
      plat::DeleteFile(cache);
      return;
    }
    uint8_t head[3] = {type, static_cast<uint8_t>(listSize), static_cast<uint8_t>(listSize >> 8)};
    const uint8_t* parts[] = {head, dict, data};
    const size_t sizes[] = {3, dictLen, dataLen};
    tables::WriteColumnCache(cache, type, parts, sizes, 3);
  } else if (type == kFieldText) {
    const uint8_t* parts[] = {data};
    const size_t sizes[] = {dataLen};
    tables::WriteColumnCache(cache, type, parts, sizes, 1);
  } else {
    plat::DeleteFile(cache);
    const uint8_t* parts[] = {data};
    const size_t sizes[] = {dataLen};
    tables::WriteColumnCache(plat::JoinPath(dir, f.name + ".1cache"), type, parts, sizes, 1);
  }
}

}  // namespace

namespace tables {

// Applies the (inflated) content of a table file to t; the caller holds t's lock.
void LoadTableContent(TBaseClient& t, const uint8_t* data, size_t size) {
  if (size < kHeader) return;
  const std::string name = ByteReader::FixedStringAt(data, 9);
  const int32_t r = LoadLE<int32_t>(data + 9);
  const int32_t b = LoadLE<int32_t>(data + 13);
  const int32_t dCount = LoadLE<int32_t>(data + 17);
  const bool structureOnly = t.tamirx;
  if (structureOnly) {
    if (name.empty() || t.NameTableS.find(name) == std::string::npos) return;
  } else if (name != t.NameTableS) {
    return;
  }
  // Descriptors that the file does not hold mean the file cannot be placed.
  const size_t d = dCount < 0 ? 0 : static_cast<size_t>(dCount);
  if (d > (size - kHeader) / kDescriptor) return;

  t.CountRecord = r;
  t.CountRecordFilter = r;

  const bool caching = t.Cache && CacheNameOk(t.NameTableS);
  const std::string dir = t.CacheDir();
  if (caching) {
    plat::ForceDirectories(dir);
    plat::DeleteFile(plat::JoinPath(dir, t.NameTableS + ".cacheb"));
  }
  for (size_t i = 0; i < d; ++i) t.AddField(ReadDescriptor(data + kHeader + kDescriptor * i).nf);
  if (caching) {
    std::vector<uint8_t> image(2 + kHeader + kDescriptor * d);
    std::memcpy(image.data() + 2, data, kHeader + kDescriptor * d);
    WriteScrambled(plat::JoinPath(dir, t.NameTableS + ".cacheb"), image);
  }
  if (structureOnly) return;

  if (b == 0)
    for (auto& f : t.Fields) f->Load = true;
  ByteReader rd(data + kHeader + kDescriptor * d, size - kHeader - kDescriptor * d);
  const uint64_t count = r > 0 ? static_cast<uint64_t>(r) : 0;
  for (int32_t k = 0; k < b; ++k) {
    if (!rd.Has(kDescriptor)) return;
    const Descriptor desc = ReadDescriptor(rd.Here());
    rd.Skip(kDescriptor);
    const uint8_t type = desc.nf.TypeField;
    const int32_t bsize = desc.nf.Size;
    // The block's length follows from its own descriptor; one that does not fit
    // in the file ends the blocks (nothing after it can be found).
    if (bsize < 0) return;
    const uint64_t records = count * static_cast<uint64_t>(bsize);
    const uint8_t* dict = rd.Here();
    size_t dictLen = 0;
    uint64_t dataLen = 0;
    if (IsFixedKind(type)) {
      dataLen = records;
    } else if (type == kFieldLookup16 || type == kFieldLookup8) {
      if (desc.listSize < 0) return;
      const size_t before = rd.Pos();
      if (!ReadDictionary(rd, type, desc.listSize, nullptr)) return;
      dictLen = rd.Pos() - before;
      dataLen = records;
    } else if (type == kFieldText) {
      if (desc.listSize < 0) return;
      dataLen = records + static_cast<uint64_t>(desc.listSize);
    }
    if (!rd.Has(dataLen)) return;
    const uint8_t* blockData = rd.Here();
    rd.Skip(dataLen);

    // A block naming a missing column, or whose sizes the column cannot hold,
    // is skipped.
    const int32_t pos = desc.nf.n_abs;
    if (pos < 1 || static_cast<size_t>(pos) > t.Fields.size()) continue;
    const bool storage = dataLen != 0 || dictLen != 0 || IsFixedKind(type) ||
                         type == kFieldLookup16 || type == kFieldLookup8 || type == kFieldText;
    if (storage && !FieldSizeValid(type, bsize)) continue;
    FieldGFB& f = *t.Fields[pos - 1];
    f.TypeField = type;
    f.Size = bsize;
    if (dictLen != 0 || type == kFieldLookup16 || type == kFieldLookup8) {
      ByteReader dr(dict, dictLen);
      ReadDictionary(dr, type, desc.listSize, &f);
    }
    f.Load = true;
    if (r > 0) {
      AssignRecords(f, type, bsize, blockData, r);
      if (type == kFieldText) {
        const uint8_t* pool = blockData + records;
        f.Data.DataByte.assign(pool, pool + desc.listSize);
      }
    }
    if (caching)
      WriteBlockCache(dir, f, type, desc.listSize, dict, dictLen, blockData,
                      static_cast<size_t>(dataLen));
  }
}

}  // namespace tables

void TBaseClient::LoadFromFile(const std::string& pathIn) {
  // Local paths use '/'; the link may hand over the "temp\name" form.
  std::string path = pathIn;
  std::replace(path.begin(), path.end(), '\\', '/');
  if (!plat::FileExists(path)) return;
  // Reading and inflating need no lock; the main thread keeps reading meanwhile.
  std::vector<uint8_t> raw, inflated;
  bool ok = ReadTableFile(path, raw);
  const std::vector<uint8_t>* content = &raw;
  if (ok && Zip) {
    ok = tables::InflateZlib(raw.data(), raw.size(), inflated, kMaxInflated);
    raw.clear();
    raw.shrink_to_fit();
    content = &inflated;
  }
  {
    std::lock_guard<std::recursive_mutex> g(mutex_);
    // A damaged file counts as loaded too: the link would otherwise wait for
    // this table forever.
    if (ok) tables::LoadTableContent(*this, content->data(), content->size());
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
