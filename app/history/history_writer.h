// Builds the three byte strings of a history in the store's file format: the
// period header and 7-byte index entries (Zag), timed records (Zap) and the
// string pool (Memo). The stand-in server and the tests produce histories with it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

class THistoryWriter {
 public:
  // type_file 1 year ... 5 minute; the fields past type_file are not written.
  THistoryWriter(uint8_t type_file, uint16_t year, uint8_t month = 1, uint8_t day = 1,
                 uint8_t hour = 0, uint8_t minute = 0);

  // Appends a short string (cut to 255 bytes) to the pool; returns its reference.
  int32_t AddString(std::string_view text);
  // Appends a record with its time and payload, and its index entry.
  void AddRecord(uint16_t type, uint8_t h, uint8_t m, uint8_t s, std::string_view payload);
  // A technician event in the payload layout of its type: object number,
  // object-name reference, technician-name reference and work-kind reference
  // (the last is not stored for the instruction ends).
  void AddEvent(uint16_t type, uint8_t h, uint8_t m, uint8_t s, int32_t object, int32_t object_name,
                int32_t technician, int32_t work_kind);
  // Garbage bytes between index entries, as a damaged file would have them.
  void AddIndexGarbage(std::string_view bytes) { zag_ += bytes; }

  const std::string& Zag() const { return zag_; }
  const std::string& Zap() const { return zap_; }
  const std::string& Memo() const { return memo_; }

 private:
  std::string zag_, zap_, memo_;
};

// Little-endian helpers shared by the writers of history and raw streams.
void PutLE16(std::string& out, uint16_t v);
void PutLE32(std::string& out, int32_t v);
void PutLE64(std::string& out, int64_t v);
