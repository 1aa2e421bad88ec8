// The visible list: which records pass the deletion flag, the column filters
// and the master/slave link, and in which order they are shown.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "foundation/json.h"
#include "tables/base_client.h"
#include "tables/text.h"

namespace {

template <typename T>
int Compare(const T& x, const T& f) {
  return x < f ? -1 : (f < x ? 1 : 0);
}

bool TextEquals(const std::string& x, const FieldGFB& c) {
  const std::string& f = c.FFilterO;
  switch (c.FFilterZ) {
    case 0:
      return x.find(f) != std::string::npos;
    case 1:
      return x.size() >= f.size() && x.compare(x.size() - f.size(), f.size(), f) == 0;
    case 2:
      return x.size() >= f.size() && x.compare(0, f.size(), f) == 0;
    case 3:
      return x == f;
    default:
      return false;
  }
}

// oper 0 and 1 use `equal`, the others the three-way comparison.
bool Matches(uint8_t oper, bool equal, int cmp) {
  switch (oper) {
    case 0:
      return equal;
    case 1:
      return !equal;
    case 2:
      return cmp < 0;
    case 3:
      return cmp > 0;
    case 4:
      return cmp <= 0;
    case 5:
      return cmp >= 0;
    default:
      return false;
  }
}

}  // namespace

int32_t TBaseClient::RowLimit() const {
  // A record exists only as far as its deletion flag does.
  const size_t flags = Fields.size() >= 2 ? Fields[1]->Data.DataByte.size() : 0;
  return static_cast<int32_t>(
      std::min<int64_t>(CountRecord < 0 ? 0 : CountRecord, static_cast<int64_t>(flags)));
}

int32_t TBaseClient::MasterValue() {
  TBaseClient* m = FMasterTable;
  if (m == nullptr) return 0;
  auto lock = m->Lock();
  FieldGFB* f = m->GetFieldCurrent(FMasterField);
  return f ? f->GetAsInteger() : 0;
}

bool TBaseClient::RecordPasses(int32_t p) {
  int yes = 0, no = 0;
  for (auto& up : Fields) {
    FieldGFB& c = *up;
    if (!c.FilterYes) continue;
    const size_t i = static_cast<size_t>(p - 1);
    bool equal = false;
    int cmp = 0;
    switch (c.TypeField) {
      case kFieldInteger: {
        const int32_t x = i < c.Data.DataInteger.size() ? c.Data.DataInteger[i] : 0;
        equal = x == c.FFilterI;
        cmp = Compare(x, c.FFilterI);
        break;
      }
      case kFieldByte: {
        const uint8_t x = i < c.Data.DataByte.size() ? c.Data.DataByte[i] : 0;
        equal = x == c.FFilterB;
        cmp = Compare(x, c.FFilterB);
        break;
      }
      case kFieldString: {
        const std::string x = tables::LowerCase1251(c.StringAt(p));
        equal = TextEquals(x, c);
        cmp = x.compare(c.FFilterO);
        break;
      }
      default:
        continue;  // other types count neither way
    }
    if (Matches(c.FFilterU, equal, cmp)) {
      ++yes;
    } else {
      ++no;
    }
  }
  if (yes + no == 0) return true;
  if (FFilterOper == 0) return no == 0 && yes > 0;
  if (FFilterOper == 1) return yes > 0;
  return true;
}

void TBaseClient::RefreshData() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (Fields.size() < 2 || Fields[1]->Data.DataByte.empty()) return;

  FieldGFB* sortCol = FindField(FSort);
  if (sortCol == nullptr) FSorted = false;
  FieldGFB* slave = FindField(FSlaveField);
  bool useMaster = false;
  int32_t masterValue = 0;
  if (FMasterTable != nullptr && slave != nullptr) {
    auto lock = FMasterTable->Lock();
    if (FMasterTable->FindField(FMasterField) != nullptr) {
      useMaster = true;
      masterValue = MasterValue();
    }
  }

  const int32_t rows = RowLimit();
  const auto& flags = Fields[1]->Data.DataByte;
  std::vector<int32_t> visible;
  visible.reserve(static_cast<size_t>(rows));
  std::vector<std::string> keys;
  int32_t lo = 1048575, hi = -1048575;
  const bool intKeys = FSorted && sortCol->TypeField == kFieldInteger;
  for (int32_t p = 1; p <= rows; ++p) {
    if (flags[p - 1] & 1) continue;
    if (FFiltered && !RecordPasses(p)) continue;
    if (useMaster) {
      int32_t x;
      if (slave->TypeField == kFieldInteger) {
        const auto& a = slave->Data.DataInteger;
        x = static_cast<size_t>(p - 1) < a.size() ? a[p - 1] : 0;
      } else {
        x = slave->IntegerAt(p);  // not an Integer column: compare its integer reading
      }
      if (x != masterValue) continue;
    }
    visible.push_back(p);
    if (FSorted) {
      if (intKeys) {
        const int32_t v = sortCol->IntegerAt(p);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        keys.push_back(std::to_string(v));
      } else {
        keys.push_back(sortCol->StringAt(p));
      }
    }
  }

  if (FSorted) {
    if (sortCol->TypeField != kFieldLookup16 && sortCol->TypeField != kFieldString) {
      const size_t width = std::max(std::to_string(lo).size(), std::to_string(hi).size());
      for (auto& k : keys)
        if (k.size() < width) k.insert(0, width - k.size(), '0');
    }
    std::vector<std::pair<std::string, int32_t>> order(visible.size());
    for (size_t i = 0; i < visible.size(); ++i)
      order[i] = {tables::CollationKey(keys[i]), visible[i]};
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < order.size(); ++i) visible[i] = order[i].second;
  }

  SortData = std::move(visible);
  CountRecordFilter = static_cast<int32_t>(SortData.size());
  if (CountRecordFilter == 0) RecNoTemp = -1;
  if (OnRefresh) OnRefresh(this);
}

void TBaseClient::SetFilter(const std::string& columnName, const std::string& text, uint8_t oper) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  FieldGFB* c = FindField(columnName);
  if (c == nullptr) return;
  switch (c->TypeField) {
    case kFieldInteger:
      c->FFilterU = oper;
      c->FFilterI = StrToIntDef(text, 0);
      c->FilterYes = true;
      break;
    case kFieldByte:
      c->FFilterU = oper;
      c->FFilterB = static_cast<uint8_t>(StrToIntDef(text, 0));
      c->FilterYes = true;
      break;
    case kFieldBoolean:
      c->FFilterBo = text == "T";
      break;
    case kFieldString: {
      c->FFilter = text;
      c->FilterYes = !text.empty();
      c->FFilterU = oper;
      if (text.empty()) break;
      std::string rest = text;
      if (rest[0] != '*') {
        c->FFilterZ = rest.find('*') != std::string::npos ? 2 : 3;
      } else {
        rest.erase(0, 1);
        c->FFilterZ = rest.find('*') != std::string::npos ? 0 : 1;
      }
      std::string plain;
      for (char ch : text)
        if (ch != '*') plain.push_back(ch);
      c->FFilterO = tables::LowerCase1251(plain);
      break;
    }
    default:
      break;
  }
}

void TBaseClient::ClearAllFilter() {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  for (auto& c : Fields) {
    c->FFilter.clear();
    c->FFilterI = 0;
    c->FFilterB = 0;
    c->FFilterBo = false;
    c->FilterYes = false;
  }
  SetFiltered(false);
}
