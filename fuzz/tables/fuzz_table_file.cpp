// LoadFromFile on arbitrary delivered files. The first byte picks the flags the
// link would set from the announcement: bit 0 compressed, bit 1 structure only,
// bit 2 keep the cache.
#include <cstdint>

#include "fuzz_common.h"
#include "platform/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  TBaseList list;
  const int i = CreateBaseMain(list, "fuzz", "", (mode & 4) != 0, fuzz::WorkDir());
  TBaseClient& t = *list[i];
  t.Zip = (mode & 1) != 0;
  t.tamirx = (mode & 2) != 0;
  const std::string path = plat::JoinPath(t.TempDir(), "delivered.dat");
  fuzz::WriteFile(path, data + 1, size - 1);
  t.LoadFromFile(path);
  fuzz::ReadEverything(t);
  // A second start reads back whatever the load cached.
  if (mode & 4) {
    t.ResetLoad();
    t.GetJSONLoad();
    fuzz::ReadEverything(t);
  }
  return 0;
}
