// CacheLoad on arbitrary cache files. Input: u16 length and the structure
// file's plain bytes, then for each descriptor in turn a u16 length and the
// plain bytes of that column's cache file (bit 15 of the length: write it as
// ".1cache"; bit 14: put the content's true MD5 in, so that the content
// parser is reached). The harness scrambles what it writes, so CacheLoad sees
// exactly these bytes once it has unscrambled them.
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/scrambler.h"
#include "fuzz_common.h"
#include "platform/crypto.h"
#include "platform/files.h"

namespace {

struct Reader {
  const uint8_t* p;
  size_t left;
  bool Chunk(uint16_t& flags, std::vector<uint8_t>& out) {
    if (left < 2) return false;
    const uint16_t n = static_cast<uint16_t>(p[0] | (p[1] << 8));
    flags = n & 0xC000;
    size_t len = n & 0x3FFF;
    p += 2;
    left -= 2;
    if (len > left) len = left;
    out.assign(p, p + len);
    p += len;
    left -= len;
    return true;
  }
};

void WriteScrambled(const std::string& path, std::vector<uint8_t> b) {
  EnDec(b, 1);
  fuzz::WriteFile(path, b.data(), b.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBaseList list;
  const int i = CreateBaseMain(list, "fuzz", "", true, fuzz::WorkDir());
  TBaseClient& t = *list[i];
  const std::string dir = t.CacheDir();
  std::filesystem::remove_all(dir);
  plat::ForceDirectories(dir);

  Reader rd{data, size};
  uint16_t flags;
  std::vector<uint8_t> structure, column;
  if (!rd.Chunk(flags, structure)) return 0;
  WriteScrambled(plat::JoinPath(dir, "fuzz.cacheb"), structure);
  const size_t d = structure.size() >= 23 ? (structure[19] | (structure[20] << 8)) : 0;
  for (size_t k = 0; k < d && 23 + 37 * (k + 1) <= structure.size(); ++k) {
    if (!rd.Chunk(flags, column)) break;
    const uint8_t* desc = structure.data() + 23 + 37 * k;
    const size_t n = std::min<size_t>(desc[4], 15);
    const std::string name(reinterpret_cast<const char*>(desc + 5), n);
    if (!plat::IsPlainFileName(name) || name.find('\0') != std::string::npos) continue;
    if ((flags & 0x4000) && column.size() >= 19) {
      const auto md5 = plat::Md5(column.data() + 19, column.size() - 19);
      std::memcpy(column.data() + 3, md5.data(), 16);
    }
    WriteScrambled(plat::JoinPath(dir, name + ((flags & 0x8000) ? ".1cache" : ".cache")), column);
  }

  t.CacheLoad();
  // Give the restored columns a record count, as a table file would.
  t.CountRecord =
      structure.size() >= 15
          ? std::min<int32_t>(
                static_cast<int32_t>(structure[11] | (structure[12] << 8) | (structure[13] << 16) |
                                     (uint32_t{structure[14]} << 24)),
                100000)
          : 0;
  fuzz::ReadEverything(t);
  std::filesystem::remove_all(dir);
  return 0;
}
