#include "app/setup_ini.h"

namespace {
constexpr int kDefaultPort = 9010;
}

std::string TSetupIni::Address() const {
  return ini_.ReadString("ServerHost", "Address", "127.0.0.1");
}

uint16_t TSetupIni::PortU() const {
  return static_cast<uint16_t>(ini_.ReadInteger("ServerHost", "PortU", kDefaultPort));
}

uint16_t TSetupIni::Port() const {
  return static_cast<uint16_t>(ini_.ReadInteger("ServerHost", "Port", kDefaultPort));
}

std::string TSetupIni::Cache() const {
  return ini_.ReadString("Main", "Cache", "");
}

std::string TSetupIni::DefaultScreen() const {
  return ini_.ReadString("Main", "DefaultScreen", "");
}

bool TSetupIni::WriteDefaultScreen(const std::string& name) {
  return ini_.WriteString("Main", "DefaultScreen", name);
}

std::string TSetupIni::UserDefault() const {
  return ini_.ReadString("Main", "UserDefault", "");
}

bool TSetupIni::WriteUserDefault(const std::string& name) {
  return ini_.WriteString("Main", "UserDefault", name);
}
