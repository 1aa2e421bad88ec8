// The server's tables and users, kept in memory and persisted in a SQLite
// database (svcdesk.db in the data folder). Every change is written through at
// once, so a restarted server serves what it last had.
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "server/table.h"

struct sqlite3;

namespace srv {

using Fields = std::vector<std::pair<std::string, std::string>>;  // column name -> value text

class Store {
 public:
  Store();
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Opens (creating when missing) dir/svcdesk.db and reads every table.
  bool Open(const std::string& dir);
  void Close();

  ServerTable* Table(const std::string& name);
  std::vector<std::unique_ptr<ServerTable>>& tables() { return tables_; }

  // Applies a change and persists it; the record index (0-based), or -1 when the
  // table or record does not exist. Unknown column names are skipped.
  int Add(const std::string& table, const Fields& fields);
  int Edit(const std::string& table, int n_abs, const Fields& fields);
  int Delete(const std::string& table, int n_abs);

  void AddUser(const std::string& name, const std::string& password);
  // Returns the user's n_abs, or -1 when the name or password is wrong.
  int CheckUser(const std::string& name, const std::string& password);
  bool HasUsers();

  // Groups many changes into one transaction (demo data creation).
  void Begin();
  void Commit();

 private:
  bool Exec(const std::string& sql);
  bool LoadTable(ServerTable& t);
  void Persist(ServerTable& t, int k);
  void ApplyFields(ServerTable& t, int k, const Fields& fields);

  sqlite3* db_ = nullptr;
  std::vector<std::unique_ptr<ServerTable>> tables_;
};

}  // namespace srv
