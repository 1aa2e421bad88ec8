// setup.ini in the working folder: exactly the keys the program uses.
#pragma once
#include <cstdint>
#include <string>

#include "platform/inifile.h"

class TSetupIni {
 public:
  // dir: the working folder, ending in '/'.
  explicit TSetupIni(const std::string& dir) : ini_(dir + "setup.ini") {}

  // ServerHost/Address: one or more addresses separated by ",".
  std::string Address() const;
  // ServerHost/PortU, kept in 16 bits.
  uint16_t PortU() const;
  // ServerHost/Port: the photo program's port key.
  uint16_t Port() const;
  // Main/Cache: the map's tile cache folder; empty for the default.
  std::string Cache() const;
  // Main/DefaultScreen: the screen-settings file name.
  std::string DefaultScreen() const;
  bool WriteDefaultScreen(const std::string& name);
  // Main/UserDefault: the last user name entered.
  std::string UserDefault() const;
  bool WriteUserDefault(const std::string& name);

  const std::string& path() const { return ini_.path(); }

 private:
  plat::IniFile ini_;
};
