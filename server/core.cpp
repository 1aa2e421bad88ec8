#include "server/core.h"

#include <zlib.h>

#include <cstring>

#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "server/log.h"

namespace srv {

namespace {
constexpr size_t kMaxReceived = 4000;
constexpr size_t kZipAbove = 32 * 1024;
constexpr int kMaxTilesPerRequest = 400;
constexpr size_t kMaxPreparedFiles = 64;
// Beyond this many queued items a workstation gets no more tiles until it catches up.
constexpr size_t kMaxQueuedForTiles = 4000;

std::string AddrText(const plat::Ipv4Addr& a) {
  return plat::FormatIpv4(a.ip) + ":" + std::to_string(a.port);
}

bool StartsWith(const std::string& s, const char* p) {
  return s.rfind(p, 0) == 0;
}
bool EndsWith(const std::string& s, const std::string& e) {
  return s.size() >= e.size() && s.compare(s.size() - e.size(), e.size(), e) == 0;
}

// The part after the last backslash or slash.
std::string LastPart(const std::string& path) {
  size_t p = path.find_last_of("\\/");
  return p == std::string::npos ? path : path.substr(p + 1);
}

Bytes Zip(const Bytes& in) {
  uLongf n = compressBound(static_cast<uLong>(in.size()));
  Bytes out(n);
  if (compress2(out.data(), &n, in.data(), static_cast<uLong>(in.size()), 6) != Z_OK) return {};
  out.resize(n);
  return out;
}

// The members of a flat JSON object text (without its braces).
Fields Members(std::string text) {
  Fields f;
  std::string k, v;
  while (f.size() < 1000 && GetFirstValueFromJSON(text, k, v)) f.emplace_back(k, v);
  return f;
}

void TidBytes(const std::string& tid, uint8_t out[16]) {
  std::memset(out, 0, 16);
  static const int pos[16] = {1, 3, 5, 7, 10, 12, 15, 17, 20, 22, 25, 27, 29, 31, 33, 35};
  if (tid.size() != 36) return;
  Bytes b;
  for (int i = 0; i < 16; ++i) {
    HexToBytes(tid.substr(static_cast<size_t>(pos[i] - 1), 2), b);
    out[i] = b.empty() ? 0 : b[0];
  }
}
}  // namespace

ServerCore::ServerCore(CoreOptions o) : o_(std::move(o)), tiles_(o_.tiles) {}

std::string ServerCore::PhotoDir() const {
  return plat::JoinPath(o_.data_dir, "photo");
}

bool ServerCore::Open() {
  if (!store_.Open(o_.data_dir)) return false;
  plat::ForceDirectories(PhotoDir());
  double today = plat::Date();
  int y, m, d;
  plat::DecodeDate(today, y, m, d);
  std::string name = o_.history_name.empty() ? "hx8_" + plat::DateToYmd(today) : o_.history_name;
  return history_.Open(plat::JoinPath(o_.data_dir, "history"), name, y, m, d);
}

Session* ServerCore::Find(const plat::Ipv4Addr& a) {
  auto it = sessions_.find({a.ip, a.port});
  return it == sessions_.end() ? nullptr : it->second.get();
}

void ServerCore::Remember(const std::string& text) {
  received_.push_back(text.size() > 4096 ? text.substr(0, 4096) : text);
  while (received_.size() > kMaxReceived) received_.pop_front();
}

std::vector<std::string> ServerCore::ReceivedCommands() const {
  return std::vector<std::string>(received_.begin(), received_.end());
}

int ServerCore::LoggedIn() const {
  int n = 0;
  for (const auto& [k, s] : sessions_) n += s->logged_in ? 1 : 0;
  return n;
}

int64_t ServerCore::Retransmissions() const {
  int64_t n = 0;
  for (const auto& [k, s] : sessions_) n += s->retransmissions();
  return n;
}

void ServerCore::HandleDatagram(const plat::Ipv4Addr& from, const uint8_t* data, size_t len,
                                int64_t now) {
  now_ = now;
  zag_ex h;
  if (!DecodeDatagram(data, len, h)) return;
  Session* s = Find(from);
  if (h.typepacket == kTypeAck) {
    if (s && std::memcmp(h.TID, s->tidb, 16) == 0) {
      s->last_heard = now;
      s->OnAck(h, now);
    }
    return;
  }
  if (h.typepacket > kTypeRaw3) return;
  if (!s) {
    if (sessions_.size() >= o_.max_sessions) return;
    auto owned = std::make_unique<Session>(from, now);
    s = owned.get();
    sessions_.emplace(std::make_pair(from.ip, from.port), std::move(owned));
  }
  Bytes payload_data = DatagramData(data, len, h);
  bool is_reg =
      h.typepacket == kTypeText && h.AllPacket == 1 &&
      StartsWith(std::string(payload_data.begin(), payload_data.end()), "{\"$c$\":\"reg\"");
  if (is_reg) {
    Bytes whole(data, data + len);
    if (whole == s->last_reg) {  // the same datagram again, not a new attempt
      send_(from, BuildAck(h));
      return;
    }
    s->last_reg = std::move(whole);
    s->ResetIncoming();
  } else if (s->logged_in && std::memcmp(h.TID, s->tidb, 16) != 0) {
    return;  // left over from an earlier log-in
  }
  s->last_heard = now;
  std::vector<InMessage> done;
  if (!s->Receive(h, payload_data, done)) return;
  send_(from, BuildAck(h));
  for (InMessage& m : done) {
    if (m.type != kTypeText) continue;  // the server asks for no files and takes no raw records
    Dispatch(*s, std::string(m.data.begin(), m.data.end()), now);
    s = Find(from);
    if (!s) return;  // the session ended ("closeclient")
  }
}

void ServerCore::Tick(int64_t now) {
  now_ = now;
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    Session& s = *it->second;
    bool alive = s.Tick(now, send_);
    if (!alive) Log("workstation " + AddrText(s.addr) + " does not acknowledge; dropped");
    if (alive && now - s.last_heard > o_.drop_after_ms) {
      if (s.logged_in) Log("workstation " + AddrText(s.addr) + " (" + s.user + ") silent; dropped");
      alive = false;
    }
    if (!alive) {
      it = sessions_.erase(it);
      continue;
    }
    if (s.logged_in && s.Queued() == 0 && now - s.last_sent > o_.probe_after_ms) {
      zag_ex p;
      p.typepacket = kTypeProbe;
      std::memcpy(p.TID, s.tidb, 16);
      send_(s.addr, BuildDatagram(p));
      s.last_sent = now;
    }
    ++it;
  }
}

void ServerCore::QueueText(Session& s, const std::string& text, std::function<void()> done) {
  OutItem item;
  item.type = kTypeText;
  item.data.assign(text.begin(), text.end());
  item.on_done = std::move(done);
  s.Queue(std::move(item));
}

void ServerCore::QueueRaw(Session& s, Bytes raw, std::function<void()> done) {
  OutItem item;
  item.type = kTypeRaw2;
  item.data = std::move(raw);
  item.on_done = std::move(done);
  s.Queue(std::move(item));
}

std::string ServerCore::PrepareFile(Session& s, const std::string& stem, const std::string& ext,
                                    Bytes content) {
  std::string name = stem + "_" + std::to_string(++s.file_serial) + ext;
  s.files[name] = std::move(content);
  // Files never fetched must not pile up: the oldest go first.
  s.file_order.push_back(name);
  while (s.file_order.size() > kMaxPreparedFiles) {
    s.files.erase(s.file_order.front());
    s.file_order.pop_front();
  }
  return name;
}

void ServerCore::Dispatch(Session& s, const std::string& text, int64_t now) {
  Remember(text);
  std::string c = GetValueFromJSON(text, "$c$");
  LogDebug("<<<< " + AddrText(s.addr) + " " + text.substr(0, 300));
  if (c == "reg") return OnReg(s, text, now);
  if (!s.logged_in) return;
  if (c == "testex") return OnTestex(s, text);
  if (c == "closeclient") {
    Log("workstation " + AddrText(s.addr) + " (" + s.user + ") closed");
    sessions_.erase({s.addr.ip, s.addr.port});
    return;
  }
  if (c == "database") return OnDatabase(s, text);
  if (c == "getfile") return OnGetFile(s, text);
  if (c == "startrecivefile") return s.AcceptFile(now);
  if (c == "putfilebase64") return OnPutFile(s, text);
  if (c == "get_osm") return OnGetOsm(s, text);
  LogDebug("unknown command " + c);
}

void ServerCore::OnReg(Session& s, const std::string& text, int64_t /*now*/) {
  std::string user = GetValueFromJSON(text, "username");
  // The password travels unescaped: take it whole up to the member that follows it.
  std::string password;
  const std::string open = "\"password\":\"", close = "\",\"keepalive\":";
  size_t a = text.find(open);
  size_t b = a == std::string::npos ? a : text.find(close, a + open.size());
  if (a != std::string::npos && b != std::string::npos)
    password = text.substr(a + open.size(), b - a - open.size());
  else
    password = GetValueFromJSON(text, "password");
  s.ResetOutgoing();
  s.logged_in = false;
  s.tables_sent.clear();
  s.files.clear();
  s.file_order.clear();
  s.archived.clear();
  s.history_busy = false;
  std::memset(s.tidb, 0, 16);
  int n_abs = store_.CheckUser(user, password);
  if (n_abs < 0) {
    // A workstation that escapes the password as JSON sends \" and \\ for " and \.
    std::string plain;
    for (size_t i = 0; i < password.size(); ++i) {
      if (password[i] == '\\' && i + 1 < password.size() &&
          (password[i + 1] == '"' || password[i + 1] == '\\' || password[i + 1] == '/'))
        ++i;
      plain.push_back(password[i]);
    }
    if (plain != password) n_abs = store_.CheckUser(user, plain);
  }
  if (n_abs < 0) {
    Log("log-in of \"" + user + "\" from " + AddrText(s.addr) + " refused");
    QueueText(s, "{\"$c$\":\"accessdenied\"}");
    return;
  }
  s.tid = plat::NewGuidText();
  s.user = user;
  s.logged_in = true;
  QueueText(s, "{\"$c$\":\"regok\",\"tid\":\"" + s.tid + "\",\"version\":\"" + o_.version +
                   "\",\"n_abs\":" + std::to_string(n_abs) + "}");
  TidBytes(s.tid, s.tidb);  // the answer itself already carries the new token
  Log("log-in of \"" + user + "\" from " + AddrText(s.addr) + " accepted, tid " + s.tid);
}

void ServerCore::OnTestex(Session& s, const std::string& text) {
  std::string list = GetValueFromJSON(text, "history");
  // A delivery the workstation never collected must not block it for good.
  if (s.history_busy && now_ - s.history_busy_at > 30000) s.history_busy = false;
  if (list.empty() || s.history_busy) {
    QueueText(s, "{\"$c$\":\"testex\"}");
    return;
  }
  int64_t memo = -1, zap = -1, zag = -1;
  std::string el;
  for (int i = 0; i < 100 && !list.empty(); ++i) {
    GetFirstMasFromJSON(list, el);
    if (el.empty()) break;
    if (GetValueFromJSON(el, "name") != history_.Name()) continue;
    memo = StrToInt64Def(GetValueFromJSON(el, "smmemo"), -1);
    zap = StrToInt64Def(GetValueFromJSON(el, "smzap"), -1);
    zag = StrToInt64Def(GetValueFromJSON(el, "smzag"), -1);
    break;
  }
  auto clear_busy = [this, addr = s.addr]() {
    if (Session* x = Find(addr)) x->history_busy = false;
  };
  Bytes stream;
  const std::string& name = history_.Name();
  if (memo < 0 || zap < 0 || zag < 0) {
    // Not our history (another day): an empty stream lets the workstation ask again.
    QueueText(s, "{\"$c$\":\"testex\"}");
    QueueRaw(s, Bytes{1, 0, 0, 0});
    return;
  }
  s.history_busy = true;
  s.history_busy_at = now_;
  if (memo == 0 && zap == 0 && zag == 0 && !s.archived.count(name) && !history_.Zag().empty()) {
    s.archived.insert(name);
    std::string file = PrepareFile(s, name, ".arc", history_.Archive());
    QueueText(s, "{\"$c$\":\"testex\"}");
    QueueText(s,
              "{\"$c$\":\"getarchiveok\",\"name\":\"" + name + "\",\"filename\":\"" + file + "\"}");
    Log("history " + name + " to " + s.user + " as an archive");
    // history_busy is cleared when the archive file has gone (OnGetFile).
    return;
  }
  if (!history_.Growth(memo, zap, zag, stream)) {
    // The workstation holds more than we do: empty its copy, then send it all.
    Bytes reset, full;
    history_.Growth(0, 0, 0, full);
    Bytes head = history_.SegmentHeader(0, 0, 0, 0, 0, 0);
    reset.push_back(0);
    PutI32(reset, kHistorySegmentCommand);
    PutI32(reset, static_cast<int32_t>(head.size()));
    reset.insert(reset.end(), 9, 0);
    reset.insert(reset.end(), head.begin(), head.end());
    stream = reset;
    stream.insert(stream.end(), full.begin(), full.end());
  }
  Bytes raw = {1, 0, 0, 0};
  raw.insert(raw.end(), stream.begin(), stream.end());
  if (stream.size() <= o_.raw_history_limit) {
    QueueText(s, "{\"$c$\":\"testex\"}");
    QueueRaw(s, std::move(raw), clear_busy);
    if (!stream.empty()) LogDebug("history " + name + " to " + s.user + " as raw records");
    return;
  }
  std::string file = PrepareFile(s, name, ".his", std::move(raw));
  QueueText(s, "{\"$c$\":\"testex\",\"messages\":{\"filename\":\"" + file + "\"}}");
  Log("history " + name + " to " + s.user + " as file " + file);
}

void ServerCore::OnDatabase(Session& s, const std::string& text) {
  std::string cmd = GetValueFromJSON(text, "command");
  if (cmd == "gettableraw") return OnGetTable(s, text);
  std::string table = GetValueFromJSON(text, "nametable");
  if (!store_.Table(table)) {
    Log("change for unknown table \"" + table + "\" ignored");
    return;
  }
  if (cmd == "netadddatadatabase") {
    int k = store_.Add(table, Members(GetValueFromJSON(text, "fields")));
    if (k < 0) return;
    Log(s.user + " added " + table + " n_abs " + std::to_string(k + 1));
    PushUpdate(table, k, false);
  } else if (cmd == "neteditdatadatabase") {
    int n = StrToIntDef(GetValueFromJSON(text, "n_abs"), -1);
    int k = store_.Edit(table, n, Members(GetValueFromJSON(text, "fields")));
    if (k < 0) return;
    Log(s.user + " edited " + table + " n_abs " + std::to_string(n));
    PushUpdate(table, k, true);
  } else if (cmd == "netdeletedatadatabase") {
    int n = StrToIntDef(GetValueFromJSON(text, "n_abs"), -1);
    if (store_.Delete(table, n) < 0) return;
    Log(s.user + " deleted " + table + " n_abs " + std::to_string(n));
    PushDelete(table, n);
  }
}

void ServerCore::OnGetTable(Session& s, const std::string& text) {
  std::string name = GetValueFromJSON(text, "name");
  ServerTable* t = store_.Table(name);
  if (!t) {
    Log("table \"" + name + "\" asked for; there is none");
    return;
  }
  std::map<std::string, std::string> md5;
  for (auto& [k, v] : Members(GetValueFromJSON(text, "md5"))) md5[k] = v;
  int blocks = 0;
  Bytes file = t->TableFile(md5, &blocks);
  size_t plain = file.size();
  bool zip = false;
  if (file.size() > kZipAbove) {
    Bytes z = Zip(file);
    if (!z.empty()) {
      file = std::move(z);
      zip = true;
    }
  }
  size_t size = file.size();
  std::string fname = PrepareFile(s, name, ".tbr", std::move(file));
  s.tables_sent.insert(name);
  QueueText(s, "{\"$c$\":\"tablerawfromfile\",\"name\":\"" + name + "\",\"filename\":\"" + fname +
                   "\",\"zip\":\"" + (zip ? "1" : "0") + "\",\"x\":\"0\",\"size\":\"" +
                   std::to_string(size) + "\"}");
  Log("table " + name + " to " + s.user + ": " + std::to_string(t->Count()) + " records, " +
      std::to_string(blocks) + " of " + std::to_string(t->def().cols.size()) + " columns, " +
      std::to_string(plain) + " bytes" + (zip ? ", " + std::to_string(size) + " zipped" : ""));
}

void ServerCore::OnGetFile(Session& s, const std::string& text) {
  std::string inserv = GetValueFromJSON(text, "nameinserv");
  std::string offer = LastPart(GetValueFromJSON(text, "name"));
  std::string last = LastPart(inserv);
  if (offer.empty() || !plat::IsPlainFileName(offer)) offer = last;
  bool remove = GetValueFromJSON(text, "delete") == "1";
  OutItem item;
  item.type = kTypeFile;
  item.offer_name = offer;
  bool found = false;
  if (StartsWith(inserv, "photo\\")) {
    found = plat::IsPlainFileName(last) &&
            plat::ReadWholeFile(plat::JoinPath(PhotoDir(), last), item.data, 64 << 20);
  } else if (StartsWith(inserv, "client9\\") || inserv == last) {
    auto it = s.files.find(last);
    if (it != s.files.end()) {
      found = true;
      item.data = it->second;
      if (remove) s.files.erase(it);
      if (EndsWith(last, ".arc") || EndsWith(last, ".his")) {
        // The workstation can ask again once this history file has been applied.
        bool archive = EndsWith(last, ".arc");
        item.on_done = [this, addr = s.addr, archive]() {
          Session* x = Find(addr);
          if (!x) return;
          if (archive)
            QueueRaw(*x, Bytes{1, 0, 0, 0}, [this, addr]() {
              if (Session* y = Find(addr)) y->history_busy = false;
            });
          else
            x->history_busy = false;
        };
      }
    }
  }
  if (!found || !plat::IsPlainFileName(offer)) {
    Log("file \"" + inserv + "\" asked for by " + s.user + ": not found");
    QueueText(s, "{\"$c$\":\"sendfilenotfind\",\"nameinserv\":\"" + JSONString(inserv) + "\"}");
    return;
  }
  LogDebug("file " + inserv + " to " + s.user + " as " + offer + ", " +
           std::to_string(item.data.size()) + " bytes");
  s.Queue(std::move(item));
}

void ServerCore::OnPutFile(Session& s, const std::string& text) {
  std::string inserv = GetValueFromJSON(text, "nameinserv");
  std::string last = LastPart(inserv);
  Bytes data;
  bool ok = StartsWith(inserv, "photo\\") && plat::IsPlainFileName(last) &&
            plat::Base64Decode(GetValueFromJSON(text, "data"), data) && !data.empty() &&
            plat::WriteFileAtomic(plat::JoinPath(PhotoDir(), last), data);
  if (!ok) {
    Log("photo \"" + inserv + "\" from " + s.user + " not stored");
    return;
  }
  Log("photo " + inserv + " replaced by " + s.user + " (" + std::to_string(data.size()) +
      " bytes)");
  QueueText(s, "{\"$c$\":\"putfilebase64ok\",\"nameinserv\":\"" + JSONString(inserv) + "\"}");
}

void ServerCore::OnGetOsm(Session& s, const std::string& text) {
  if (s.Queued() > kMaxQueuedForTiles) {
    Log("tile request from " + s.user + " dropped: too much is waiting");
    return;
  }
  int map = StrToIntDef(GetValueFromJSON(text, "map"), 1);
  int source = StrToIntDef(GetValueFromJSON(text, "maps"), 0);
  std::string list = GetValueFromJSON(text, "data");
  std::string el;
  int n = 0;
  while (!list.empty() && n < kMaxTilesPerRequest) {
    GetFirstMasFromJSON(list, el);
    if (el.empty()) break;
    int x = StrToIntDef(GetValueFromJSON(el, "x"), -1);
    int y = StrToIntDef(GetValueFromJSON(el, "y"), -1);
    int z = StrToIntDef(GetValueFromJSON(el, "z"), -1);
    Bytes png = tiles_.Tile(z, x, y);
    if (png.empty()) continue;
    QueueText(s, "{\"$c$\":\"oldup\",\"data\":\"" + PutOsmHex(x, y, z, map, source, png) + "\"}");
    ++n;
  }
  LogDebug(std::to_string(n) + " tiles to " + s.user);
}

void ServerCore::PushUpdate(const std::string& table, int k, bool as_message) {
  ServerTable* t = store_.Table(table);
  if (!t || k < 0 || k >= t->Count()) return;
  Bytes form = t->UpdateForm(k);
  std::string msg = "{\"$c$\":\"refreshdatadatabase\",\"nametable\":\"" + table +
                    "\",\"fields\":\"" + BytesToHex(form) + "\",\"pos\":" + std::to_string(k) + "}";
  // A text of several packets would bypass the link's dispatcher: those go as raw records.
  bool text = as_message && msg.size() <= kPacketData;
  Bytes raw = {2, 0, 0, 0};
  raw.insert(raw.end(), form.begin(), form.end());
  for (auto& [key, s] : sessions_) {
    if (!s->logged_in || !s->tables_sent.count(table)) continue;
    if (text)
      QueueText(*s, msg);
    else
      QueueRaw(*s, raw);
  }
}

void ServerCore::PushDelete(const std::string& table, int n_abs) {
  Bytes raw = {3, 0, 0, 0};
  PutShortFixed(raw, table, 9);
  PutI32(raw, n_abs);
  for (auto& [key, s] : sessions_)
    if (s->logged_in && s->tables_sent.count(table)) QueueRaw(*s, raw);
}

int ServerCore::AddRecord(const std::string& table, const Fields& fields) {
  int k = store_.Add(table, fields);
  if (k < 0) return -1;
  PushUpdate(table, k, false);
  return k + 1;
}

bool ServerCore::EditRecord(const std::string& table, int n_abs, const Fields& fields) {
  int k = store_.Edit(table, n_abs, fields);
  if (k < 0) return false;
  PushUpdate(table, k, true);
  return true;
}

bool ServerCore::DeleteRecord(const std::string& table, int n_abs) {
  if (store_.Delete(table, n_abs) < 0) return false;
  PushDelete(table, n_abs);
  return true;
}

bool ServerCore::AppendHistory(const HistoryEvent& e) {
  return history_.Append(e);
}

bool ServerCore::PutPhoto(const std::string& name, const Bytes& jpeg) {
  if (!plat::IsPlainFileName(name)) return false;
  return plat::WriteFileAtomic(plat::JoinPath(PhotoDir(), name), jpeg);
}

}  // namespace srv
