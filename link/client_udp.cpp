#include "link/client_udp.h"

#include <chrono>

#include "foundation/json.h"
#include "platform/clock.h"

namespace {

TLinkHooks& NoHooks() {
  static TLinkHooks none;
  return none;
}

std::string WorkFolder(std::string dir) {
  return dir.empty() ? plat::CurrentDir() : dir;
}

}  // namespace

std::string GetVer() {
#ifdef SVCDESK_VERSION
  std::string v = SVCDESK_VERSION;
  return v.empty() ? "0.0.0.0" : v;
#else
  return "0.0.0.0";
#endif
}

client_udp::client_udp(std::string id, uint16_t port, const std::string& addresses,
                       std::string workDir)
    : Soob(kSoobCapacity, net_.waker),
      SoobFile(kSoobFileCapacity, net_.waker),
      Id(std::move(id)),
      WorkDir(WorkFolder(std::move(workDir))),
      ver(GetVer()),
      Back(WorkDir),
      recv_(net_),
      reasm_(recv_.LastCountSoob),
      log_(WorkDir) {
  net_.SetHosts(addresses);
  net_.port = port;
  TempDir_ = plat::JoinPath(WorkDir, "temp");
  plat::ForceDirectories(TempDir_);
  log_.SetName("udpc");
  log_.Log.store(true);
  Back.NameBack = "dd8";
  Back.Init();
  if (net_.FSocket.Open(0)) {
    locport = net_.FSocket.LocalPort();
    started_ = true;
    recv_.Start();
    thread_ = std::thread([this] { Execute(); });
  }
}

client_udp::~client_udp() {
  Terminate();
  log_.Stop();
}

void client_udp::Terminate() {
  terminated_.store(true);
  net_.waker.Wake();
  if (thread_.joinable()) thread_.join();
}

void client_udp::SetCredentials(const std::string& username, const std::string& password) {
  std::lock_guard<std::mutex> g(user_lock_);
  username_ = username;
  password_ = password;
}

std::string client_udp::LoadBaseName() {
  std::lock_guard<std::mutex> g(user_lock_);
  return LoadBaseName_;
}

void client_udp::SetOnRefreshDatabase(std::function<void(client_udp&, const std::string&)> f) {
  std::lock_guard<std::mutex> g(refresh_lock_);
  fOnRefreshDatabase = std::move(f);
}

bool client_udp::HasRefreshHandler() {
  std::lock_guard<std::mutex> g(refresh_lock_);
  return static_cast<bool>(fOnRefreshDatabase);
}

void client_udp::RefreshDataBase(const std::string& table) {
  std::function<void(client_udp&, const std::string&)> f;
  {
    std::lock_guard<std::mutex> g(refresh_lock_);
    f = fOnRefreshDatabase;
  }
  if (f) f(*this, table);
}

void client_udp::SetHooks(TLinkHooks* hooks) {
  hooks_.store(hooks);
}

TLinkHooks& client_udp::Hooks() {
  TLinkHooks* h = hooks_.load();
  return h != nullptr ? *h : NoHooks();
}

void client_udp::Execute() {
  SendSoobTime = plat::TickMs();
  auto lastWork = std::chrono::steady_clock::now();
  while (!terminated_.load()) {
    if (Pass()) {
      lastWork = std::chrono::steady_clock::now();
      continue;
    }
    // Arriving datagrams and queued messages wake the thread at once. Between
    // them it looks at its clocks every millisecond while a transfer runs or
    // work was recent, and every kIdleWaitMs once really idle: the rules it
    // keeps then (keep-alive, silence, log-in attempts, backlog) are counted
    // in hundreds of milliseconds and seconds.
    const bool streaming = win_.PacketSend.start_ || fstreamRecive.IsOpen();
    const bool busy =
        streaming || std::chrono::steady_clock::now() - lastWork < std::chrono::milliseconds(50);
    if (streaming) {
      // A stream of packets is usually a few microseconds apart: giving the
      // core away briefly is cheaper than a sleep and a wake per packet.
      for (int i = 0; i < 20 && !net_.soobE.IsSoob(); ++i) std::this_thread::yield();
      if (net_.soobE.IsSoob()) continue;
    }
    net_.waker.Wait(busy ? 1 : kIdleWaitMs);
  }
  SendOne("{\"$c$\":\"closeclient\"}");
  recv_.Stop();
  CloseFiles();
  net_.FSocket.Close();
}

bool client_udp::Pass() {
  bool work = false;
  int64_t now = plat::TickMs();
  if (Connect.load()) {
    if (Connected.load()) {
      KeepAlive(now);
      SilenceCheck(now);
      if (Connected.load() && !win_.PacketSend.start_) {
        work |= StartFileJob(now);
        if (!win_.PacketSend.start_) work |= StartTextMessage();
      }
      if (Connected.load()) work |= PumpWindow(now);
    } else {
      LoginAttempt(now);
    }
  }
  work |= TakeSoobE();
  TLinkHooks& hooks = Hooks();
  if (DatabaseLoad.load()) {
    std::vector<uint8_t> raw;
    if (SoobERAW.GetSoobD(raw)) {
      hooks.OnRaw(*this, raw);
      work = true;
    }
  }
  std::string text;
  if (SoobEJSON.GetSoobD(text)) {
    Dispatch(text);
    work = true;
  }
  if (hooks.HasTables(*this) && !DatabaseLoad.load() && hooks.AllTablesLoaded(*this))
    DatabaseLoad.store(true);
  hooks.PrepareHistory(*this);
  if (Connected.load() && !DatabaseLoad.load() && !StartLoadDatabase) hooks.RequestNextTable(*this);
  if (DatabaseLoad.load() && HasRefreshHandler()) hooks.RefreshTables(*this);
  if (MessagesStop && now > MessagesStopTime) MessagesStop = false;
  BacklogStep(now);
  return work;
}

void client_udp::SendOne(const std::string& text) {
  // Stamped before it leaves, so an answer can never predate the stamp.
  const int64_t now = plat::TickMs();
  std::vector<uint8_t> dg = BuildTextDatagram(text, ++CountMes, TIDB);
  net_.Send(dg.data(), dg.size());
  ConnectTime.store(now);
}

void client_udp::BaseLostConnect() {
  win_.Clear();
  win_.SetWindow(TSendWindow::kStartWindow);
  Connected.store(false);
  DatabaseLoad.store(false);
  StartLoadDatabase = false;
  StartSoob = false;
  ConnectTime.store(0);
  Soob.Clear();
  SoobFile.Clear();
  StartFile = false;
  CloseFiles();
  reasm_.Reset();
  OfferCount = 0;
  net_.NextHost();
}

void client_udp::LostConnect(int p) {
  BaseLostConnect();
  ReadJSON.PutSoob("{\"$c$\":\"disconnected\",\"p\":" + std::to_string(p) + "}");
}

void client_udp::CloseFiles() {
  fstreamSend.Close();
  fstreamRecive.Close();
  PacketRsM.Clear();
}

bool client_udp::StartTextMessage() {
  if (fstreamRecive.IsOpen()) return false;
  std::string text;
  if (!Soob.GetSoob(text)) return false;
  Log(">>>> " + text);
  if (GetValueFromJSON(text, "$c$") == "getfileclient") {
    std::lock_guard<std::mutex> g(user_lock_);
    LoadBaseName_ = GetValueFromJSON(text, "name");
  }
  if (text.size() > TReassembly::kMaxMessage) {
    // Would not fit the header's 32-bit sizes at the far end; drop it.
    Soob.DeleteSoob();
    return true;
  }
  win_.StartText(text, ++CountMes);
  return true;
}

bool client_udp::PumpWindow(int64_t now) {
  if (!win_.PacketSend.start_) return false;
  bool work = false;
  if (win_.PacketSend.SFile && !StartFile) {
    RepeatOffer(now);
    return false;
  }
  TSendWindow::Reader reader = [this](int64_t pos, uint8_t* buf, size_t n) -> size_t {
    if (!fstreamSend.Seek(pos)) return 0;
    int64_t got = fstreamSend.Read(buf, static_cast<int64_t>(n));
    return got > 0 ? static_cast<size_t>(got) : 0;
  };
  if (win_.Fill(reader) > 0) work = true;
  int sent = 0;
  auto send = [this](const uint8_t* d, size_t n) { net_.Send(d, n); };
  if (!win_.Transmit(now, TIDB, send, sent)) {
    LostConnect(2);
    return true;
  }
  if (sent > 0) work = true;
  if (!win_.PacketSend.SFile && !win_.HandedOut()) win_.MaybeAdapt(now);
  if (win_.Complete()) {
    if (win_.PacketSend.SFile) {
      FileSent();
    } else {
      Soob.DeleteSoob();
      win_.Clear();
    }
    work = true;
  }
  return work;
}

bool client_udp::TakeSoobE() {
  std::vector<uint8_t> rec;
  if (!net_.soobE.GetSoobD(rec)) return false;
  OnRecord(rec);
  return true;
}

void client_udp::OnRecord(const std::vector<uint8_t>& rec) {
  if (rec.empty()) return;
  int64_t now = plat::TickMs();
  if (rec[0] == kSoobAck) {
    stru_Pod p;
    if (!Connect.load() || !DecodePod(rec.data(), rec.size(), p)) return;
    net_.keepAlive.store(now);
    win_.OnAck(p.Packet, p.number, now);
    return;
  }
  TAssembled a = reasm_.Take(rec.data(), rec.size());
  if (rec[0] == kSoobData || rec[0] == kSoobLink) net_.keepAlive.store(now);
  switch (a.kind) {
    case TAssembled::kNothing:
      return;
    case TAssembled::kBadPacket:
      Log(a.log);
      LostConnect(5);
      return;
    case TAssembled::kFilePacket:
      OnFilePacket(a);
      return;
    case TAssembled::kMessage:
      Route(a);
      return;
  }
}

void client_udp::Route(const TAssembled& a) {
  const uint8_t type = a.h.typepacket;
  if (type == kTypeRaw2 || type == kTypeRaw3) {
    SoobERAW.PutSoob(a.data);
    return;
  }
  std::string text(a.data.begin(), a.data.end());
  const bool newlk = Connect.load() && text.find("newlk") != std::string::npos;
  if (type == kTypeLink) {
    SoobEJSON.PutSoob(text);
  } else if (!a.multi) {
    if (newlk)
      SoobNewLk.PutSoob(text);
    else
      SoobEJSON.PutSoob(text);
  } else if (text.find("testex") != std::string::npos) {
    SoobEJSON.PutSoob(text);
  } else if (newlk) {
    SoobNewLk.PutSoob(text);
  } else {
    ReadJSON.PutSoob(text);
  }
}
