#include "server/server.h"

#include <chrono>
#include <cmath>

#include "platform/clock.h"
#include "server/demo.h"
#include "server/log.h"

namespace srv {

namespace {
int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
int SecondOfDay() {
  double now = plat::Now();
  return static_cast<int>((now - std::floor(now)) * 86400.0) % 86400;
}
}  // namespace

Server::Server(ServerOptions o) : o_(std::move(o)) {
  CoreOptions co;
  co.data_dir = o_.data_dir;
  co.tiles = o_.tiles;
  co.version = o_.version;
  co.history_name = o_.history_name;
  core_ = std::make_unique<ServerCore>(co);
}

Server::~Server() {
  Stop();
}

bool Server::Start() {
  if (running_.load()) return true;
  if (!core_->Open()) {
    Log("cannot use the data folder " + o_.data_dir);
    return false;
  }
  if (o_.demo) {
    CreateDemoData(*core_, o_.demo_seed, o_.demo_objects);
    demo_ = std::make_unique<DemoDay>(*core_, o_.demo_seed);
    demo_->FillDay(SecondOfDay());
  }
  uint32_t ip = 0;
  if (!plat::ParseIpv4(o_.bind, ip)) {
    Log("bad address " + o_.bind);
    return false;
  }
  if (!sock_.Open(o_.port, ip)) {
    Log("cannot listen on " + o_.bind + ":" + std::to_string(o_.port));
    return false;
  }
  port_ = sock_.LocalPort();
  if (o_.faults.Active()) {
    in_ = std::make_unique<FaultLine>(o_.faults, 1);
    out_ = std::make_unique<FaultLine>(o_.faults, 2);
    Log("fault injection: drop " + std::to_string(o_.faults.drop) + ", dup " +
        std::to_string(o_.faults.dup) + ", reorder " + std::to_string(o_.faults.reorder) +
        ", delay " + std::to_string(o_.faults.delay_ms) + " ms, seed " +
        std::to_string(o_.faults.seed));
  }
  core_->SetSender([this](const plat::Ipv4Addr& to, const Bytes& d) { Send(to, d); });
  next_live_ = SteadyMs() + o_.live_event_ms;
  running_.store(true);
  thread_ = std::thread([this] { Run(); });
  Log("listening on " + o_.bind + ":" + std::to_string(port_) + ", data in " + o_.data_dir);
  return true;
}

void Server::Stop() {
  if (!running_.exchange(false)) return;
  if (thread_.joinable()) thread_.join();
  sock_.Close();
  std::lock_guard<std::mutex> lock(mu_);
  core_->store().Close();
  Log("stopped");
}

void Server::Send(const plat::Ipv4Addr& to, const Bytes& d) {
  if (out_)
    out_->Push(Datagram{to, d}, SteadyMs());
  else
    sock_.SendTo(to, d.data(), d.size());
}

void Server::Run() {
  std::vector<uint8_t> buf(65536);
  while (running_.load()) {
    int wait = 5;
    if (in_) {
      int64_t now = SteadyMs();
      for (FaultLine* l : {in_.get(), out_.get()}) {
        int d = l->NextDueIn(now);
        if (d >= 0 && d < wait) wait = d;
      }
    }
    sock_.WaitReadable(wait);
    std::lock_guard<std::mutex> lock(mu_);
    int64_t now = SteadyMs();
    for (int i = 0; i < 2000; ++i) {
      plat::Ipv4Addr from;
      int n = sock_.RecvFrom(buf.data(), buf.size(), from);
      if (n < 0) break;
      if (n == 0) continue;
      if (in_)
        in_->Push(Datagram{from, Bytes(buf.begin(), buf.begin() + n)}, now);
      else
        core_->HandleDatagram(from, buf.data(), static_cast<size_t>(n), now);
    }
    if (in_)
      for (Datagram& d : in_->Due(now))
        core_->HandleDatagram(d.addr, d.bytes.data(), d.bytes.size(), now);
    core_->Tick(now);
    if (out_)
      for (Datagram& d : out_->Due(now)) sock_.SendTo(d.addr, d.bytes.data(), d.bytes.size());
    if (demo_ && o_.live_event_ms > 0 && now >= next_live_) {
      next_live_ = now + o_.live_event_ms;
      demo_->Step(SecondOfDay());
    }
  }
}

void Server::AddUser(const std::string& name, const std::string& password) {
  With([&](ServerCore& c) { c.store().AddUser(name, password); });
}
int Server::AddRecord(const std::string& table, const Fields& fields) {
  return With([&](ServerCore& c) { return c.AddRecord(table, fields); });
}
bool Server::EditRecord(const std::string& table, int n_abs, const Fields& fields) {
  return With([&](ServerCore& c) { return c.EditRecord(table, n_abs, fields); });
}
bool Server::DeleteRecord(const std::string& table, int n_abs) {
  return With([&](ServerCore& c) { return c.DeleteRecord(table, n_abs); });
}
bool Server::AppendHistory(const HistoryEvent& e) {
  return With([&](ServerCore& c) { return c.AppendHistory(e); });
}
std::vector<std::string> Server::ReceivedCommands() {
  return With([](ServerCore& c) { return c.ReceivedCommands(); });
}
int Server::LoggedIn() {
  return With([](ServerCore& c) { return c.LoggedIn(); });
}

}  // namespace srv
