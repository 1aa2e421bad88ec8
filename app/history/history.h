// The event-history store: today's copy of the server's event history, three
// byte strings kept in step with three files under temp/<server folder>/.
//
//   .fz8  Zag   header (period) and index of 7-byte entries
//   .fp8  Zap   records: hour, minute, second, then a typed payload
//   .fm8  Memo  string pool of short strings, referenced by byte offset
//
// Threads: the link thread loads the store and appends to it through the
// methods below, each of which takes the store's lock for its whole change.
// Readers on other threads either take a consistent copy (Snapshot) or hold
// the lock (Read). REfresh tells the reader that something changed.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

// The bytes and the period of a history: what a reader needs to walk it.
struct THistoryData {
  std::string Zag;       // header-and-index file contents
  std::string Zap;       // records file contents
  std::string Memo;      // string-pool file contents
  uint8_t TypeFile = 0;  // 1 year, 2 month, 3 day, 4 hour, 5 minute
  uint8_t Ot = 0;        // where the first index entry starts (TypeFile + 2)
  uint16_t Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0;

  // Reads TypeFile, Ot and the period from the first bytes of Zag. An unknown
  // TypeFile sets only TypeFile; an empty Zag changes nothing.
  void ParseHeader();
};

// One of the three byte strings of a history, in the order the server sends them.
enum class THistorySegment { Memo = 0, Zap = 1, Zag = 2 };

class THistory : public THistoryData {
 public:
  // No array of a history grows past this; larger segments are refused.
  static constexpr int64_t kMaxArray = int64_t{256} << 20;
  static constexpr size_t kMaxName = 30;

  // name is cut to 30 characters. main_dir: the working folder (the current
  // directory when empty); its "temp" folder is created when missing.
  explicit THistory(std::string_view name, std::string main_dir = "");
  THistory(const THistory&) = delete;
  THistory& operator=(const THistory&) = delete;

  uint8_t Mona = 1;     // in use: the link serves only stores with Mona set
  std::string Name;     // "hx8_yyyymmdd" and the like; fixed at creation
  std::string MainDir;  // working folder, ending in '/'
  // Server folder under temp: first server address, "-", port, and '/'.
  // Set by the link thread before the first Load; only that thread uses it.
  std::string ServerPort;
  std::atomic<bool> REfresh{false};  // new data; set by loads and appends, cleared by the reader
  std::atomic<bool> NotSoob{false};  // the link reported our sizes to the server
  std::atomic<int32_t> LastSmS{0};   // last index offset the server announced

  // The server folder: MainDir + "temp/" + ServerPort, without a trailing '/'.
  std::string ServerDir() const;
  // Relative path (without extension) of the files of history `name` inside
  // the server folder: "yyyy/name" or "yyyy/mm/name". Creates the folders and
  // moves files of the old flat layout into them. Empty when name is not a
  // plain file name or has no usable period (such a history has no files).
  std::string NewSoob(const std::string& name) const;
  // Full path of one of our files; empty when the name gives no path.
  std::string SegmentPath(THistorySegment s) const;
  static const char* Extension(THistorySegment s);  // ".fm8", ".fp8", ".fz8"

  // (Re)reads the three files and parses the header; sets REfresh. A missing
  // file reads as empty. False (store unchanged) when a file is larger than
  // kMaxArray or the name gives no path.
  bool Load();

  // Appends of the link. PutSegment grows the array to at least sm + size and
  // copies the bytes to offset sm; false (unchanged) when sm is negative or the
  // array would exceed kMaxArray. ClearSegment empties the array.
  bool PutSegment(THistorySegment s, int64_t sm, const void* data, size_t size);
  void ClearSegment(THistorySegment s);
  // ParseHeader under the lock.
  void ParseHeaderLocked();
  // Current lengths of Memo, Zap and Zag (what the keep-alive reports).
  void Sizes(int64_t& memo, int64_t& zap, int64_t& zag) const;

  // A consistent copy of the bytes and the period.
  THistoryData Snapshot() const;
  // Calls f(const THistoryData&) with the lock held; keep f short.
  template <class F>
  auto Read(F&& f) const {
    std::lock_guard<std::mutex> g(lock_);
    return f(static_cast<const THistoryData&>(*this));
  }
  // The lock itself, for a reader that must hold it across several steps.
  std::mutex& Mutex() const { return lock_; }

 private:
  std::string& Array(THistorySegment s);
  mutable std::mutex lock_;
};

// One record handed out by the index walk. Payload points into the walked Zap
// and holds exactly the bytes the record type needs (see HistoryPayloadSize).
struct THistoryRecord {
  uint8_t Hour = 0, Minute = 0, Second = 0;
  uint16_t Type = 0;
  int32_t Offset = 0;  // of the record in Zap
  const uint8_t* Payload = nullptr;
  size_t PayloadSize = 0;

  // Little-endian 32-bit field at byte `at` of the payload; def when it does not fit.
  int32_t I32(size_t at, int32_t def = 0) const;
};

// Record types the workstation reads, and the payload bytes each needs.
enum : uint16_t {
  kHistWorkStarted = 0x0004,
  kHistInstructionStarted = 0xA004,
  kHistInstructionEnded1 = 0xA005,
  kHistInstructionEnded2 = 0xA006,
  kHistWorkEnded1 = 0xF005,
  kHistWorkEnded2 = 0xF006,
  kHistWorkEnded3 = 0xF007,
};
// Payload bytes a record of `type` must have to be read; 0 for types whose
// layout the workstation does not know (only their time is read).
size_t HistoryPayloadSize(uint16_t type);

// The index walk: entries from Ot to the end of Zag, damaged bytes skipped up
// to the next $FF marker, records not lying wholly inside Zap skipped. Reads
// only inside the data it was given; the data must outlive the walk.
class THistoryWalk {
 public:
  explicit THistoryWalk(const THistoryData& d) : THistoryWalk(d.Zag, d.Zap, d.Ot) {}
  THistoryWalk(std::string_view zag, std::string_view zap, size_t ot);
  // The next readable record; false at the end of the index.
  bool Next(THistoryRecord& r);
  // Index entries read so far whose record was skipped (outside Zap).
  size_t Skipped() const { return skipped_; }

 private:
  std::string_view zag_, zap_;
  size_t p_, end_;
  size_t skipped_ = 0;
};

// The string at byte offset ref of the pool: empty for a negative reference,
// one outside the pool, or one whose text would run past the pool's end.
std::string HistoryPoolString(std::string_view memo, int32_t ref);
