// The link's hooks for table and history delivery. The link carries the bytes;
// what they mean for the replicated tables and the event history is filled in
// by a subclass of TLinkHooks (see client_udp.h). Every hook runs on the link
// thread. The defaults describe a link without tables or history objects.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class client_udp;

// The sizes a history object reports in the keep-alive.
struct THistorySizes {
  std::string Name;
  int64_t smmemo = 0;
  int64_t smzap = 0;
  int64_t smzag = 0;
};

class TLinkHooks {
 public:
  virtual ~TLinkHooks() = default;

  // --- log-in ---
  // A log-in request went out: clear NotSoob on every history object.
  virtual void OnLoginAttempt(client_udp&) {}
  // "regok" arrived: clear every table (loaded and load-sent flags, data).
  virtual void ResetTables(client_udp&) {}
  // True when the link has tables to load after a log-in.
  virtual bool HasTables(client_udp&) { return false; }
  // After "regok" with tables: give each table the link as its outgoing
  // channel and clear its load-started flag.
  virtual void StartTableLoading(client_udp&) {}

  // --- keep-alive ---
  // The history objects to report (server folder, name and enabled flag set);
  // the hook sets NotSoob on each one it returns.
  virtual std::vector<THistorySizes> KeepAliveHistory(client_udp&) { return {}; }

  // --- one pass of the loop ---
  // True when every table reports its data loaded.
  virtual bool AllTablesLoaded(client_udp&) { return true; }
  // Gives history objects without a server folder their folder and loads them.
  virtual void PrepareHistory(client_udp&) {}
  // Connected, tables not loaded, no load outstanding: ask for the next table.
  virtual void RequestNextTable(client_udp&) {}
  // Tables loaded: raise the link's refresh event for every changed table.
  virtual void RefreshTables(client_udp&) {}
  // One completed raw message (types 2 and 3), taken while tables are loaded.
  virtual void OnRaw(client_udp&, const std::vector<uint8_t>&) {}

  // --- dispatch rows of delivery; the whole message text is passed ---
  virtual void OnGetArchiveOk(client_udp&, const std::string&) {}
  virtual void OnHistoryFromFile(client_udp&, const std::string&) {}
  virtual void OnTableRawFromFile(client_udp&, const std::string&) {}
  virtual void OnRefreshDataDatabase(client_udp&, const std::string&) {}

  // --- files ---
  // A received file is complete at `path` (temp/<name>), `size` bytes as
  // announced. True when the hook claimed it (table, history or archive file;
  // it then puts its own notice); false lets the link report "getfileok".
  virtual bool OnFileComplete(client_udp&, const std::string& /*name*/, const std::string& /*path*/,
                              int64_t /*size*/) {
    return false;
  }
};
