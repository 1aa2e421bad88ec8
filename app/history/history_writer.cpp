#include "app/history/history_writer.h"

#include "app/history/history.h"

void PutLE16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void PutLE32(std::string& out, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out += static_cast<char>((u >> (8 * i)) & 0xFF);
}

void PutLE64(std::string& out, int64_t v) {
  const auto u = static_cast<uint64_t>(v);
  for (int i = 0; i < 8; ++i) out += static_cast<char>((u >> (8 * i)) & 0xFF);
}

THistoryWriter::THistoryWriter(uint8_t type_file, uint16_t year, uint8_t month, uint8_t day,
                               uint8_t hour, uint8_t minute) {
  zag_ += static_cast<char>(type_file);
  PutLE16(zag_, year);
  const uint8_t rest[4] = {month, day, hour, minute};
  for (int i = 0; i < 4 && i + 2 <= type_file; ++i) zag_ += static_cast<char>(rest[i]);
}

int32_t THistoryWriter::AddString(std::string_view text) {
  text = text.substr(0, 255);
  const auto ref = static_cast<int32_t>(memo_.size());
  memo_ += static_cast<char>(text.size());
  memo_ += text;
  return ref;
}

void THistoryWriter::AddRecord(uint16_t type, uint8_t h, uint8_t m, uint8_t s,
                               std::string_view payload) {
  zag_ += static_cast<char>(0xFF);
  PutLE16(zag_, type);
  PutLE32(zag_, static_cast<int32_t>(zap_.size()));
  zap_ += static_cast<char>(h);
  zap_ += static_cast<char>(m);
  zap_ += static_cast<char>(s);
  zap_ += payload;
}

void THistoryWriter::AddEvent(uint16_t type, uint8_t h, uint8_t m, uint8_t s, int32_t object,
                              int32_t object_name, int32_t technician, int32_t work_kind) {
  std::string p(1, '\0');  // byte 0 is not read by the workstation
  PutLE32(p, object);
  PutLE32(p, object_name);
  switch (type) {
    case kHistWorkEnded1:
    case kHistWorkEnded3:
      PutLE32(p, technician);
      PutLE32(p, work_kind);
      break;
    case kHistInstructionEnded1:
    case kHistInstructionEnded2:
      PutLE32(p, 0);
      PutLE32(p, technician);
      break;
    default:
      PutLE32(p, 0);
      PutLE32(p, technician);
      PutLE32(p, work_kind);
      break;
  }
  AddRecord(type, h, m, s, p);
}
