// A replicated table: the workstation's local, column-oriented copy of one
// server table, with its visible list (filter, master/slave, sort), its load
// cycle (table files and scrambled cache files under temp/<table>) and the
// change commands it sends to the server.
//
// Threads: the link thread loads and updates a table while the main thread
// reads and edits it. Every public operation takes the table's own recursive
// lock; a page that reads several values in a row (positioning the read cursor
// and reading columns) holds Lock() across the sequence. Column pointers stay
// valid only while the lock is held: a load or Clear on the link thread
// replaces the columns.
//
// Events run on the thread that caused them, with the table lock held: a
// handler must not wait for another thread that might be waiting for this
// table. Assign them before the table is shared, or under Lock(). A slave
// table takes its master's lock inside its own (slave before master).
//
// The load request is returned by GetJSONLoad for the link to queue; the
// change commands leave through OnNetDataSend9.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tables/field.h"

class TBaseClient {
 public:
  // workDir: the working folder holding "temp" (empty: the current directory).
  // Creates "temp" there when missing.
  explicit TBaseClient(std::string workDir = "");
  ~TBaseClient();
  TBaseClient(const TBaseClient&) = delete;
  TBaseClient& operator=(const TBaseClient&) = delete;

  std::unique_lock<std::recursive_mutex> Lock() {
    return std::unique_lock<std::recursive_mutex>(mutex_);
  }

  // Columns. Lookups by name skip columns of type 0.
  int AddField(const Stru_NetFields& d);  // index (0-based) of the new or existing column
  // Positions the read cursor on visible position v when 1 <= v <= Count().
  FieldGFB* GetField(const std::string& name, int32_t v = 0);
  // Positions the read cursor on the current record.
  FieldGFB* GetFieldCurrent(const std::string& name);
  FieldGFB* GetFieldNumber(int c, int32_t v = 0);  // c is 1-based
  FieldGFB* GetFieldNumberabs(int c, int32_t p);   // read cursor := p, unchecked
  uint8_t GetFieldType(const std::string& name);
  int32_t GetFieldSize(const std::string& name);
  int32_t GetFieldSprSize(const std::string& name);
  int FieldCount();
  void Clear();

  // Shorthands for a page: the column's value at visible position v (0 keeps
  // the cursor); a missing column reads as empty text or 0 and ignores writes.
  std::string FieldAsString(const std::string& name, int32_t v = 0);
  int32_t FieldAsInteger(const std::string& name, int32_t v = 0);
  float FieldAsFloat(const std::string& name, int32_t v = 0);
  double FieldAsDateTime(const std::string& name, int32_t v = 0);
  void FieldSetAsString(const std::string& name, const std::string& s);
  void FieldSetAsInteger(const std::string& name, int32_t v);

  // Navigation over the visible list.
  int32_t RecordIndex();
  void SetRecordIndex(int32_t v);
  int32_t Count();  // visible records

  // View settings. The setters of Sorted, Filtered, MasterTable, MasterField
  // and SlaveField rebuild at once; Sort and FilterOper only store.
  bool Sorted();
  void SetSorted(bool v);
  std::string Sort();
  void SetSort(const std::string& v);
  uint8_t FilterOper();
  void SetFilterOper(uint8_t v);
  bool Filtered();
  void SetFiltered(bool v);
  TBaseClient* MasterTable();
  void SetMasterTable(TBaseClient* v);
  std::string MasterField();
  void SetMasterField(const std::string& v);
  std::string SlaveField();
  void SetSlaveField(const std::string& v);
  std::string NameTable();
  void SetNameTable(const std::string& v);

  void SetFilter(const std::string& columnName, const std::string& text, uint8_t oper);
  void ClearAllFilter();

  // Rebuilds the visible list and fires OnRefresh.
  void RefreshData();

  // Marks the record with this n_abs deleted; the caller rebuilds.
  bool DeletedRecordL(int32_t n_abs);

  // Edit cycle: Add or Edit, the column setters, then Post (which sends the
  // command through OnNetDataSend9). DeleteRecordCurrent sends the deletion of
  // the current record and marks it deleted locally.
  void Add();
  void Edit();
  int32_t Post();
  void DeleteRecordCurrent();

  // Load cycle (link thread).
  std::string GetJSONLoad();  // the load request, or empty text
  void CacheLoad();
  void LoadFromFile(const std::string& path);
  // The reset at log-in: not loaded, no request sent, emptied.
  void ResetLoad();
  // Applies an update form pushed by the server at record index (0-based).
  void PutDataFieldPos(int32_t index, const uint8_t* form, size_t size);
  void PutDataFieldPos(int32_t index, const std::vector<uint8_t>& form) {
    PutDataFieldPos(index, form.data(), form.size());
  }

  // Folders of this table: <workDir>/temp and <workDir>/temp/<NameTableS>.
  std::string TempDir() const;
  std::string CacheDir() const;

  // State; guarded by the lock unless atomic.
  std::string Name;  // "base" + index in the registry
  int32_t RecNo = 0;
  int32_t RecNoI = 0;
  int32_t RecNoTemp = 0;
  std::string NameTableS;
  int32_t CountRecord = 0;
  int32_t CountRecordFilter = 0;
  std::vector<std::unique_ptr<FieldGFB>> Fields;
  std::vector<int32_t> SortData;
  bool RecordNE = false;
  bool EditRecord = false;
  std::atomic<bool> FlagLoadData{false};
  std::atomic<bool> RefreshYes{true};
  int32_t BEdit = 0;
  std::string User;
  // The change commands carry the "user" member; a configuration without it
  // (the photo workstation) switches this off.
  bool SendUser = true;
  std::string LoadFileName;
  std::atomic<bool> LoadTypeRaw{false};
  std::string LoadFilter = "{}";
  std::atomic<bool> SendLoadData{false};
  std::atomic<bool> Cache{false};
  std::atomic<bool> StartLoad{false};
  std::atomic<bool> Zip{false};
  std::atomic<bool> tamirx{false};

  std::function<void(TBaseClient*)> OnRefresh;
  std::function<void(TBaseClient*, const std::string&)> OnNetDataSend9;

 private:
  FieldGFB* FindField(const std::string& name);
  void PositionCursor(int32_t v);
  void Send(const std::string& text);
  int32_t MasterValue();
  bool RecordPasses(int32_t p);
  int32_t RowLimit() const;

  std::recursive_mutex mutex_;
  std::string WorkDir;
  bool FSorted = false;
  std::string FSort;
  uint8_t FFilterOper = 0;
  bool FFiltered = false;
  TBaseClient* FMasterTable = nullptr;
  std::string FMasterField;
  std::string FSlaveField;

  friend class FieldGFB;
};

using TBaseList = std::vector<std::unique_ptr<TBaseClient>>;

// Finds the table named `name` in the list or appends a new one, then prepares
// it for a new load cycle (filter "{" + filter + "}", cache folder). Returns
// its index.
int CreateBaseMain(TBaseList& list, const std::string& name, const std::string& filter, bool cache,
                   const std::string& workDir = "");

// The deletion notice (table name as short string[8], n_abs int32); false when
// the bytes are too short.
bool ReadDeletionNotice(const uint8_t* data, size_t size, std::string& nameTable, int32_t& n_abs);
