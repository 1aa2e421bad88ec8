// The server link: the link thread `client_udp` and its receiving thread.
// One UDP socket carries JSON text messages, files and raw records to and from
// the server; the link logs in, keeps the log-in alive, sends through a window
// of acknowledged packets, reassembles what arrives, dispatches the server's
// commands, receives and sends files and drains the persistent backlog.
//
// Threads. Everything below runs on the link thread except what is marked
// "main thread". The main thread talks to the link only through the queues
// (`Soob`, `SoobFile` in; `ReadJSON` out) and the atomic flags.
//
// Hooks for table and history delivery (TLinkHooks, link/link_hooks.h).
// The link itself knows no tables and no history objects. Install a subclass
// with SetHooks() before setting Connect; it is called on the link thread:
//  - OnLoginAttempt: each "reg" sent (clear NotSoob of the history objects).
//  - ResetTables / HasTables / StartTableLoading: on "regok". With tables the
//    link stays in Loading (DatabaseLoad false) until AllTablesLoaded().
//  - AllTablesLoaded, PrepareHistory, RequestNextTable, RefreshTables: the
//    per-pass steps of delivery; RequestNextTable runs while Connected, not
//    DatabaseLoad and not StartLoadDatabase (set it when a request goes out,
//    clear it when the table file is loaded). RefreshTables runs only while
//    DatabaseLoad and a refresh handler is set; call RefreshDataBase(name).
//  - KeepAliveHistory: the history part of "testex"; the link formats it and
//    runs MessagesStop / MessagesRefresh / MessagesStopTime.
//  - OnRaw: each completed raw message (packet types 2 and 3) while DatabaseLoad.
//  - OnGetArchiveOk, OnHistoryFromFile, OnTableRawFromFile,
//    OnRefreshDataDatabase: the dispatch rows of delivery (default: consumed).
//  - OnFileComplete: every completed incoming file; return true for a table,
//    history or archive file (the hook puts "tableload"/"archiveload"/... on
//    ReadJSON itself), false to let the link put "getfileok".
// Useful from hooks: SendOne, Soob.PutSoob, ReadJSON.PutSoob, Log, tId,
// MessagesRefreshFileName (set by the "testex" row), SizeLoad, SizePLoad,
// StartLoadDatabase, MessagesStop, MessagesRefresh, host/port (ServerPort),
// TempDir(), WorkDir.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/backlog.h"
#include "foundation/fifo.h"
#include "foundation/tlog.h"
#include "link/bitmap.h"
#include "link/link_hooks.h"
#include "link/link_net.h"
#include "link/reassembly.h"
#include "link/recieve.h"
#include "link/send_window.h"
#include "link/waker.h"
#include "platform/files.h"

// The program's version as the build knows it ("0.0.0.0" when it does not).
std::string GetVer();

class client_udp {
 public:
  // Queue capacities.
  static constexpr int kSoobCapacity = 1000;
  static constexpr int kSoobFileCapacity = 100;
  static constexpr int kJSONCapacity = 1000;
  static constexpr int kRawCapacity = 10000;
  static constexpr int kNewLkCapacity = 100;
  static constexpr int kFileOpenAttempts = 401;
  static constexpr int kMaxOffers = 10;
  // Longest sleep of an idle link thread (real milliseconds).
  static constexpr int kIdleWaitMs = 50;

  // Id: client-kind identifier; port: the server's UDP port; addresses: comma-
  // separated server addresses; workDir: the folder holding temp/, logs/ and
  // dd8/ (the current directory when empty). Opens the socket and starts both
  // threads; nothing is sent until Connect is set.
  client_udp(std::string Id, uint16_t port, const std::string& addresses, std::string workDir = "");
  ~client_udp();
  client_udp(const client_udp&) = delete;
  client_udp& operator=(const client_udp&) = delete;

  // Ends the link thread (sends "closeclient") and the receiving thread. Idempotent.
  void Terminate();
  bool Started() const { return started_; }
  uint16_t locport = 0;

  // --- main thread: the log-in dialog's side ---
  std::atomic<bool> Connect{false};
  std::atomic<bool> Connected{false};
  std::atomic<bool> PasOK{false};
  std::atomic<bool> AD{false};
  std::atomic<bool> DatabaseLoad{false};
  std::atomic<int64_t> ConnectTime{0};  // 0 makes the next attempt immediate
  void SetCredentials(const std::string& username, const std::string& password);
  std::string LoadBaseName();
  // Incoming notices and forwarded server messages for the main window.
  OchFIFOJSON ReadJSON{kJSONCapacity};
  // Outgoing texts (any thread) and file jobs ("filetoserver" messages).
  TSoobQueue Soob;
  TSoobQueue SoobFile;
  // The refresh event: the link and the name of a table whose data changed.
  // Called on the link thread.
  void SetOnRefreshDatabase(std::function<void(client_udp&, const std::string&)> f);
  // Delivery hooks (nullptr: none). The object must outlive the link.
  void SetHooks(TLinkHooks* hooks);

  // --- link thread ---
  void SendOne(const std::string& text);
  void BaseLostConnect();
  // BaseLostConnect and the "disconnected" notice with code p.
  void LostConnect(int p);
  void Log(const std::string& line) { log_.Add(line); }
  bool HasRefreshHandler();
  void RefreshDataBase(const std::string& table);
  std::string TempDir() const { return TempDir_; }
  const std::vector<std::string>& host() const { return net_.host; }
  uint16_t port() const { return net_.port; }
  int TekHost() const { return net_.TekHost.load(); }

  const std::string Id;
  const std::string WorkDir;
  const std::string ver;
  const std::string zip = "0";
  int TestInt = 1;
  int64_t TimeConnect = 4000;
  int64_t TestTime = 0;
  std::atomic<int64_t> reciveTime{0};
  double StartMessage = 0;
  std::string tId;
  uint8_t TIDB[16] = {};
  int64_t CountMes = 0;
  bool StartLoadDatabase = false;
  int64_t SizeLoad = 0;
  int64_t SizePLoad = 0;
  bool MessagesStop = false;
  bool MessagesRefresh = false;
  int64_t MessagesStopTime = 0;
  std::string MessagesRefreshFileName;
  // Queues inside the link.
  OchFIFOJSON SoobEJSON{kJSONCapacity};
  OchFIFO SoobERAW{kRawCapacity};
  OchFIFOJSON SoobNewLk{kNewLkCapacity};  // "newlk" texts; nothing reads them
  TBackSoobString Back;
  bool StartSoob = false;
  std::string SoobStr;
  int64_t SendSoobTime = 0;

  // File transfer state.
  std::string FileNameRecive;
  plat::File fstreamRecive;
  int OfferCount = 0;
  int64_t ReciveSize = 0;
  int64_t RecivePos = 0;
  int64_t fileAt_ = -1;  // the incoming file's write position, -1 when unknown
  TPacketBitmap PacketRsM;
  int perload = 100;
  int64_t ResendPacket = 0;
  plat::File fstreamSend;
  bool StartFile = false;
  int64_t StartFileTimeOut = 0;
  std::string JobName;
  std::string JobNameInServ;

  // Transport state (tests and statistics read it).
  TSendWindow& Window() { return win_; }
  recieve& Reciever() { return recv_; }
  TLinkNet& Net() { return net_; }

 private:
  void Execute();
  bool Pass();
  // log-in lifecycle
  void LoginAttempt(int64_t now);
  void OnRegOk(const std::string& text);
  void OnAccessDenied(const std::string& text);
  void KeepAlive(int64_t now);
  void SilenceCheck(int64_t now);
  // transport
  bool StartTextMessage();
  bool PumpWindow(int64_t now);
  bool TakeSoobE();
  void OnRecord(const std::vector<uint8_t>& rec);
  void Route(const TAssembled& a);
  // dispatch
  void Dispatch(const std::string& text);
  void BacklogStep(int64_t now);
  // files
  void OnOffer(const std::string& text);
  void OnFilePacket(const TAssembled& a);
  bool StartFileJob(int64_t now);
  void OnServerAcceptsFile();
  void FileSent();
  void RepeatOffer(int64_t now);
  void SendOffer();
  void CloseFiles();
  TLinkHooks& Hooks();

  TLinkNet net_;
  recieve recv_;
  TReassembly reasm_;
  TSendWindow win_;
  TLog log_;
  std::string TempDir_;
  std::atomic<TLinkHooks*> hooks_{nullptr};
  std::mutex user_lock_;
  std::string username_;
  std::string password_;
  std::string LoadBaseName_;
  std::mutex refresh_lock_;
  std::function<void(client_udp&, const std::string&)> fOnRefreshDatabase;
  bool started_ = false;
  std::atomic<bool> terminated_{false};
  std::thread thread_;
};
