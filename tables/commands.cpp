// Texts the table sends to the server: the load request and the add, edit and
// delete commands.
#include <string>

#include "foundation/json.h"
#include "platform/regional.h"
#include "tables/base_client.h"

namespace {

std::string DateTimeText(double dt) {
  return dt > 0 ? plat::FormatDateTime(dt) : std::string();
}

// The member value of a changed column, from its edit buffer; false for types
// that have no value form (they are left out).
bool MemberValue(const FieldGFB& f, uint8_t type, std::string& v) {
  const Stru_Temp& t = f.Temp;
  switch (type) {
    case kFieldInteger:
    case kFieldHex:
      v = std::to_string(t.DataInteger);
      return true;
    case kFieldString:
    case kFieldText:
      v = "\"" + JSONString(t.DataString) + "\"";
      return true;
    case kFieldByte:
      v = std::to_string(t.DataByte);
      return true;
    case kFieldBoolean:
      v = t.DataBoolean ? "T" : "F";
      return true;
    case kFieldWord:
      v = std::to_string(t.DataWord);
      return true;
    case kFieldFloat:
      v = plat::FormatFloat(t.DataFloat);
      return true;
    case kFieldDouble:
      v = plat::FormatFloat(t.DataDouble);
      return true;
    case kFieldCardinal:
    case kFieldSeconds:
      v = std::to_string(t.DataCardinal);
      return true;
    case kFieldDateTime:
      v = "\"" + DateTimeText(t.DataDateTime) + "\"";
      return true;
    case kFieldBytes: {
      v = "[";
      for (size_t k = 0; k < t.DataArrayByte.size(); ++k) {
        if (k != 0) v += ",";
        v += std::to_string(t.DataArrayByte[k]);
      }
      v += "]";
      return true;
    }
    case kFieldInt64:
      v = std::to_string(t.DataInt64);
      return true;
    case kFieldLookup16:
    case kFieldLookup8:
      // Escaped like every other text: a quote must not end the value early.
      v = "\"" + JSONString(t.DataString) + "\"";
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string TBaseClient::GetJSONLoad() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (FlagLoadData || SendLoadData) return {};
  try {
    Clear();
    CacheLoad();
    std::string digests;
    for (auto& f : Fields) {
      if (f->MD5.empty()) continue;
      if (!digests.empty()) digests += ",";
      digests += "\"" + JSONString(f->name) + "\":\"" + f->MD5 + "\"";
    }
    std::string text =
        "{\"$c$\":\"database\",\"command\":\"gettableraw\",\"refresh\":1,\"name\":\"" + NameTableS +
        "\"" + ",\"md5\":{" + digests + "}" + ",\"filter\":" + LoadFilter + "}";
    SendLoadData = true;
    return text;
  } catch (...) {
    return {};
  }
}

namespace {

std::string CommandHead(const TBaseClient& t, const char* command) {
  std::string s = "{\"$c$\":\"database\",";
  if (t.SendUser) s += "\"user\":\"" + JSONString(t.User) + "\",";
  s += "\"command\":\"";
  s += command;
  s += "\",";
  return s;
}

}  // namespace

int32_t TBaseClient::Post() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (!RecordNE) {
    RefreshYes = true;
    return -1;
  }
  RecordNE = false;
  FieldGFB* slave = FindField(FSlaveField);
  if (slave != nullptr && slave->TypeField == kFieldInteger) {
    slave->Temp.DataInteger = MasterValue();
    slave->Temp.TypeField = kFieldInteger;
  }
  std::string members;
  for (auto& f : Fields) {
    if (f->Temp.TypeField == 0) continue;
    std::string v;
    if (MemberValue(*f, f->TypeField, v)) {
      if (!members.empty()) members += ",";
      members += "\"" + JSONString(f->name) + "\":" + v;
    }
    f->Temp.TypeField = 0;
  }
  std::string body = "\"nametable\":\"" + NameTableS + "\",";
  if (EditRecord) body += "\"n_abs\":" + std::to_string(BEdit) + ",";
  body += "\"fields\":{" + members + "}";
  const char* command = EditRecord ? "neteditdatadatabase" : "netadddatadatabase";
  Send(CommandHead(*this, command) + body + "}");
  RefreshYes = true;
  return -1;
}

void TBaseClient::DeleteRecordCurrent() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FieldGFB* key = GetFieldCurrent("n_abs");
  const int32_t n = key ? key->GetAsInteger() : 0;
  Send(CommandHead(*this, "netdeletedatadatabase") + "\"nametable\":\"" + NameTableS +
       "\",\"n_abs\":\"" + std::to_string(n) + "\",}");
  DeletedRecordL(n);
}
