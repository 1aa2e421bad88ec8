// Delivery of tables, history and archives over the link: the link's hooks
// (TLinkHooks) filled in for the replicated tables (`Bases`) and the history
// objects (`Messages`). Everything here runs on the link thread.
//
// Tables load one at a time in list order: the load request goes out, the
// server announces a table file ("tablerawfromfile"), the link fetches it and
// the table loads it. Record updates arrive as "refreshdatadatabase" texts or
// raw messages. History segments arrive as raw record streams, in memory or in
// a file, and are written into the history objects and their files.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/history/history.h"
#include "link/link_hooks.h"
#include "tables/base_client.h"

// What the delivery code needs of the link, so it can run without one (fuzzing).
class TDeliveryIO {
 public:
  virtual ~TDeliveryIO() = default;
  virtual void Log(const std::string& line) = 0;
  // A notice for the main window (ReadJSON).
  virtual void Notice(const std::string& text) = 0;
  // A history delivery completed: the keep-alive may report sizes again.
  virtual void HistoryDelivered() = 0;
};

// Where a raw record stream comes from: a message in memory or a received file.
class TRawSource {
 public:
  virtual ~TRawSource() = default;
  virtual int64_t Remaining() const = 0;
  // Reads exactly n bytes (n <= Remaining()); false on a read error.
  virtual bool Read(void* out, int64_t n) = 0;
  // Moves forward n bytes, at most to the end.
  virtual void Skip(int64_t n) = 0;
  virtual int64_t Position() const = 0;
};

class TDelivery : public TLinkHooks {
 public:
  // Raw message kinds.
  enum : int32_t { kRawHistory = 1, kRawRecord = 2, kRawDelete = 3, kRawBatch = 4 };
  static constexpr int32_t kHistoryCommand = 0x0220000F;
  static constexpr int kZagNetSize = 18;
  static constexpr int kSegmentHeaderSize = 55;

  TDelivery(TBaseList* bases, std::vector<THistory*> messages)
      : Bases(bases), Messages(std::move(messages)) {}

  TBaseList* Bases;                 // may be null: a link without tables
  std::vector<THistory*> Messages;  // the history objects the link serves
  // No history array grows past this (tests and fuzzing lower it).
  int64_t MaxHistoryArray = THistory::kMaxArray;
  std::string ArchiveFileName;
  std::string ArchiveName;

  // --- hooks ---
  void OnLoginAttempt(client_udp& l) override;
  void ResetTables(client_udp& l) override;
  bool HasTables(client_udp& l) override;
  void StartTableLoading(client_udp& l) override;
  std::vector<THistorySizes> KeepAliveHistory(client_udp& l) override;
  bool AllTablesLoaded(client_udp& l) override;
  void PrepareHistory(client_udp& l) override;
  void RequestNextTable(client_udp& l) override;
  void RefreshTables(client_udp& l) override;
  void OnRaw(client_udp& l, const std::vector<uint8_t>& raw) override;
  void OnGetArchiveOk(client_udp& l, const std::string& text) override;
  void OnHistoryFromFile(client_udp& l, const std::string& text) override;
  void OnTableRawFromFile(client_udp& l, const std::string& text) override;
  void OnRefreshDataDatabase(client_udp& l, const std::string& text) override;
  bool OnFileComplete(client_udp& l, const std::string& name, const std::string& path,
                      int64_t size) override;

  // --- the work itself, without a link ---
  // One raw message of kind 1 to 4 (others are ignored).
  void ApplyRaw(TDeliveryIO& io, const uint8_t* data, size_t size);
  // A raw record stream; from_file logs each segment header read and emits no "refsoob".
  void ApplyRawStream(TDeliveryIO& io, TRawSource& src, bool from_file);
  // A history file received: the stream after its first 4 bytes. False when it cannot be read.
  bool ApplyHistoryFile(TDeliveryIO& io, const std::string& path);
  // A received archive: writes its three segment files for the history named in
  // its header, in that history's folder under main_dir/temp/server_port, and
  // reports "archiveload"; false when the file is unusable.
  bool ApplyArchive(TDeliveryIO& io, const std::string& path, const std::string& main_dir,
                    const std::string& server_port);
  // "refreshdatadatabase": false (nothing changed) when the table is unknown or
  // "fields" / "pos" are not valid hexadecimal / decimal text.
  bool ApplyRefreshData(const std::string& text);

  TBaseClient* FindTable(const std::string& name);
  THistory* FindHistory(const std::string& name);
  // The history folder of the link: first server address, "-", port, "/".
  static std::string ServerPortOf(client_udp& l);

 private:
  void ApplyRecord(const uint8_t* data, size_t size);
  void ApplyDelete(const uint8_t* data, size_t size);
  bool LoadTableFile(client_udp& l, const std::string& name, const std::string& path, int64_t size);
};

// The file name part of a path from the server (after the last '\' or '/').
std::string ServerFileNamePart(const std::string& path);
// A short string in a fixed field of `field` bytes (length byte, then text).
std::string ReadShortStringField(const uint8_t* data, size_t field);
