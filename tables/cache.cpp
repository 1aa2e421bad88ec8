#include "tables/cache.h"

#include <cstring>

#include "foundation/scrambler.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "tables/base_client.h"
#include "tables/bytes.h"
#include "tables/column_data.h"

namespace tables {

bool CacheNameOk(const std::string& name) {
  if (!plat::IsPlainFileName(name)) return false;
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

std::string HexUpper(const uint8_t* data, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out(n * 2, '0');
  for (size_t i = 0; i < n; ++i) {
    out[2 * i] = kDigits[data[i] >> 4];
    out[2 * i + 1] = kDigits[data[i] & 15];
  }
  return out;
}

bool WriteScrambled(const std::string& path, std::vector<uint8_t>& image) {
  if (image.size() < 2) return false;
  Random2Byte(image.data());
  EnDec(image, kCacheKey);
  return plat::WriteFileAtomic(path, image);
}

bool WriteColumnCache(const std::string& path, uint8_t type, const uint8_t* const* parts,
                      const size_t* sizes, int nparts) {
  size_t total = 0;
  for (int i = 0; i < nparts; ++i) total += sizes[i];
  std::vector<uint8_t> image(19 + total);
  size_t at = 19;
  for (int i = 0; i < nparts; ++i) {
    if (sizes[i] != 0) std::memcpy(image.data() + at, parts[i], sizes[i]);
    at += sizes[i];
  }
  image[2] = type;
  const auto md5 = plat::Md5(image.data() + 19, total);
  std::memcpy(image.data() + 3, md5.data(), 16);
  return WriteScrambled(path, image);
}

CacheRead ReadCacheFile(const std::string& path, std::vector<uint8_t>& out) {
  if (!plat::FileExists(path)) return CacheRead::kMissing;
  // Another instance may hold the file for a moment: retry for about 5 s.
  plat::File f;
  if (!f.Open(path, plat::File::kRead, 5001)) return CacheRead::kUnavailable;
  const int64_t size = f.Size();
  if (size < 0) return CacheRead::kUnavailable;
  out.resize(static_cast<size_t>(size));
  if (size > 0 && !f.ReadExact(out.data(), size)) return CacheRead::kUnavailable;
  EnDec(out, kCacheKey);
  return CacheRead::kOk;
}

bool LoadColumnCache(FieldGFB& f, const std::vector<uint8_t>& file, int32_t r, int32_t listSize) {
  if (file.size() < 19) return false;
  const uint8_t type = file[2];
  const uint8_t* content = file.data() + 19;
  const size_t clen = file.size() - 19;
  // A damaged cache must not pass for current: the server would not resend it.
  const auto md5 = plat::Md5(content, clen);
  if (std::memcmp(md5.data(), file.data() + 3, 16) != 0) return false;

  const int32_t size = f.Size;
  const bool fixed = IsFixedKind(type);
  const bool hasStorage =
      fixed || type == kFieldLookup16 || type == kFieldLookup8 || type == kFieldText;
  if (hasStorage && !FieldSizeValid(type, size)) return false;

  // Everything is checked before f changes, so a short file leaves f as it was.
  const bool fill = r > 0 && hasStorage;
  const uint64_t records = static_cast<uint64_t>(r > 0 ? r : 0) * static_cast<uint64_t>(size);
  ByteReader rd(content, clen);
  FieldGFB dict(f.GFBase);
  if (fill) {
    if (fixed) {
      // The content must hold r records; a longer one gives only r.
      if (!rd.Has(records)) return false;
    } else if (type == kFieldText) {
      if (listSize < 0 || !rd.Has(records + static_cast<uint64_t>(listSize))) return false;
    } else {
      uint8_t again;
      uint16_t n;
      if (!rd.Get(again) || !rd.Get(n)) return false;
      if (!ReadDictionary(rd, type, n, &dict)) return false;
      if (!rd.Has(records)) return false;
    }
  }

  f.MD5 = HexUpper(file.data() + 3, 16);
  f.TypeField = type;
  f.Load = true;
  if (!fill) return true;
  AssignRecords(f, type, size, rd.Here(), r);
  if (type == kFieldText) {
    const uint8_t* pool = rd.Here() + records;
    f.Data.DataByte.assign(pool, pool + listSize);
  } else if (type == kFieldLookup16) {
    f.Data.DataCardinal = std::move(dict.Data.DataCardinal);
    f.Data.DataStringN = std::move(dict.Data.DataStringN);
  } else if (type == kFieldLookup8) {
    f.Data.DataWord = std::move(dict.Data.DataWord);
    f.Data.DataStringN = std::move(dict.Data.DataStringN);
  }
  return true;
}

}  // namespace tables

void TBaseClient::CacheLoad() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (!Cache || !tables::CacheNameOk(NameTableS)) return;
  const std::string dir = CacheDir();
  std::vector<uint8_t> b;
  if (tables::ReadCacheFile(plat::JoinPath(dir, NameTableS + ".cacheb"), b) !=
      tables::CacheRead::kOk)
    return;
  if (b.size() < 23) return;
  const int32_t r = tables::LoadLE<int32_t>(b.data() + 11);
  const uint16_t d = tables::LoadLE<uint16_t>(b.data() + 19);
  if (d == 0) return;
  // A structure file shorter than its header says gives no cached structure.
  if (b.size() < 23 + size_t{37} * d) return;
  std::vector<uint8_t> file;
  for (uint16_t i = 0; i < d; ++i) {
    const uint8_t* p = b.data() + 23 + size_t{37} * i;
    Stru_NetFields nf;
    nf.n_abs = tables::LoadLE<int32_t>(p);
    nf.name = tables::ByteReader::FixedStringAt(p + 4, 16);
    nf.TypeField = p[20];
    nf.Size = tables::LoadLE<int32_t>(p + 21);
    nf.SprSize = tables::LoadLE<int32_t>(p + 25);
    const int32_t listSize = tables::LoadLE<int32_t>(p + 33);
    FieldGFB* f = Fields[AddField(nf)].get();
    if (!tables::CacheNameOk(f->name)) continue;
    // Both forms are read back: ".cache" (lookups and text pools) and
    // ".1cache" (every other kind), so unchanged columns need not travel again.
    std::string path = plat::JoinPath(dir, f->name + ".cache");
    if (!plat::FileExists(path)) path = plat::JoinPath(dir, f->name + ".1cache");
    const tables::CacheRead res = tables::ReadCacheFile(path, file);
    if (res == tables::CacheRead::kMissing) continue;
    if (res == tables::CacheRead::kUnavailable) return;
    tables::LoadColumnCache(*f, file, r, listSize);
  }
}
