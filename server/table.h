// One table as the server holds it in memory: rows of typed cells, the
// dictionaries of the lookup columns and the text pools of the variable-text
// columns, and the byte forms the workstation reads: column contents (whose MD5
// the workstation reports), the table file and the update form of one record.
//
// Record k (0-based) has n_abs k + 1; records are never removed, a deletion
// sets bit 1 of "p_d", so positions stay the same for every workstation.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "foundation/json.h"  // Bytes
#include "server/schema.h"

namespace srv {

// One value. Texts are Windows-1251. Lookup columns keep the code in i and the
// text in s; variable-text columns keep the pool offset in i and the text in s.
struct Cell {
  int64_t i = 0;
  double d = 0;
  std::string s;
  bool operator==(const Cell&) const = default;
};
using Row = std::vector<Cell>;

class ServerTable {
 public:
  explicit ServerTable(const TableDef& def);

  const TableDef& def() const { return *def_; }
  int Count() const { return static_cast<int>(rows_.size()); }
  const Row& row(int k) const { return rows_[static_cast<size_t>(k)]; }

  // Appends a record numbered Count() + 1 with default values.
  int AppendRow();
  // Sets column c of record k from a value as it appears in a change command
  // (numbers as decimal text, texts unescaped, date-times as "dd.mm.yyyy hh:mm:ss"
  // or days). False when the text does not fit the column.
  bool SetFromText(int k, int c, const std::string& text);
  // Typed setters used by the store when it reads its database.
  void SetInt(int k, int c, int64_t v);
  void SetDouble(int k, int c, double v);
  void SetText(int k, int c, const std::string& text);
  // The value as text: decimal, date-time days, or the text itself.
  std::string GetText(int k, int c) const;

  // What the workstation caches for column c, and its MD5 (32 upper-case hex).
  Bytes ColumnContent(int c) const;
  std::string ColumnMd5(int c) const;
  // The table file: header, every descriptor, and a data block for each column
  // whose digest in md5 (column name -> hex) is missing or differs.
  Bytes TableFile(const std::map<std::string, std::string>& md5, int* blocks = nullptr) const;
  // The update form of record k (0-based): name, index, record count and every column.
  Bytes UpdateForm(int k) const;

 private:
  uint32_t LookupCode(int c, const std::string& text);
  int32_t PoolOffset(int c, const std::string& text);
  void Descriptor(int c, Bytes& out) const;
  void ColumnData(int c, Bytes& out) const;  // data as in the table file block

  const TableDef* def_;
  std::vector<Row> rows_;
  // Per column: the lookup dictionary in code order, and the pool of short strings.
  std::vector<std::vector<std::pair<uint32_t, std::string>>> dict_;
  std::vector<std::string> pool_;
  std::vector<std::map<std::string, int32_t>> pool_index_;
};

// Appends a short string in a fixed field of width bytes (length byte included).
void PutShortFixed(Bytes& out, const std::string& s, size_t width);
// Appends a short string at its actual length (at most 255 characters).
void PutShort(Bytes& out, const std::string& s);
void PutI32(Bytes& out, int32_t v);
void PutU16(Bytes& out, uint16_t v);
void PutDouble(Bytes& out, double v);

// "dd.mm.yyyy[ hh:mm[:ss]]" or a number of days; false when neither.
bool ParseDateTimeText(const std::string& text, double& out);
// Date-time as "dd.mm.yyyy hh:mm:ss".
std::string FormatDateTime(double dt);

}  // namespace srv
