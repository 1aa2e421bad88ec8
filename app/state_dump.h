// The diagnostic snapshot for support: with `--state-dump FILE` the running
// workstation rewrites FILE every few seconds with a small JSON picture of
// itself: the link's state, each table's record count and the technicians of
// the day as the page replays them. The file is replaced whole each time, so
// a reader never sees half of it. Texts in it are UTF-8.
#pragma once
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/tehwork/tehwork.h"
#include "tables/base_client.h"

class client_udp;
class QTimer;
class TTehPage;

struct TStateSnapshot {
  double Time = 0;  // date-time of the snapshot
  bool HasLink = false;
  bool Connect = false, Connected = false, PasOK = false, AD = false, DatabaseLoad = false;
  std::vector<std::string> Hosts;
  int Port = 0;
  int ReadJSONItems = 0, SoobItems = 0;
  struct Table {
    std::string Name;
    int32_t Records = 0;
  };
  std::vector<Table> Tables;
  bool HasTechnicians = false;
  std::vector<stru_tehwork> Technicians;
};

// Collects what the snapshot shows; any of the three may be null.
TStateSnapshot CollectState(client_udp* link, TBaseList* tables, const TTehPage* page);
// The snapshot as one JSON object (UTF-8), ending in a newline.
std::string StateDumpJson(const TStateSnapshot& s);

// Takes "--state-dump FILE" (or "--state-dump=FILE") out of the command line,
// so that the rest of it reads as before. The file name, or empty when the
// option is absent; `bad` is set when the option lacks its file.
std::string TakeStateDumpOption(int& argc, char** argv, bool& bad);

class TStateDump : public QObject {
  Q_OBJECT

 public:
  static constexpr int kIntervalMs = 2000;
  using TCollect = std::function<TStateSnapshot()>;
  // Writes at once and then every interval while the event loop runs.
  TStateDump(std::string path, TCollect collect, QObject* parent = nullptr,
             int interval_ms = kIntervalMs);
  // False when the file could not be written (the old one then stays).
  bool WriteNow();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  TCollect collect_;
  QTimer* timer_;
};
