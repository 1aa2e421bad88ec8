#include "tables/base_client.h"

#include <algorithm>

#include "platform/files.h"
#include "tables/bytes.h"
#include "tables/cache.h"

TBaseClient::TBaseClient(std::string workDir) : WorkDir(std::move(workDir)) {
  plat::ForceDirectories(TempDir());
  SetMasterField("");
}

TBaseClient::~TBaseClient() = default;

std::string TBaseClient::TempDir() const {
  return WorkDir.empty() ? std::string("temp") : plat::JoinPath(WorkDir, "temp");
}

std::string TBaseClient::CacheDir() const {
  return plat::JoinPath(TempDir(), NameTableS);
}

int CreateBaseMain(TBaseList& list, const std::string& name, const std::string& filter, bool cache,
                   const std::string& workDir) {
  int index = -1;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i]->NameTableS == name) {
      index = static_cast<int>(i);
      break;
    }
  }
  if (index < 0) {
    index = static_cast<int>(list.size());
    auto t = std::make_unique<TBaseClient>(workDir);
    t->Name = "base" + std::to_string(index);
    t->NameTableS = name;
    list.push_back(std::move(t));
  }
  TBaseClient& t = *list[index];
  auto lock = t.Lock();
  t.FlagLoadData = false;
  t.LoadFileName.clear();
  t.Cache = cache;
  // The table name becomes a folder: only a plain name may.
  if (cache && tables::CacheNameOk(name)) plat::ForceDirectories(t.CacheDir());
  t.LoadFilter = "{" + filter + "}";
  t.SendLoadData = false;
  return index;
}

FieldGFB* TBaseClient::FindField(const std::string& name) {
  for (auto& f : Fields)
    if (f->TypeField != 0 && f->name == name) return f.get();
  return nullptr;
}

void TBaseClient::PositionCursor(int32_t v) {
  if (!SortData.empty() && v >= 1 && static_cast<size_t>(v) <= SortData.size())
    RecNoTemp = SortData[v - 1];
}

int TBaseClient::AddField(const Stru_NetFields& d) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  const std::string name = d.name.substr(0, 15);
  for (size_t i = 0; i < Fields.size(); ++i)
    if (Fields[i]->name == name) return static_cast<int>(i);
  auto f = std::make_unique<FieldGFB>(this);
  f->n_abs = d.n_abs;
  f->name = name;
  f->TypeField = d.TypeField;
  f->Size = d.Size;
  f->SprSize = d.SprSize;
  Fields.push_back(std::move(f));
  return static_cast<int>(Fields.size() - 1);
}

FieldGFB* TBaseClient::GetField(const std::string& name, int32_t v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  PositionCursor(v);
  return FindField(name);
}

FieldGFB* TBaseClient::GetFieldCurrent(const std::string& name) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (!SortData.empty()) RecNoTemp = RecNo;
  return FindField(name);
}

FieldGFB* TBaseClient::GetFieldNumber(int c, int32_t v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  PositionCursor(v);
  if (c < 1 || static_cast<size_t>(c) > Fields.size()) return nullptr;
  return Fields[c - 1].get();
}

FieldGFB* TBaseClient::GetFieldNumberabs(int c, int32_t p) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  RecNoTemp = p;
  if (c < 1 || static_cast<size_t>(c) > Fields.size()) return nullptr;
  return Fields[c - 1].get();
}

uint8_t TBaseClient::GetFieldType(const std::string& name) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FieldGFB* f = FindField(name);
  return f ? f->TypeField : 0;
}

int32_t TBaseClient::GetFieldSize(const std::string& name) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FieldGFB* f = FindField(name);
  return f ? f->Size : 0;
}

int32_t TBaseClient::GetFieldSprSize(const std::string& name) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FieldGFB* f = FindField(name);
  return f ? f->SprSize : 0;
}

int TBaseClient::FieldCount() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  return static_cast<int>(Fields.size());
}

void TBaseClient::Clear() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  CountRecord = 0;
  CountRecordFilter = 0;
  Fields.clear();
  // The visible list would otherwise point at records that no longer exist.
  SortData.clear();
}

std::string TBaseClient::FieldAsString(const std::string& name, int32_t v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FieldGFB* f = GetField(name, v);
  return f ? f->GetAsString() : std::string();
}

int32_t TBaseClient::FieldAsInteger(const std::string& name, int32_t v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FieldGFB* f = GetField(name, v);
  return f ? f->GetAsInteger() : 0;
}

float TBaseClient::FieldAsFloat(const std::string& name, int32_t v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FieldGFB* f = GetField(name, v);
  return f ? f->GetAsFloat() : 0;
}

double TBaseClient::FieldAsDateTime(const std::string& name, int32_t v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FieldGFB* f = GetField(name, v);
  return f ? f->GetAsDateTime() : 0;
}

void TBaseClient::FieldSetAsString(const std::string& name, const std::string& s) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (FieldGFB* f = FindField(name)) f->SetAsString(s);
}

void TBaseClient::FieldSetAsInteger(const std::string& name, int32_t v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (FieldGFB* f = FindField(name)) f->SetAsInteger(v);
}

int32_t TBaseClient::RecordIndex() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (RecNoI == 0) RecNoI = 1;
  return RecNoI;
}

void TBaseClient::SetRecordIndex(int32_t v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (RecordNE || SortData.empty()) return;
  // Past the end selects the last visible record instead of reading beyond the list.
  const int32_t n = static_cast<int32_t>(SortData.size());
  RecNoI = v < 1 ? 1 : (v > n ? n : v);
  RecNo = SortData[RecNoI - 1];
  RecNoTemp = RecNo;
}

int32_t TBaseClient::Count() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  return CountRecordFilter;
}

bool TBaseClient::Sorted() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  return FSorted;
}
void TBaseClient::SetSorted(bool v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FSorted = v;
  RefreshData();
}
std::string TBaseClient::Sort() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  return FSort;
}
void TBaseClient::SetSort(const std::string& v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FSort = v;
}
uint8_t TBaseClient::FilterOper() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  return FFilterOper;
}
void TBaseClient::SetFilterOper(uint8_t v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FFilterOper = v;
}
bool TBaseClient::Filtered() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  return FFiltered;
}
void TBaseClient::SetFiltered(bool v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FFiltered = v;
  RefreshData();
}
TBaseClient* TBaseClient::MasterTable() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  return FMasterTable;
}
void TBaseClient::SetMasterTable(TBaseClient* v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FMasterTable = v;
  RefreshData();
}
std::string TBaseClient::MasterField() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  return FMasterField;
}
void TBaseClient::SetMasterField(const std::string& v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FMasterField = v;
  RefreshData();
}
std::string TBaseClient::SlaveField() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  return FSlaveField;
}
void TBaseClient::SetSlaveField(const std::string& v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FSlaveField = v;
  RefreshData();
}
std::string TBaseClient::NameTable() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  return NameTableS;
}
void TBaseClient::SetNameTable(const std::string& v) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  NameTableS = v;
}

bool TBaseClient::DeletedRecordL(int32_t n_abs) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FieldGFB* key = FindField("n_abs");
  FieldGFB* flags = FindField("p_d");
  if (key == nullptr) return false;
  const auto& keys = key->Data.DataInteger;
  const size_t n = std::min<size_t>(CountRecord < 0 ? 0 : CountRecord, keys.size());
  for (size_t i = 0; i < n; ++i) {
    if (keys[i] != n_abs) continue;
    if (flags != nullptr && i < flags->Data.DataByte.size()) flags->Data.DataByte[i] |= 1;
    return true;
  }
  return false;
}

void TBaseClient::Add() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  RecordNE = true;
  EditRecord = false;
  RefreshYes = false;
}

void TBaseClient::Edit() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  RecordNE = true;
  EditRecord = true;
  RefreshYes = false;
  for (auto& f : Fields) f->Temp.TypeField = 0;
  FieldGFB* key = GetFieldCurrent("n_abs");
  BEdit = key ? key->GetAsInteger() : 0;
}

void TBaseClient::ResetLoad() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FlagLoadData = false;
  SendLoadData = false;
  Clear();
}

void TBaseClient::Send(const std::string& text) {
  if (OnNetDataSend9) OnNetDataSend9(this, text);
}

bool ReadDeletionNotice(const uint8_t* data, size_t size, std::string& nameTable, int32_t& n_abs) {
  if (data == nullptr || size < 13) return false;
  nameTable = tables::ByteReader::FixedStringAt(data, 9);
  n_abs = tables::LoadLE<int32_t>(data + 9);
  return true;
}
