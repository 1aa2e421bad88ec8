// The start-up loop: shows the login dialog, hands the credentials to the
// link, turns the link's flags into the texts the operator sees, shows the
// loading splash, and returns when the tables are loaded or the operator gave up.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class client_udp;
class TPasZas;
class TSetupIni;
class TSplash;
class QWidget;

// The link as the loop sees it: the flags it reads and writes and two calls.
struct TLoginLink {
  std::atomic<bool>* Connect = nullptr;
  std::atomic<bool>* Connected = nullptr;
  std::atomic<bool>* PasOK = nullptr;
  std::atomic<bool>* AD = nullptr;
  std::atomic<bool>* DatabaseLoad = nullptr;
  std::atomic<int64_t>* ConnectTime = nullptr;
  std::function<void(const std::string& user, const std::string& password)> SetCredentials;
  std::function<std::string()> LoadBaseName;
};
TLoginLink LoginLinkOf(client_udp& link);

class TLoginLoop {
 public:
  enum Result { kRunning, kLoaded, kCancelled };
  // Creates the dialog and the splash and shows the dialog with the last user
  // name from setup.ini. now_ms: the start of the first attempt.
  TLoginLoop(TLoginLink link, TSetupIni& ini, int64_t now_ms);
  ~TLoginLoop();

  // One pass of the loop at time now_ms (events are pumped by the caller).
  Result Step(int64_t now_ms);

  TPasZas* Dialog() const { return dialog_.get(); }
  TSplash* Splash() const { return splash_.get(); }

 private:
  TLoginLink link_;
  TSetupIni& ini_;
  std::unique_ptr<TPasZas> dialog_;
  std::unique_ptr<TSplash> splash_;
  int64_t attempt_start_;
  bool loaded_last_pass_ = false;
};

// Runs the loop until the tables are loaded (true) or the operator cancels
// (false). Window events are processed between passes; each pass sleeps 1 ms.
bool GetPassword(client_udp& link, TSetupIni& ini);
bool GetPassword(const TLoginLink& link, TSetupIni& ini);
