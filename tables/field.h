// A column of a replicated table: one value array per storage kind, indexed by
// the record's absolute position, plus the edit buffer of the pending change.
// Every method takes the owning table's lock.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TBaseClient;

// Column type codes as the server gives them.
enum : uint8_t {
  kFieldInteger = 1,    // int32
  kFieldString = 2,     // short string in a fixed field of Size bytes
  kFieldByte = 3,       // uint8 ("p_d" flags)
  kFieldBoolean = 4,    // bool
  kFieldWord = 5,       // uint16
  kFieldFloat = 6,      // 32-bit float
  kFieldDouble = 7,     // 64-bit float
  kFieldCardinal = 8,   // uint32 ("r_dt": seconds since 2000-01-01)
  kFieldDateTime = 9,   // days since 1899-12-30
  kFieldBytes = 11,     // Size raw bytes
  kFieldInt64 = 13,     // int64
  kFieldLookup16 = 15,  // uint16 code, dictionary of uint32 codes and texts
  kFieldLookup8 = 16,   // uint8 code, dictionary of uint16 codes and texts
  kFieldHex = 21,       // int32 shown in hexadecimal
  kFieldText = 24,      // int32 offset into a pool of short strings
  kFieldSeconds = 25,   // uint32 seconds since 2000-01-01
};

// Bytes per record of a type's storage; 0 for types 2 and 11 (any Size) and
// for codes without storage.
int FieldElementSize(uint8_t type);
// Whether a column of this type and Size can hold data (fixed kinds need their
// element width; types 2 and 11 need 1..65535 bytes).
bool FieldSizeValid(uint8_t type, int32_t size);

// Column descriptor: the first 33 bytes of a descriptor in the table file.
struct Stru_NetFields {
  int32_t n_abs = 0;
  std::string name;  // at most 15 bytes
  uint8_t TypeField = 0;
  int32_t Size = 0;
  int32_t SprSize = 0;
};

struct Stru_Data {
  std::vector<uint8_t> DataSelected;
  std::vector<int32_t> DataInteger;
  std::vector<std::string> DataStringN;
  std::vector<uint8_t> DataByte;
  std::vector<uint8_t> DataBoolean;  // one byte per record, nonzero is true
  std::vector<uint16_t> DataWord;
  std::vector<float> DataFloat;
  std::vector<double> DataDouble;
  std::vector<uint32_t> DataCardinal;
  std::vector<double> DataDateTime;
  std::vector<int64_t> DataInt64;
};

// Edit buffer of one column. TypeField 0 means unchanged; otherwise it holds
// the column's type code.
struct Stru_Temp {
  uint8_t TypeField = 0;
  int32_t DataInteger = 0;
  std::string DataString;  // at most 255 bytes
  uint8_t DataByte = 0;
  bool DataBoolean = false;
  uint16_t DataWord = 0;
  float DataFloat = 0;
  double DataDouble = 0;
  uint32_t DataCardinal = 0;
  double DataDateTime = 0;
  double DataDate = 0;
  double DataTime = 0;
  std::vector<uint8_t> DataArrayByte;
  int64_t DataInt64 = 0;
};

class FieldGFB {
 public:
  explicit FieldGFB(TBaseClient* owner) : GFBase(owner) {}
  FieldGFB(const FieldGFB&) = delete;
  FieldGFB& operator=(const FieldGFB&) = delete;

  // Values of the record at the table's read cursor (RecNoTemp).
  std::string GetAsString();
  int32_t GetAsInteger();
  float GetAsFloat();
  double GetAsDateTime();
  // Fill the edit buffer; ignored unless the table is adding or editing.
  void SetAsInteger(int32_t v);
  void SetAsString(const std::string& s);
  // Stores the text and switches the column's filter on when it is not empty.
  void SetFilter(const std::string& text);

  // The same reads at an explicit absolute position (the table lock must be held).
  std::string StringAt(int32_t p) const;
  int32_t IntegerAt(int32_t p);
  float FloatAt(int32_t p) const;
  double DateTimeAt(int32_t p) const;

  std::string FFilter;
  uint8_t FFilterU = 0;  // 0 =, 1 <>, 2 <, 3 >, 4 <=, 5 >=
  uint8_t FFilterZ = 0;  // type 2: 0 contains, 1 ends with, 2 starts with, 3 equals
  std::string FFilterO;  // lower-cased filter text without asterisks
  int32_t FFilterI = 0;
  uint8_t FFilterB = 0;
  bool FFilterBo = false;
  TBaseClient* GFBase;
  int32_t n_abs = 0;
  std::string name;
  uint8_t TypeField = 0;
  int32_t Size = 0;
  Stru_Data Data;
  int32_t SprSize = 0;
  bool Load = false;
  Stru_Temp Temp;
  bool FilterYes = false;
  std::string MD5;

 private:
  std::string LookupText(uint32_t code) const;
  std::string PoolText(int32_t p) const;
  bool Marked() const { return Temp.TypeField != 0; }
};
