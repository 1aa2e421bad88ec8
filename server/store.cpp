#include "server/store.h"

#include <sqlite3.h>

#include "platform/files.h"
#include "platform/text1251.h"
#include "server/log.h"

namespace srv {

namespace {
std::string Quote(const std::string& name) {
  return "\"" + name + "\"";
}

const char* SqlType(uint8_t t) {
  switch (t) {
    case kColInt:
    case kColByte:
    case kColCard:
      return "INTEGER";
    case kColDouble:
    case kColDateTime:
      return "REAL";
    default:
      return "TEXT";
  }
}

std::string ColumnText(sqlite3_stmt* st, int i) {
  const unsigned char* p = sqlite3_column_text(st, i);
  if (!p) return {};
  return plat::Utf8ToCp1251(reinterpret_cast<const char*>(p));
}
}  // namespace

Store::Store() {
  for (const TableDef& d : Schemas()) tables_.push_back(std::make_unique<ServerTable>(d));
}

Store::~Store() {
  Close();
}

void Store::Close() {
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
}

bool Store::Exec(const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    Log("sqlite: " + std::string(err ? err : "error") + " in " + sql.substr(0, 80));
    sqlite3_free(err);
    return false;
  }
  return true;
}

bool Store::Open(const std::string& dir) {
  Close();
  if (!plat::ForceDirectories(dir)) return false;
  std::string path = plat::JoinPath(dir, "svcdesk.db");
  if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
    Log("cannot open " + path);
    Close();
    return false;
  }
  Exec("PRAGMA journal_mode=WAL");
  Exec("PRAGMA synchronous=NORMAL");
  if (!Exec("CREATE TABLE IF NOT EXISTS users (n_abs INTEGER PRIMARY KEY, username TEXT UNIQUE, "
            "password TEXT)"))
    return false;
  for (auto& t : tables_) {
    std::string sql = "CREATE TABLE IF NOT EXISTS " + Quote(t->def().name) + " (";
    for (size_t c = 0; c < t->def().cols.size(); ++c) {
      const ColumnDef& col = t->def().cols[c];
      if (c) sql += ", ";
      sql += Quote(col.name) + " " + SqlType(col.type);
      if (c == 0) sql += " PRIMARY KEY";
    }
    sql += ")";
    if (!Exec(sql) || !LoadTable(*t)) return false;
  }
  return true;
}

bool Store::LoadTable(ServerTable& t) {
  std::string sql = "SELECT * FROM " + Quote(t.def().name) + " ORDER BY n_abs";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return false;
  const int ncols = static_cast<int>(t.def().cols.size());
  while (sqlite3_step(st) == SQLITE_ROW) {
    int64_t n = sqlite3_column_int64(st, 0);
    if (n < 1 || n > 10000000) continue;
    // Positions must stay dense: a hole becomes a deleted record.
    while (t.Count() < n - 1) {
      int k = t.AppendRow();
      t.SetInt(k, 1, 1);
    }
    if (t.Count() >= n) continue;
    int k = t.AppendRow();
    for (int c = 1; c < ncols && c < sqlite3_column_count(st); ++c) {
      uint8_t type = t.def().cols[static_cast<size_t>(c)].type;
      if (type == kColDouble || type == kColDateTime)
        t.SetDouble(k, c, sqlite3_column_double(st, c));
      else if (type == kColInt || type == kColByte || type == kColCard)
        t.SetInt(k, c, sqlite3_column_int64(st, c));
      else
        t.SetText(k, c, ColumnText(st, c));
    }
  }
  sqlite3_finalize(st);
  return true;
}

void Store::Persist(ServerTable& t, int k) {
  if (!db_) return;
  const auto& cols = t.def().cols;
  std::string sql = "INSERT OR REPLACE INTO " + Quote(t.def().name) + " VALUES (";
  for (size_t c = 0; c < cols.size(); ++c) sql += c ? ",?" : "?";
  sql += ")";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return;
  const Row& r = t.row(k);
  for (size_t c = 0; c < cols.size(); ++c) {
    int i = static_cast<int>(c) + 1;
    switch (cols[c].type) {
      case kColInt:
      case kColByte:
      case kColCard:
        sqlite3_bind_int64(st, i, r[c].i);
        break;
      case kColDouble:
      case kColDateTime:
        sqlite3_bind_double(st, i, r[c].d);
        break;
      default: {
        std::string u = plat::Cp1251ToUtf8(r[c].s);
        sqlite3_bind_text(st, i, u.c_str(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
      }
    }
  }
  if (sqlite3_step(st) != SQLITE_DONE) Log("sqlite: cannot store a record of " + t.def().name);
  sqlite3_finalize(st);
}

ServerTable* Store::Table(const std::string& name) {
  for (auto& t : tables_)
    if (t->def().name == name) return t.get();
  return nullptr;
}

void Store::ApplyFields(ServerTable& t, int k, const Fields& fields) {
  for (const auto& [name, value] : fields) {
    int c = t.def().Col(name);
    if (c < 1) continue;  // n_abs is the server's to give
    t.SetFromText(k, c, value);
  }
}

int Store::Add(const std::string& table, const Fields& fields) {
  ServerTable* t = Table(table);
  if (!t) return -1;
  int k = t->AppendRow();
  ApplyFields(*t, k, fields);
  t->SetInt(k, 1, 0);  // a new record is never born deleted
  Persist(*t, k);
  return k;
}

int Store::Edit(const std::string& table, int n_abs, const Fields& fields) {
  ServerTable* t = Table(table);
  if (!t || n_abs < 1 || n_abs > t->Count()) return -1;
  ApplyFields(*t, n_abs - 1, fields);
  Persist(*t, n_abs - 1);
  return n_abs - 1;
}

int Store::Delete(const std::string& table, int n_abs) {
  ServerTable* t = Table(table);
  if (!t || n_abs < 1 || n_abs > t->Count()) return -1;
  int k = n_abs - 1;
  t->SetInt(k, 1, t->row(k)[1].i | 1);
  Persist(*t, k);
  return k;
}

void Store::AddUser(const std::string& name, const std::string& password) {
  if (!db_) return;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO users (username, password) VALUES (?, ?)", -1,
                         &st, nullptr) != SQLITE_OK)
    return;
  std::string u = plat::Cp1251ToUtf8(name), p = plat::Cp1251ToUtf8(password);
  sqlite3_bind_text(st, 1, u.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, p.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_step(st);
  sqlite3_finalize(st);
}

int Store::CheckUser(const std::string& name, const std::string& password) {
  if (!db_) return -1;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, "SELECT n_abs, password FROM users WHERE username = ?", -1, &st,
                         nullptr) != SQLITE_OK)
    return -1;
  std::string u = plat::Cp1251ToUtf8(name);
  sqlite3_bind_text(st, 1, u.c_str(), -1, SQLITE_TRANSIENT);
  int result = -1;
  if (sqlite3_step(st) == SQLITE_ROW && ColumnText(st, 1) == password)
    result = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  return result;
}

bool Store::HasUsers() {
  if (!db_) return false;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, "SELECT COUNT(*) FROM users", -1, &st, nullptr) != SQLITE_OK)
    return false;
  bool any = sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int(st, 0) > 0;
  sqlite3_finalize(st);
  return any;
}

void Store::Begin() {
  Exec("BEGIN");
}
void Store::Commit() {
  Exec("COMMIT");
}

}  // namespace srv
