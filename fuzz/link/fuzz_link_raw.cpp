// Raw messages of every kind, history files applied as a stream, archives and
// "refreshdatadatabase" texts, against two loaded tables and one history object.
// The first input byte picks which; the rest is the message or the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "link/delivery.h"
#include "tests/tables/writer.h"

namespace {

class NullIO : public TDeliveryIO {
 public:
  void Log(const std::string&) override {}
  void Notice(const std::string&) override {}
  void HistoryDelivered() override {}
};

struct World {
  std::string dir;
  TBaseList tables;
  std::unique_ptr<THistory> history;
  std::unique_ptr<TDelivery> delivery;
  NullIO io;

  World() {
    dir = (std::filesystem::temp_directory_path() / ("fuzz_link_raw_" + std::to_string(getpid())))
              .string();
    std::filesystem::create_directories(dir);
    for (const char* name : {"object", "photo"}) {
      const int i = CreateBaseMain(tables, name, "", false, dir);
      std::vector<tw::Col> cols = {
          {1, "n_abs", 1, 4, 0, 0, tw::I32(11) + tw::I32(12)},
          {2, "p_d", 3, 1, 0, 0, tw::U8(0) + tw::U8(0)},
          {3, "name", 2, 21, 0, 0, tw::Fixed("a", 21) + tw::Fixed("b", 21)},
          {4, "kind", 15, 2, 21, 1, tw::I32(5) + tw::Short("k") + tw::U16(5) + tw::U16(0)},
          {5, "note", 24, 4, 0, 5, tw::I32(0) + tw::I32(-1) + tw::Short("four")},
      };
      const std::string file = dir + "/temp/" + name + ".dat";
      tw::WriteFile(file, tw::TableFile(name, 2, cols));
      tables[i]->LoadFromFile(file);
    }
    history = std::make_unique<THistory>("hx8_20211018", dir);
    history->ServerPort = "srv/";
    delivery = std::make_unique<TDelivery>(&tables, std::vector<THistory*>{history.get()});
    // Keeps a run's memory and disk small; the bound logic is the same.
    delivery->MaxHistoryArray = 1 << 20;
  }
  ~World() {
    delivery.reset();
    history.reset();
    tables.clear();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World w;
  if (size < 1) return 0;
  const uint8_t mode = data[0] % 4;
  ++data;
  --size;
  switch (mode) {
    case 0:
      w.delivery->ApplyRaw(w.io, data, size);
      break;
    case 1:
    case 2: {
      const std::string file = w.dir + "/temp/in.dat";
      std::ofstream(file, std::ios::binary | std::ios::trunc)
          .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
      if (mode == 1)
        w.delivery->ApplyHistoryFile(w.io, file);
      else
        w.delivery->ApplyArchive(w.io, file, w.dir, "srv/");
      break;
    }
    case 3:
      w.delivery->ApplyRefreshData(std::string(reinterpret_cast<const char*>(data), size));
      break;
  }
  // Start each run from an empty history so the arrays stay small.
  for (auto s : {THistorySegment::Memo, THistorySegment::Zap, THistorySegment::Zag})
    w.history->ClearSegment(s);
  w.history->LastSmS = 0;
  return 0;
}
