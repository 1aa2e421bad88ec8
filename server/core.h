// The server's working, without sockets or threads: datagrams in, datagrams out
// through a callback, time passed in by the caller. The threaded server wraps
// it; tests and the fuzz target feed it bytes directly.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/history.h"
#include "server/session.h"
#include "server/store.h"
#include "server/tiles.h"

namespace srv {

struct CoreOptions {
  std::string data_dir;  // svcdesk.db, photo/, history/
  TileOptions tiles;
  std::string version = SVCDESK_VERSION;
  std::string history_name;         // empty: "hx8_" + today
  int64_t drop_after_ms = 30000;    // a workstation silent this long is forgotten
  int64_t probe_after_ms = 2000;    // a probe goes to a workstation we have not sent to
  size_t raw_history_limit = 4096;  // larger gaps travel as a history file
  size_t max_sessions = 1000;
};

class ServerCore {
 public:
  using SendFn = Session::SendFn;

  explicit ServerCore(CoreOptions o);
  // Opens the database and today's history. False when the data folder cannot be used.
  bool Open();
  void SetSender(SendFn send) { send_ = std::move(send); }

  void HandleDatagram(const plat::Ipv4Addr& from, const uint8_t* data, size_t len, int64_t now);
  void Tick(int64_t now);

  Store& store() { return store_; }
  ServerHistory& history() { return history_; }
  std::string PhotoDir() const;

  // Scripting: changes made here reach every logged-in workstation as pushes.
  int AddRecord(const std::string& table, const Fields& fields);  // the new n_abs, or -1
  bool EditRecord(const std::string& table, int n_abs, const Fields& fields);
  bool DeleteRecord(const std::string& table, int n_abs);
  bool AppendHistory(const HistoryEvent& e);
  // Photo files, as "photo\name" in the tables.
  bool PutPhoto(const std::string& name, const Bytes& jpeg);

  // Texts received from workstations, oldest first (the last few thousand).
  std::vector<std::string> ReceivedCommands() const;
  int LoggedIn() const;
  int SessionCount() const { return static_cast<int>(sessions_.size()); }
  int64_t Retransmissions() const;

 private:
  Session* Find(const plat::Ipv4Addr& a);
  void Dispatch(Session& s, const std::string& text, int64_t now);
  void OnReg(Session& s, const std::string& text, int64_t now);
  void OnTestex(Session& s, const std::string& text);
  void OnDatabase(Session& s, const std::string& text);
  void OnGetTable(Session& s, const std::string& text);
  void OnGetFile(Session& s, const std::string& text);
  void OnPutFile(Session& s, const std::string& text);
  void OnGetOsm(Session& s, const std::string& text);
  void QueueText(Session& s, const std::string& text, std::function<void()> done = {});
  void QueueRaw(Session& s, Bytes raw, std::function<void()> done = {});
  std::string PrepareFile(Session& s, const std::string& stem, const std::string& ext,
                          Bytes content);
  void PushUpdate(const std::string& table, int k, bool as_message);
  void PushDelete(const std::string& table, int n_abs);
  void Remember(const std::string& text);

  CoreOptions o_;
  Store store_;
  ServerHistory history_;
  TileSource tiles_;
  SendFn send_;
  std::map<std::pair<uint32_t, uint16_t>, std::unique_ptr<Session>> sessions_;
  std::deque<std::string> received_;
  int64_t now_ = 0;
};

}  // namespace srv
