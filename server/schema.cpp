#include "server/schema.h"

namespace srv {

int TableDef::Col(const std::string& n) const {
  for (size_t i = 0; i < cols.size(); ++i)
    if (cols[i].name == n) return static_cast<int>(i);
  return -1;
}

int32_t FixedSize(uint8_t type) {
  switch (type) {
    case kColInt:
    case kColCard:
    case kColVarText:
      return 4;
    case kColByte:
    case kColLookupB:
      return 1;
    case kColLookupW:
      return 2;
    case kColDouble:
    case kColDateTime:
      return 8;
    default:
      return 0;
  }
}

namespace {
ColumnDef C(const char* name, uint8_t type, int32_t size = 0) {
  ColumnDef c;
  c.name = name;
  c.type = type;
  c.size = size ? size : FixedSize(type);
  if (type == kColLookupW || type == kColLookupB) c.spr_size = 64;
  return c;
}

std::vector<TableDef> Build() {
  std::vector<TableDef> t(4);
  t[0].name = "object";
  t[0].cols = {C("n_abs", kColInt),         C("p_d", kColByte),        C("name", kColVarText),
               C("addrcity", kColLookupB),  C("addrnp", kColLookupW),  C("address", kColVarText),
               C("number", kColInt),        C("karta_x", kColDouble),  C("karta_y", kColDouble),
               C("phone", kColFixText, 21), C("dogdate", kColDateTime)};
  t[1].name = "mobphoto";
  t[1].cols = {C("n_abs", kColInt),  C("p_d", kColByte),        C("r_dt", kColCard),
               C("number", kColInt), C("technik", kColLookupW), C("desc", kColVarText),
               C("zam", kColByte),   C("filename", kColVarText)};
  t[2].name = "photo";
  t[2].cols = {C("n_abs", kColInt),    C("p_d", kColByte),     C("numobj", kColInt),
               C("file", kColVarText), C("desc", kColVarText), C("dt", kColDateTime)};
  t[3].name = "zamech";
  t[3].cols = {C("n_abs", kColInt),      C("p_d", kColByte),        C("number", kColInt),
               C("name", kColVarText),   C("address", kColVarText), C("city", kColLookupB),
               C("addrnp", kColLookupW), C("tech", kColLookupW),    C("zam", kColVarText),
               C("photo", kColVarText),  C("dt", kColDateTime)};
  return t;
}
}  // namespace

const std::vector<TableDef>& Schemas() {
  static const std::vector<TableDef> s = Build();
  return s;
}

const TableDef* FindSchema(const std::string& name) {
  for (const TableDef& t : Schemas())
    if (t.name == name) return &t;
  return nullptr;
}

}  // namespace srv
