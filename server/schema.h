// The four tables the server keeps, with their column names, type codes and
// widths. Column 1 is always "n_abs" (the record number) and column 2 "p_d"
// (flags; bit 1 = deleted), because the workstation reads them by position.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace srv {

// Column type codes the server uses (the workstation's codes).
enum : uint8_t {
  kColInt = 1,       // int32
  kColFixText = 2,   // short string in a field of Size bytes
  kColByte = 3,      // uint8
  kColDouble = 7,    // 64-bit float
  kColCard = 8,      // uint32 (named "r_dt": seconds since 2000-01-01)
  kColDateTime = 9,  // days since 1899-12-30 as a double
  kColLookupW = 15,  // uint16 code into a dictionary of (uint32 code, text)
  kColLookupB = 16,  // uint8 code into a dictionary of (uint16 code, text)
  kColVarText = 24,  // int32 offset into a pool of short strings
};

struct ColumnDef {
  std::string name;  // at most 15 characters
  uint8_t type = 0;
  int32_t size = 0;      // bytes per record
  int32_t spr_size = 0;  // lookup text width in the update form (types 15, 16)
};

struct TableDef {
  std::string name;  // at most 8 characters
  std::vector<ColumnDef> cols;
  int Col(const std::string& n) const;  // 0-based, -1 when absent
};

// "object", "mobphoto", "photo", "zamech", in that order.
const std::vector<TableDef>& Schemas();
const TableDef* FindSchema(const std::string& name);

// Bytes per record for a type (types 2 and 11 take any size).
int32_t FixedSize(uint8_t type);

}  // namespace srv
