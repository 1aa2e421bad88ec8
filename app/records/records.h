// Typed record sets: named groups, each a small table of typed fields whose
// records are byte strings, with one compact little-endian byte form used both
// for the screen-settings file and for record sets carried (hex-encoded) inside
// server messages.
//
// Every operation is defensive: a bad group, field or record index, a wrong
// field type or bytes that do not parse make it return its failure value
// (-1, 0, false or empty) and leave the container unchanged. Nothing throws.
//
// Records are addressed by index, or by one of two special numbers:
//   kAppend  (-1) appends a new record with default bytes (dn_abs numbered)
//   kCurrent (-2) the record the group located last (Current)
// The usual way to add a record: one set with kAppend, then sets with kCurrent
// for the other fields of the same record.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "foundation/json.h"  // Bytes

// Field type codes (the value of stru_gfdata_par::Type).
enum : uint8_t {
  kGFInteger = 1,    // 4 bytes, 32-bit signed; a field named "dn_abs" is numbered automatically
  kGFByte = 3,       // 1 byte
  kGFBool = 4,       // 1 byte used as a switch
  kGFWord = 5,       // 2 bytes
  kGFSingle = 6,     // 4 bytes, 32-bit float
  kGFDouble = 7,     // 8 bytes
  kGFDword = 8,      // 4 bytes
  kGFInt64 = 9,      // 8 bytes
  kGFBytes = 11,     // Size bytes, Size given when the field is added
  kGFDateTime = 13,  // 8 bytes
  kGFString = 24,    // short string: one length byte and that many bytes (varies per record)
  kGFType25 = 25,    // 4 bytes
  kGFType26 = 26,    // 4 bytes
};

struct stru_gfdata_par {
  int32_t Id = 0;
  // Short string of at most 15 characters: length byte + 15 bytes, kept as
  // read so the bytes behind the name survive a round trip.
  std::array<uint8_t, 16> Name{};
  uint8_t Type = 0;
  int32_t Size = 0;
  int32_t Reserved = 0;

  // The name as text (at most 15 characters).
  std::string NameText() const;
  void SetName(const std::string& name);  // cut to 15 characters
};

struct stru_gfdata_group {
  int32_t Id = 0;
  std::string Name;  // at most 255 characters (a short string in the byte form)
  int32_t ParCount = 0;
  int32_t NextAutoNo = 1;
  int32_t Current = -1;
  std::vector<stru_gfdata_par> Pars;
  std::vector<Bytes> Records;
};

class TGFDataS {
 public:
  static constexpr int kAppend = -1;
  static constexpr int kCurrent = -2;
  // A field of type 11 (and an unknown type) may not be wider than this; bytes
  // that claim more are refused rather than allocated.
  static constexpr int32_t kMaxFieldSize = 16 << 20;
  // Load refuses files larger than this.
  static constexpr int64_t kMaxFileSize = int64_t{256} << 20;

  TGFDataS() = default;
  // dir: the folder of the file (with or without a trailing separator).
  TGFDataS(std::string dir, std::string file_name)
      : Dir(std::move(dir)), FileName(std::move(file_name)) {}

  // Groups.
  int AddGroup(const std::string& name);         // index of the new group
  int FindGroup(const std::string& name) const;  // -1 when absent
  int Groups() const { return static_cast<int>(groups_.size()); }
  const stru_gfdata_group* Group(int g) const;  // nullptr when out of range

  // Fields. AddPar appends the field's default bytes to every existing record.
  int AddPar(int g, const std::string& name, uint8_t type, int32_t size);  // -1 on failure
  int FindPar(int g, const std::string& name) const;                       // -1 when absent

  int RecordCount(int g) const;  // -1 when g does not exist

  // Typed access. r is a record index, kAppend or kCurrent.
  int32_t GetInteger(int g, int f, int r);
  bool SetInteger(int g, int f, int r, int32_t v);
  float GetSingle(int g, int f, int r);
  bool SetSingle(int g, int f, int r, float v);
  uint8_t GetByte(int g, int f, int r);
  std::string GetString(int g, int f, int r);
  bool SetString(int g, int f, int r, const std::string& s);  // s cut to 255 characters
  bool GetBytes(int g, int f, int r, Bytes& out);             // copies the field's Size bytes

  // Byte form. ToBytes stamps SaveTime with the current local time. FromBytes
  // replaces the whole content only when all of the bytes parse.
  Bytes ToBytes();
  bool FromBytes(const uint8_t* data, size_t size);
  bool FromBytes(const Bytes& b) { return FromBytes(b.data(), b.size()); }

  // The file Dir + FileName. Save replaces it through a temporary file, so a
  // failed save keeps the old file. Load is false when the file is missing,
  // unreadable or does not parse (the container is then unchanged).
  bool Save();
  bool Load();
  std::string Path() const;

  // Removes all groups; GroupCount and the header values stay.
  void Clear() { groups_.clear(); }

  int32_t Head1 = 0, Head2 = 0, Head3 = 0;  // carried through unchanged
  double SaveTime = 0;
  int32_t GroupCount = 0;
  std::string Dir;
  std::string FileName;

 private:
  stru_gfdata_group* group(int g);
  // Resolves r (appending for kAppend), finds the byte position of field f and
  // updates Current; -1 on failure.
  int Locate(stru_gfdata_group& grp, int f, int& r);
  // The field of type `type` in record r with at least `width` bytes behind
  // it (their count in *avail), or nullptr.
  uint8_t* Field(int g, int f, int r, uint8_t type, size_t width, size_t* avail = nullptr);
  Bytes DefaultRecord(stru_gfdata_group& grp);

  std::vector<stru_gfdata_group> groups_;
};
