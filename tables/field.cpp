#include "tables/field.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>

#include "foundation/json.h"
#include "platform/clock.h"
#include "platform/regional.h"
#include "platform/text1251.h"
#include "tables/base_client.h"
#include "tables/bytes.h"
#include "tables/text.h"

namespace {

template <typename V>
bool InArray(const V& v, int64_t p) {
  return p >= 1 && static_cast<uint64_t>(p) <= v.size();
}

// Delphi-style truncation toward zero that never overflows.
int32_t TruncInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// Seconds since 2000-01-01 00:00:00 as a date-time.
double SecondsToDateTime(uint32_t secs) {
  return plat::EncodeDate(2000, 1, 1) + static_cast<double>(secs / 86400) +
         static_cast<double>(secs % 86400) * 1000.0 / 86400000.0;
}

std::string DateTimeText(double dt) {
  return dt > 0 ? plat::FormatDateTime(dt) : std::string();
}

std::string Clip255(const std::string& s) {
  return s.size() > 255 ? s.substr(0, 255) : s;
}

// A date, a date and a time, or a time of day alone (the platform's parser
// takes the first two).
bool ParseDateTime(const std::string& s, double& dt) {
  const plat::Regional& r = plat::regional();
  if (s.find(r.TimeSeparator) != std::string::npos &&
      s.find(r.DateSeparator) == std::string::npos) {
    int part[3] = {0, 0, 0}, n = 0;
    size_t i = 0;
    while (i < s.size() && n < 3) {
      size_t j = i;
      int v = 0;
      while (j < s.size() && s[j] >= '0' && s[j] <= '9' && j - i < 3) v = v * 10 + (s[j++] - '0');
      if (j == i) return false;
      part[n++] = v;
      if (j < s.size() && s[j] != r.TimeSeparator) return false;
      i = j + 1;
      if (j == s.size()) break;
    }
    if (n < 2 || i < s.size() || part[0] > 23 || part[1] > 59 || part[2] > 59) return false;
    dt = plat::EncodeTime(part[0], part[1], part[2]);
    return true;
  }
  return plat::TryParseDateTime(s, dt);
}

int32_t Clamp(int32_t v, int32_t hi) {
  return v < 0 ? 0 : (v > hi ? hi : v);
}

}  // namespace

int FieldElementSize(uint8_t type) {
  switch (type) {
    case kFieldInteger:
    case kFieldFloat:
    case kFieldCardinal:
    case kFieldHex:
    case kFieldText:
    case kFieldSeconds:
      return 4;
    case kFieldByte:
    case kFieldBoolean:
    case kFieldLookup8:
      return 1;
    case kFieldWord:
    case kFieldLookup16:
      return 2;
    case kFieldDouble:
    case kFieldDateTime:
    case kFieldInt64:
      return 8;
    default:
      return 0;
  }
}

bool FieldSizeValid(uint8_t type, int32_t size) {
  if (type == kFieldString || type == kFieldBytes) return size >= 1 && size <= 65535;
  const int w = FieldElementSize(type);
  return w != 0 && size == w;
}

std::string FieldGFB::LookupText(uint32_t code) const {
  if (code == 0) return {};
  const size_t n = Data.DataStringN.size();
  if (TypeField == kFieldLookup16) {
    for (size_t k = 0; k < n && k < Data.DataCardinal.size(); ++k)
      if (Data.DataCardinal[k] == code) return Data.DataStringN[k];
  } else {
    for (size_t k = 0; k < n && k < Data.DataWord.size(); ++k)
      if (Data.DataWord[k] == code) return Data.DataStringN[k];
  }
  return {};
}

std::string FieldGFB::PoolText(int32_t p) const {
  if (!InArray(Data.DataInteger, p)) return {};
  const int32_t o = Data.DataInteger[p - 1];
  const auto& pool = Data.DataByte;
  if (o < 0 || static_cast<size_t>(o) >= pool.size()) return {};
  size_t n = pool[o];
  if (n > pool.size() - o - 1) n = pool.size() - o - 1;
  return std::string(reinterpret_cast<const char*>(pool.data() + o + 1), n);
}

std::string FieldGFB::StringAt(int32_t p) const {
  if (p < 1 || GFBase->CountRecord <= 0) return W1251("Запись не найдена");
  const Stru_Data& d = Data;
  switch (TypeField) {
    case kFieldInteger:
      return InArray(d.DataInteger, p) ? std::to_string(d.DataInteger[p - 1]) : std::string();
    case kFieldString: {
      if (Size < 1) return {};
      const int64_t off = int64_t{p - 1} * Size;
      if (off + Size > static_cast<int64_t>(d.DataByte.size())) return {};
      return tables::ByteReader::FixedStringAt(d.DataByte.data() + off, Size);
    }
    case kFieldByte:
      return InArray(d.DataByte, p) ? std::to_string(d.DataByte[p - 1]) : std::string();
    case kFieldBoolean:
      return InArray(d.DataBoolean, p) ? (d.DataBoolean[p - 1] ? "T" : "F") : std::string();
    case kFieldWord:
      return InArray(d.DataWord, p) ? std::to_string(d.DataWord[p - 1]) : std::string();
    case kFieldFloat:
      return InArray(d.DataFloat, p) ? plat::FormatFloat(d.DataFloat[p - 1]) : std::string();
    case kFieldDouble:
      return InArray(d.DataDouble, p) ? plat::FormatFloat(d.DataDouble[p - 1]) : std::string();
    case kFieldCardinal:
      if (!InArray(d.DataCardinal, p)) return {};
      if (name == "r_dt") return DateTimeText(SecondsToDateTime(d.DataCardinal[p - 1]));
      return std::to_string(d.DataCardinal[p - 1]);
    case kFieldDateTime:
      return InArray(d.DataDateTime, p) ? DateTimeText(d.DataDateTime[p - 1]) : std::string();
    case kFieldBytes: {
      if (Size < 1) return {};
      const int64_t off = int64_t{p - 1} * Size;
      if (off + Size > static_cast<int64_t>(d.DataByte.size())) return {};
      std::string out;
      for (int32_t i = 0; i < Size; ++i) {
        out += std::to_string(d.DataByte[off + i]);
        out += ' ';
      }
      return out;
    }
    case kFieldInt64:
      return InArray(d.DataInt64, p) ? std::to_string(d.DataInt64[p - 1]) : std::string();
    case kFieldLookup16:
      return InArray(d.DataWord, p) ? LookupText(d.DataWord[p - 1]) : std::string();
    case kFieldLookup8:
      return InArray(d.DataByte, p) ? LookupText(d.DataByte[p - 1]) : std::string();
    case kFieldHex: {
      if (!InArray(d.DataInteger, p)) return {};
      char buf[16];
      std::snprintf(buf, sizeof buf, "%04X", static_cast<uint32_t>(d.DataInteger[p - 1]));
      return buf;
    }
    case kFieldText:
      return PoolText(p);
    case kFieldSeconds:
      return InArray(d.DataCardinal, p) ? DateTimeText(SecondsToDateTime(d.DataCardinal[p - 1]))
                                        : std::string();
    default:
      return {};
  }
}

int32_t FieldGFB::IntegerAt(int32_t p) {
  if (Marked() && !GFBase->RecordNE) Temp.TypeField = 0;
  if (!Load || p < 1) return 0;
  const Stru_Data& d = Data;
  const bool m = Marked();
  switch (TypeField) {
    case kFieldInteger:
      if (GFBase->EditRecord && m) return Temp.DataInteger;
      return InArray(d.DataInteger, p) ? d.DataInteger[p - 1] : 0;
    case kFieldString:
    case kFieldText:
      // A text that is not a number reads as 0 rather than raising an error.
      return StrToIntDef(StringAt(p), 0);
    case kFieldByte:
      if (m) return Temp.DataByte;
      return InArray(d.DataByte, p) ? d.DataByte[p - 1] : 0;
    case kFieldBoolean:
      if (m) return Temp.DataBoolean ? 1 : 0;
      return InArray(d.DataBoolean, p) ? (d.DataBoolean[p - 1] ? 1 : 0) : 0;
    case kFieldWord:
      if (m) return Temp.DataWord;
      return InArray(d.DataWord, p) ? d.DataWord[p - 1] : 0;
    case kFieldCardinal:
      if (m) return static_cast<int32_t>(Temp.DataCardinal);
      return InArray(d.DataCardinal, p) ? static_cast<int32_t>(d.DataCardinal[p - 1]) : 0;
    case kFieldFloat:
      if (m) return TruncInt32(Temp.DataFloat);
      return InArray(d.DataFloat, p) ? TruncInt32(d.DataFloat[p - 1]) : 0;
    case kFieldDouble:
      if (m) return TruncInt32(Temp.DataDouble);
      return InArray(d.DataDouble, p) ? TruncInt32(d.DataDouble[p - 1]) : 0;
    case kFieldDateTime:
      return InArray(d.DataDateTime, p) ? TruncInt32(d.DataDateTime[p - 1]) : 0;
    case kFieldLookup16:
      return InArray(d.DataWord, p) ? d.DataWord[p - 1] : 0;
    case kFieldLookup8:
      return InArray(d.DataByte, p) ? d.DataByte[p - 1] : 0;
    default:
      return 0;
  }
}

float FieldGFB::FloatAt(int32_t p) const {
  if (!Load || p < 1) return 0;
  const Stru_Data& d = Data;
  switch (TypeField) {
    case kFieldInteger:
      return InArray(d.DataInteger, p) ? static_cast<float>(d.DataInteger[p - 1]) : 0;
    case kFieldByte:
      return InArray(d.DataByte, p) ? d.DataByte[p - 1] : 0;
    case kFieldBoolean:
      return InArray(d.DataBoolean, p) ? (d.DataBoolean[p - 1] ? 1 : 0) : 0;
    case kFieldWord:
      return InArray(d.DataWord, p) ? d.DataWord[p - 1] : 0;
    case kFieldCardinal:
      return InArray(d.DataCardinal, p) ? static_cast<float>(d.DataCardinal[p - 1]) : 0;
    case kFieldString: {
      // A text that is not a number reads as 0 rather than raising an error.
      double v = 0;
      if (!plat::TryParseFloat(StringAt(p), v)) return 0;
      return static_cast<float>(v);
    }
    case kFieldFloat:
      if (Marked()) return Temp.DataFloat;
      return InArray(d.DataFloat, p) ? d.DataFloat[p - 1] : 0;
    case kFieldDouble:
      return InArray(d.DataDouble, p) ? static_cast<float>(d.DataDouble[p - 1]) : 0;
    case kFieldDateTime:
      return InArray(d.DataDateTime, p) ? static_cast<float>(d.DataDateTime[p - 1]) : 0;
    default:
      return 0;
  }
}

double FieldGFB::DateTimeAt(int32_t p) const {
  if (!Load || p < 1) return 0;
  const Stru_Data& d = Data;
  switch (TypeField) {
    case kFieldCardinal:
    case kFieldSeconds:
      if (Marked()) return SecondsToDateTime(Temp.DataCardinal);
      return InArray(d.DataCardinal, p) ? SecondsToDateTime(d.DataCardinal[p - 1]) : 0;
    case kFieldDateTime:
      if (Marked()) return Temp.DataDateTime;
      return InArray(d.DataDateTime, p) ? d.DataDateTime[p - 1] : 0;
    default:
      return 0;
  }
}

std::string FieldGFB::GetAsString() {
  std::lock_guard<std::recursive_mutex> g(GFBase->mutex_);
  return StringAt(GFBase->RecNoTemp);
}

int32_t FieldGFB::GetAsInteger() {
  std::lock_guard<std::recursive_mutex> g(GFBase->mutex_);
  return IntegerAt(GFBase->RecNoTemp);
}

float FieldGFB::GetAsFloat() {
  std::lock_guard<std::recursive_mutex> g(GFBase->mutex_);
  return FloatAt(GFBase->RecNoTemp);
}

double FieldGFB::GetAsDateTime() {
  std::lock_guard<std::recursive_mutex> g(GFBase->mutex_);
  return DateTimeAt(GFBase->RecNoTemp);
}

void FieldGFB::SetAsInteger(int32_t v) {
  std::lock_guard<std::recursive_mutex> g(GFBase->mutex_);
  if (!GFBase->RecordNE) return;
  Temp.TypeField = TypeField;
  switch (TypeField) {
    case kFieldInteger:
    case kFieldHex:
      Temp.DataInteger = v;
      break;
    case kFieldString:
      Temp.DataString = std::to_string(v);
      break;
    case kFieldByte:
      Temp.DataByte = (v < 0 || v > 255) ? 255 : static_cast<uint8_t>(v);
      break;
    case kFieldBoolean:
      Temp.DataBoolean = v == 1;
      break;
    case kFieldWord:
      Temp.DataWord = (v < 0 || v > 65535) ? 65535 : static_cast<uint16_t>(v);
      break;
    case kFieldFloat:
      Temp.DataFloat = static_cast<float>(v);
      break;
    case kFieldDouble:
      Temp.DataDouble = v;
      break;
    case kFieldCardinal:
    case kFieldSeconds:
      Temp.DataCardinal = v < 0 ? 0 : static_cast<uint32_t>(v);
      break;
    case kFieldDateTime:
      Temp.DataDateTime = v;
      break;
    default:
      break;  // marked only
  }
}

void FieldGFB::SetAsString(const std::string& s) {
  std::lock_guard<std::recursive_mutex> g(GFBase->mutex_);
  if (!GFBase->RecordNE) return;
  Temp.TypeField = TypeField;
  switch (TypeField) {
    case kFieldInteger:
      Temp.DataInteger = StrToIntDef(s, 0);
      break;
    case kFieldString:
    case kFieldText:
      Temp.DataString = Clip255(s);
      break;
    case kFieldByte:
      Temp.DataByte = static_cast<uint8_t>(Clamp(StrToIntDef(s, 0), 255));
      break;
    case kFieldBoolean:
      Temp.DataBoolean = s == "T";
      break;
    case kFieldWord:
      Temp.DataWord = static_cast<uint16_t>(Clamp(StrToIntDef(s, 0), 65535));
      break;
    case kFieldFloat: {
      double v = 0;
      if (!plat::TryParseFloat(s, v)) v = 0;
      Temp.DataFloat = static_cast<float>(v);
      break;
    }
    case kFieldDouble: {
      // -9999.9999 stands for "unreadable": such a text (or that value) changes nothing.
      constexpr double kUnreadable = -9999.9999;
      double v = kUnreadable;
      if (!plat::TryParseFloat(s, v)) v = kUnreadable;
      if (v != kUnreadable) {
        Temp.DataDouble = v;
      } else {
        Temp.TypeField = 0;
      }
      break;
    }
    case kFieldCardinal:
      Temp.DataCardinal = static_cast<uint32_t>(StrToIntDef(s, 0));
      break;
    case kFieldDateTime: {
      double dt = 0;
      if (!ParseDateTime(s, dt)) dt = 0;
      Temp.DataDateTime = dt;
      break;
    }
    case kFieldLookup16:
    case kFieldLookup8: {
      const bool wide = TypeField == kFieldLookup16;
      if (wide) {
        Temp.DataWord = 0;
      } else {
        Temp.DataByte = 0;
      }
      Temp.DataString = Clip255(s);
      if (s.empty()) break;
      const auto& texts = Data.DataStringN;
      const size_t codes = wide ? Data.DataCardinal.size() : Data.DataWord.size();
      for (size_t k = 0; k < texts.size() && k < codes; ++k) {
        if (!tables::SameText1251(texts[k], s)) continue;
        if (wide) {
          Temp.DataWord = static_cast<uint16_t>(Data.DataCardinal[k]);
        } else {
          Temp.DataByte = static_cast<uint8_t>(Data.DataWord[k]);
        }
        Temp.DataString = Clip255(texts[k]);
        break;
      }
      break;
    }
    default:
      break;  // marked only
  }
}

void FieldGFB::SetFilter(const std::string& text) {
  std::lock_guard<std::recursive_mutex> g(GFBase->mutex_);
  FFilter = text;
  FilterYes = !text.empty();
}
