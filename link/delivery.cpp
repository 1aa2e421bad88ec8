// The link's delivery hooks: table loading in list order, table files,
// record updates by message, the history objects' folders and keep-alive
// sizes, and the completion of received table, history and archive files.
#include "link/delivery.h"

#include <cctype>
#include <cstdint>

#include "foundation/json.h"
#include "link/client_udp.h"
#include "platform/files.h"
#include "platform/text1251.h"

namespace {

class LinkIO : public TDeliveryIO {
 public:
  explicit LinkIO(client_udp& l) : l_(l) {}
  void Log(const std::string& line) override { l_.Log(line); }
  void Notice(const std::string& text) override { l_.ReadJSON.PutSoob(text); }
  void HistoryDelivered() override {
    l_.MessagesStop = false;
    l_.MessagesRefresh = false;
  }

 private:
  client_udp& l_;
};

}  // namespace

std::string ServerFileNamePart(const std::string& path) {
  const size_t at = path.find_last_of("\\/");
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string ReadShortStringField(const uint8_t* data, size_t field) {
  if (field == 0) return "";
  size_t len = data[0];
  if (len > field - 1) len = field - 1;
  return std::string(reinterpret_cast<const char*>(data) + 1, len);
}

std::string TDelivery::ServerPortOf(client_udp& l) {
  if (l.host().empty()) return "";
  return l.host()[0] + "-" + std::to_string(l.port()) + "/";
}

TBaseClient* TDelivery::FindTable(const std::string& name) {
  if (!Bases) return nullptr;
  for (auto& t : *Bases) {
    auto g = t->Lock();
    if (t->NameTableS == name) return t.get();
  }
  return nullptr;
}

THistory* TDelivery::FindHistory(const std::string& name) {
  for (THistory* h : Messages)
    if (h && h->Name == name) return h;
  return nullptr;
}

void TDelivery::OnLoginAttempt(client_udp&) {
  for (THistory* h : Messages)
    if (h) h->NotSoob = false;
}

void TDelivery::ResetTables(client_udp&) {
  if (!Bases) return;
  for (auto& t : *Bases) t->ResetLoad();
}

bool TDelivery::HasTables(client_udp&) {
  return Bases && !Bases->empty();
}

void TDelivery::StartTableLoading(client_udp& l) {
  if (!Bases) return;
  for (auto& t : *Bases) {
    auto g = t->Lock();
    t->OnNetDataSend9 = [&l](TBaseClient*, const std::string& text) { l.Soob.PutSoob(text); };
    t->StartLoad = false;
  }
}

std::vector<THistorySizes> TDelivery::KeepAliveHistory(client_udp&) {
  std::vector<THistorySizes> out;
  for (THistory* h : Messages) {
    if (!h || h->ServerPort.empty() || h->Name.empty() || !h->Mona) continue;
    THistorySizes s;
    s.Name = h->Name;
    h->Sizes(s.smmemo, s.smzap, s.smzag);
    h->NotSoob = true;
    out.push_back(s);
  }
  return out;
}

bool TDelivery::AllTablesLoaded(client_udp&) {
  if (!Bases) return true;
  for (auto& t : *Bases)
    if (!t->FlagLoadData) return false;
  return true;
}

void TDelivery::PrepareHistory(client_udp& l) {
  for (THistory* h : Messages) {
    if (!h || !h->ServerPort.empty()) continue;
    h->ServerPort = ServerPortOf(l);
    if (!h->ServerPort.empty()) h->Load();
  }
}

void TDelivery::RequestNextTable(client_udp& l) {
  if (!Bases || l.StartLoadDatabase) return;
  for (auto& t : *Bases) {
    if (t->FlagLoadData || t->StartLoad) continue;
    l.StartLoadDatabase = true;
    t->StartLoad = true;
    // An empty request leaves the load outstanding, as the table asked.
    const std::string request = t->GetJSONLoad();
    if (!request.empty()) l.Soob.PutSoob(request);
    return;
  }
}

void TDelivery::RefreshTables(client_udp& l) {
  if (!Bases) return;
  for (auto& t : *Bases) {
    if (!t->FlagLoadData || !t->RefreshYes.exchange(false)) continue;
    std::string name;
    {
      auto g = t->Lock();
      name = t->NameTableS;
    }
    l.RefreshDataBase(name);
  }
}

void TDelivery::OnRaw(client_udp& l, const std::vector<uint8_t>& raw) {
  LinkIO io(l);
  ApplyRaw(io, raw.data(), raw.size());
}

void TDelivery::OnTableRawFromFile(client_udp& l, const std::string& text) {
  TBaseClient* t = FindTable(GetValueFromJSON(text, "name"));
  if (!t) return;
  const std::string file = ServerFileNamePart(GetValueFromJSON(text, "filename"));
  std::string table;
  {
    auto g = t->Lock();
    t->LoadFileName = file;
    table = t->NameTableS;
  }
  t->LoadTypeRaw = true;
  t->Zip = GetValueFromJSON(text, "zip") == "1";
  t->tamirx = GetValueFromJSON(text, "x") == "1";
  l.SizeLoad += StrToInt64Def(GetValueFromJSON(text, "size"), 0);
  const std::string head = "{\"$c$\":\"getfile\",\"nameinserv\":\"client9\\\\" + l.tId + "\\\\" +
                           file + "\",\"name\":\"" + file;
  l.Soob.PutSoob(head + "\",\"delete\":1}");
  l.Log("table " + table + " file " + head + "\"}");
}

bool TDelivery::ApplyRefreshData(const std::string& text) {
  TBaseClient* t = FindTable(GetValueFromJSON(text, "nametable"));
  if (!t) return false;
  const std::string fields = GetValueFromJSON(text, "fields");
  const std::string pos_text = GetValueFromJSON(text, "pos");
  // A malformed update is dropped whole rather than applied half-read.
  for (char c : fields)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  int64_t pos = 0;
  if (fields.empty() || !TryStrToInt64(pos_text, pos) || pos < 0 || pos > INT32_MAX) return false;
  Bytes form;
  HexToBytes(fields, form);
  t->PutDataFieldPos(static_cast<int32_t>(pos), form);
  t->RefreshYes = true;
  t->RefreshData();
  return true;
}

void TDelivery::OnRefreshDataDatabase(client_udp&, const std::string& text) {
  ApplyRefreshData(text);
}

void TDelivery::OnGetArchiveOk(client_udp& l, const std::string& text) {
  const std::string filename = GetValueFromJSON(text, "filename");
  ArchiveFileName = ServerFileNamePart(filename);
  ArchiveName = GetValueFromJSON(text, "name");
  l.Soob.PutSoob("{\"$c$\":\"getfile\",\"nameinserv\":\"" + JSONString(filename) +
                 "\",\"name\":\"" + ArchiveFileName + "\",\"delete\":1}");
}

void TDelivery::OnHistoryFromFile(client_udp& l, const std::string& text) {
  l.Soob.PutSoob("{\"$c$\":\"getfile\",\"nameinserv\":\"" + GetValueFromJSON(text, "filename") +
                 "\",\"tid\":\"" + l.tId + "\"}");
}

bool TDelivery::LoadTableFile(client_udp& l, const std::string& name, const std::string& path,
                              int64_t size) {
  if (!Bases) return false;
  for (auto& t : *Bases) {
    {
      auto g = t->Lock();
      if (t->LoadFileName.empty() || t->LoadFileName != name) continue;
    }
    l.StartLoadDatabase = false;
    t->LoadFromFile(path);
    std::string table;
    int32_t count = 0;
    {
      auto g = t->Lock();
      table = t->NameTableS;
      count = t->CountRecordFilter;
    }
    l.ReadJSON.PutSoob("{\"$c$\":\"tableload\",\"name\":\"" + table + "\",\"size\":\"" +
                       std::to_string(size) + "\",\"count\":" + std::to_string(count) + "}");
    plat::DeleteFile(path);
    return true;
  }
  return false;
}

bool TDelivery::OnFileComplete(client_udp& l, const std::string& name, const std::string& path,
                               int64_t size) {
  LinkIO io(l);
  if (!ArchiveFileName.empty() && name == ArchiveFileName) {
    ApplyArchive(io, path, l.WorkDir, ServerPortOf(l));
    plat::DeleteFile(path);
    return true;
  }
  if (LoadTableFile(l, name, path, size)) return true;
  if (!l.MessagesRefreshFileName.empty() && name == l.MessagesRefreshFileName) {
    ApplyHistoryFile(io, path);
    plat::DeleteFile(path);
    l.ReadJSON.PutSoob("{\"$c$\":\"getfileok\",\"name\":\"" + JSONString(name) + "\"}");
    io.HistoryDelivered();
    return true;
  }
  return false;
}
