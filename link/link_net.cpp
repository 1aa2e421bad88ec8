#include "link/link_net.h"

#include <algorithm>

void TLinkNet::SetHosts(const std::string& list) {
  host.clear();
  hostIp.clear();
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string item = list.substr(start, comma - start);
    size_t b = item.find_first_not_of(" \t");
    size_t e = item.find_last_not_of(" \t");
    item = b == std::string::npos ? std::string() : item.substr(b, e - b + 1);
    if (!item.empty()) {
      uint32_t ip = 0;
      if (!plat::ParseIpv4(item, ip)) ip = 0;
      host.push_back(item);
      hostIp.push_back(ip);
    }
    start = comma + 1;
  }
  TekHost.store(host.empty() ? 0 : static_cast<int>(host.size()) - 1);
}

plat::Ipv4Addr TLinkNet::SendAddr() const {
  plat::Ipv4Addr a;
  int i = TekHost.load();
  if (i >= 0 && i < static_cast<int>(hostIp.size())) a.ip = hostIp[i];
  a.port = port;
  return a;
}

bool TLinkNet::FromServer(const plat::Ipv4Addr& from) const {
  if (from.port != port || from.ip == 0) return false;
  return std::find(hostIp.begin(), hostIp.end(), from.ip) != hostIp.end();
}

void TLinkNet::Send(const uint8_t* data, size_t n) {
  plat::Ipv4Addr to = SendAddr();
  if (to.ip == 0 || !FSocket.IsOpen()) return;
  FSocket.SendTo(to, data, n);
  datagramsOut.fetch_add(1, std::memory_order_relaxed);
}

void TLinkNet::NextHost() {
  int n = static_cast<int>(host.size());
  if (n == 0) return;
  TekHost.store((TekHost.load() + 1) % n);
}
