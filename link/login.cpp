// Log-in lifecycle: the "reg" request and its answers, the keep-alive and the
// silence rules.
#include "link/login.h"

#include <cstring>

#include "foundation/json.h"
#include "link/client_udp.h"
#include "platform/clock.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

// The connection token: the sixteen digit pairs of the 36-character GUID
// text, hyphens skipped; a pair that is not hexadecimal gives 0.
void TidToBytes(const std::string& tid, uint8_t out[16]) {
  std::memset(out, 0, 16);
  if (tid.size() != 36) return;
  static const int kPos[16] = {1, 3, 5, 7, 10, 12, 15, 17, 20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 16; ++i) {
    int hi = HexDigit(tid[kPos[i] - 1]);
    int lo = HexDigit(tid[kPos[i]]);
    out[i] = (hi < 0 || lo < 0) ? 0 : static_cast<uint8_t>(hi * 16 + lo);
  }
}

std::string RegText(const std::string& id, const std::string& username, const std::string& password,
                    int keepalive, const std::string& zip, const std::string& ver) {
  // The password is escaped like the user name: raw, a quote in it would end
  // the value and let the rest of the password inject members.
  return "{\"$c$\":\"reg\",\"id\":\"" + id + "\",\"username\":\"" + JSONString(username) +
         "\",\"password\":\"" + JSONString(password) +
         "\",\"keepalive\":" + std::to_string(keepalive) + ",\"zip\":" + zip + ",\"ver\":\"" + ver +
         "\"" + "}";
}

void client_udp::LoginAttempt(int64_t now) {
  const int64_t since = ConnectTime.load();
  if (since != 0 && now - since <= TimeConnect) return;
  ConnectTime.store(now);
  net_.NextHost();
  std::memset(TIDB, 0, sizeof TIDB);
  std::string user, pass;
  {
    std::lock_guard<std::mutex> g(user_lock_);
    user = username_;
    pass = password_;
  }
  std::string reg = RegText(Id, user, pass, TestInt, zip, ver);
  PasOK.store(false);
  CountMes = 0;
  SendOne(reg);
  recv_.LastCountSoob.store(0);
  Hooks().OnLoginAttempt(*this);
}

void client_udp::OnRegOk(const std::string& text) {
  const int64_t now = plat::TickMs();
  TLinkHooks& hooks = Hooks();
  hooks.ResetTables(*this);
  SizePLoad = 0;
  SizeLoad = 0;
  PasOK.store(true);
  AD.store(false);
  tId = GetValueFromJSON(text, "tid");
  StartMessage = plat::Now();
  Soob.Clear();
  SoobFile.Clear();
  StartSoob = false;
  TidToBytes(tId, TIDB);
  // The window is set before the flags go up, so whoever sees Connected sees it.
  win_.AfterLogin(now - ConnectTime.load());
  DatabaseLoad.store(true);
  Connected.store(true);
  reciveTime.store(now);
  TimeConnect = 4000;
  net_.datagramsIn.store(0);
  net_.datagramsOut.store(0);
  win_.CountReSend = 0;
  std::string notice = "{\"$c$\":\"connected\",\"ver_serv\":\"" +
                       GetValueFromJSON(text, "version") + "\",\"data\":" + text;
  if (text.find("\"lkuser_n_abs\"") != std::string::npos)
    notice += ",\"lkuser_n_abs\":" + GetValueFromJSON(text, "lkuser_n_abs");
  notice += "}";
  ReadJSON.PutSoob(notice);
  if (hooks.HasTables(*this)) {
    DatabaseLoad.store(false);
    hooks.StartTableLoading(*this);
  }
}

void client_udp::OnAccessDenied(const std::string& text) {
  AD.store(true);
  Connected.store(false);
  TimeConnect = 10000;
  ReadJSON.PutSoob(text);
}

void client_udp::KeepAlive(int64_t now) {
  if (!Connected.load() || !DatabaseLoad.load()) return;
  if (now - TestTime <= static_cast<int64_t>(TestInt) * 1000) return;
  TestTime = now;
  std::string text = "{\"$c$\":\"testex\"";
  if (!MessagesStop) {
    std::vector<THistorySizes> list = Hooks().KeepAliveHistory(*this);
    std::string entries;
    for (const THistorySizes& h : list) {
      if (!entries.empty()) entries += ",";
      entries += "{\"name\":\"" + h.Name + "\",\"smmemo\":\"" + std::to_string(h.smmemo) +
                 "\",\"smzap\":\"" + std::to_string(h.smzap) + "\",\"smzag\":\"" +
                 std::to_string(h.smzag) + "\"}";
    }
    if (!entries.empty()) {
      text += ",\"history\":[" + entries + "]";
      MessagesRefresh = true;
      MessagesStopTime = now + 20000;
      MessagesStop = true;
    }
  }
  text += "}";
  SendOne(text);
  Log(text + " " + (MessagesStop ? "1" : "0") + " " + (MessagesRefresh ? "1" : "0"));
}

void client_udp::SilenceCheck(int64_t now) {
  if (!Connect.load() || !Connected.load()) return;
  if (DatabaseLoad.load()) {
    if (now - net_.keepAlive.load() > static_cast<int64_t>(TestInt) * 10 * 1000) LostConnect(1);
  } else if (now - reciveTime.load() > 30000) {
    BaseLostConnect();
    reciveTime.store(now);
    ReadJSON.PutSoob("{\"$c$\":\"disconnected\",\"p\":7}");
  }
}
