// PutDataFieldPos on arbitrary update forms, applied to a loaded table that
// has a column of every type. The form's own index field is the index, as
// for a raw record from the server.
#include <cstdint>
#include <cstring>

#include "fuzz_common.h"
#include "platform/files.h"
#include "tests/tables/writer.h"

namespace {

const std::string& TableFileBytes() {
  using namespace tw;
  static const std::string file = [] {
    std::vector<Col> c;
    c.push_back({1, "n_abs", 1, 4, 0, 0, I32(1) + I32(2)});
    c.push_back({2, "p_d", 3, 1, 0, 0, U8(0) + U8(0)});
    c.push_back({3, "name", 2, 9, 0, 0, Fixed("ab", 9) + Fixed("c", 9)});
    c.push_back({4, "flag", 4, 1, 0, 0, U8(1) + U8(0)});
    c.push_back({5, "num", 5, 2, 0, 0, U16(7) + U16(8)});
    c.push_back({6, "flt", 6, 4, 0, 0, F32(1.5f) + F32(2)});
    c.push_back({7, "dbl", 7, 8, 0, 0, F64(2.5) + F64(3)});
    c.push_back({8, "cnt", 8, 4, 0, 0, I32(1) + I32(2)});
    c.push_back({9, "dt", 9, 8, 0, 0, F64(45000.5) + F64(0)});
    c.push_back({10, "raw", 11, 2, 0, 0, U8(1) + U8(2) + U8(3) + U8(4)});
    c.push_back({11, "big", 13, 8, 0, 0, I64(-5) + I64(6)});
    c.push_back({12, "kind", 15, 2, 8, 1, I32(3) + Short("x") + U16(3) + U16(0)});
    c.push_back({13, "cls", 16, 1, 5, 1, U16(4) + Short("y") + U8(4) + U8(1)});
    c.push_back({14, "hex", 21, 4, 0, 0, I32(255) + I32(-1)});
    c.push_back({15, "note", 24, 4, 0, 4, I32(0) + I32(-1) + Short("abc")});
    c.push_back({16, "sec", 25, 4, 0, 0, I32(86400) + I32(0)});
    return TableFile("fuzz", 2, c);
  }();
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBaseList list;
  const int i = CreateBaseMain(list, "fuzz", "", false, fuzz::WorkDir());
  TBaseClient& t = *list[i];
  const std::string path = plat::JoinPath(t.TempDir(), "table.dat");
  const std::string& file = TableFileBytes();
  fuzz::WriteFile(path, reinterpret_cast<const uint8_t*>(file.data()), file.size());
  t.LoadFromFile(path);

  // Exactly-sized copy so any read past the end is caught.
  const std::vector<uint8_t> form(data, data + size);
  int32_t index = 0;
  if (size >= 13) std::memcpy(&index, form.data() + 9, 4);
  t.PutDataFieldPos(index, form.data(), form.size());
  fuzz::ReadEverything(t);
  return 0;
}
