// The backlog reader on arbitrary files: the input is cut into an index file
// and up to three data files written into a private temporary folder, then the
// backlog is opened and drained.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "foundation/backlog.h"
#include "platform/files.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

const std::string& Root() {
  static const std::string root = [] {
    // A memory-backed folder where there is one: the backlog syncs its index.
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string tmpl = (base / "fuzz_backlog_XXXXXX").string();
    Check(mkdtemp(tmpl.data()) != nullptr);
    return tmpl;
  }();
  return root;
}

}  // namespace

// Layout: byte 0 says whether an index is written (bit 0) and how the rest is
// split; then up to 16 index bytes; the rest goes to bs<first>.dat ... in
// three parts at the offsets given by bytes 1 and 2.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const std::string folder = plat::JoinPath(Root(), "dd8");
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  std::filesystem::create_directories(folder, ec);

  const uint8_t flags = data[0];
  const size_t cut1 = data[1], cut2 = data[2];
  data += 3;
  size -= 3;
  int32_t first = 0;
  if (flags & 1) {
    const size_t n = size < 16 ? size : 16;
    // Keep the data files where the index points, when it names a small number.
    if (n >= 12) {
      first = static_cast<int32_t>(data[8] | data[9] << 8 | data[10] << 16 |
                                   static_cast<uint32_t>(data[11]) << 24);
      if (first < 0 || first > 1000) first = 0;
    }
    plat::WriteFileAtomic(plat::JoinPath(folder, "backsoob.dat"), data, n);
    data += n;
    size -= n;
  }
  const size_t a = cut1 < size ? cut1 : size;
  const size_t b = a + (cut2 < size - a ? cut2 : size - a);
  const size_t parts[4] = {0, a, b, size};
  for (int i = 0; i < 3; ++i) {
    if ((flags & (2 << i)) == 0) continue;  // this file is missing
    const std::string name = "bs" + std::to_string(first + i) + ".dat";
    plat::WriteFileAtomic(plat::JoinPath(folder, name), data + parts[i], parts[i + 1] - parts[i]);
  }

  TBackSoobString back(Root());
  back.NameBack = "dd8";
  back.Init();
  std::string text;
  for (int i = 0; i < 8; ++i) {
    const int32_t count = back.FCount();
    Check(count >= 0 && back.FirstNumb() <= back.LastNumb());
    if (!back.GetSoob(text)) Check(text.empty());
    Check(text.size() <= size);
    back.DeleteSoob();
    Check(back.FCount() <= count);
  }
  back.DeleteAll();
  Check(back.FCount() == 0);
  return 0;
}
