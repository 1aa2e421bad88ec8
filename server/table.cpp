#include "server/table.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/crypto.h"

namespace srv {

void PutI32(Bytes& out, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}
void PutU16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutDouble(Bytes& out, double v) {
  uint64_t u;
  std::memcpy(&u, &v, 8);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}
void PutShortFixed(Bytes& out, const std::string& s, size_t width) {
  if (width == 0) return;
  size_t n = std::min<size_t>({s.size(), width - 1, size_t{255}});
  out.push_back(static_cast<uint8_t>(n));
  out.insert(out.end(), s.begin(), s.begin() + static_cast<long>(n));
  out.insert(out.end(), width - 1 - n, 0);
}
void PutShort(Bytes& out, const std::string& s) {
  size_t n = std::min(s.size(), size_t{255});
  out.push_back(static_cast<uint8_t>(n));
  out.insert(out.end(), s.begin(), s.begin() + static_cast<long>(n));
}

bool ParseDateTimeText(const std::string& text, double& out) {
  int d = 0, m = 0, y = 0, hh = 0, mm = 0, ss = 0;
  int n = std::sscanf(text.c_str(), "%d.%d.%d %d:%d:%d", &d, &m, &y, &hh, &mm, &ss);
  if (n < 3) {
    n = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &m, &d, &hh, &mm, &ss);
    if (n < 3) {
      std::string t = text;
      for (char& c : t)
        if (c == ',') c = '.';
      char* end = nullptr;
      double v = std::strtod(t.c_str(), &end);
      if (t.empty() || end == t.c_str() || *end != 0 || !std::isfinite(v)) return false;
      out = v;
      return true;
    }
  }
  if (y < 100) y += 2000;
  if (m < 1 || m > 12 || d < 1 || d > 31 || y > 9999 || hh < 0 || hh > 23 || mm < 0 || mm > 59 ||
      ss < 0 || ss > 59)
    return false;
  out = plat::EncodeDate(y, m, d) + plat::EncodeTime(hh, mm, ss);
  return true;
}

std::string FormatDateTime(double dt) {
  int y, m, d, hh, mm, ss, ms;
  plat::DecodeDate(dt, y, m, d);
  plat::DecodeTime(dt, hh, mm, ss, ms);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d", d, m, y, hh, mm, ss);
  return buf;
}

ServerTable::ServerTable(const TableDef& def)
    : def_(&def), dict_(def.cols.size()), pool_(def.cols.size()), pool_index_(def.cols.size()) {}

int ServerTable::AppendRow() {
  Row r(def_->cols.size());
  for (size_t c = 0; c < r.size(); ++c)
    if (def_->cols[c].type == kColVarText) r[c].i = -1;
  r[0].i = Count() + 1;
  rows_.push_back(std::move(r));
  return Count() - 1;
}

uint32_t ServerTable::LookupCode(int c, const std::string& text) {
  if (text.empty()) return 0;
  auto& dict = dict_[static_cast<size_t>(c)];
  for (const auto& e : dict)
    if (e.second == text) return e.first;
  uint32_t limit = def_->cols[static_cast<size_t>(c)].type == kColLookupB ? 255 : 65535;
  uint32_t next = dict.empty() ? 1 : dict.back().first + 1;
  if (next > limit) return 0;
  dict.emplace_back(next, text);
  return next;
}

int32_t ServerTable::PoolOffset(int c, const std::string& text) {
  if (text.empty()) return -1;
  auto& index = pool_index_[static_cast<size_t>(c)];
  auto it = index.find(text);
  if (it != index.end()) return it->second;
  std::string& pool = pool_[static_cast<size_t>(c)];
  int32_t off = static_cast<int32_t>(pool.size());
  pool.push_back(static_cast<char>(text.size()));
  pool += text;
  index.emplace(text, off);
  return off;
}

void ServerTable::SetInt(int k, int c, int64_t v) {
  Cell& cell = rows_[static_cast<size_t>(k)][static_cast<size_t>(c)];
  switch (def_->cols[static_cast<size_t>(c)].type) {
    case kColByte:
      cell.i = std::clamp<int64_t>(v, 0, 255);
      break;
    case kColCard:
      cell.i = std::clamp<int64_t>(v, 0, UINT32_MAX);
      break;
    case kColInt:
      cell.i = static_cast<int32_t>(v);
      break;
    case kColDouble:
    case kColDateTime:
      cell.d = static_cast<double>(v);
      break;
    default:
      SetText(k, c, std::to_string(v));
      break;
  }
}

void ServerTable::SetDouble(int k, int c, double v) {
  uint8_t t = def_->cols[static_cast<size_t>(c)].type;
  if (t == kColDouble || t == kColDateTime) {
    rows_[static_cast<size_t>(k)][static_cast<size_t>(c)].d = std::isfinite(v) ? v : 0;
  } else {
    SetInt(k, c, std::isfinite(v) ? static_cast<int64_t>(v) : 0);
  }
}

void ServerTable::SetText(int k, int c, const std::string& text_in) {
  const ColumnDef& col = def_->cols[static_cast<size_t>(c)];
  Cell& cell = rows_[static_cast<size_t>(k)][static_cast<size_t>(c)];
  std::string text = text_in.substr(0, 255);
  switch (col.type) {
    case kColFixText:
      cell.s = text.substr(0, static_cast<size_t>(std::max(0, col.size - 1)));
      break;
    case kColLookupW:
    case kColLookupB:
      text = text.substr(0, static_cast<size_t>(col.spr_size - 1));
      cell.i = LookupCode(c, text);
      cell.s = cell.i ? text : std::string();
      break;
    case kColVarText:
      cell.i = PoolOffset(c, text);
      cell.s = cell.i >= 0 ? text : std::string();
      break;
    default: {
      double v = 0;
      if (ParseDateTimeText(text, v)) SetDouble(k, c, v);
      break;
    }
  }
}

bool ServerTable::SetFromText(int k, int c, const std::string& text) {
  if (k < 0 || k >= Count() || c < 0 || c >= static_cast<int>(def_->cols.size())) return false;
  uint8_t t = def_->cols[static_cast<size_t>(c)].type;
  if (t == kColInt || t == kColByte || t == kColCard) {
    int64_t v = 0;
    if (!TryStrToInt64(text, v)) {
      double d = 0;
      if (!ParseDateTimeText(text, d)) return false;
      v = static_cast<int64_t>(d);
    }
    SetInt(k, c, v);
    return true;
  }
  if (t == kColDouble || t == kColDateTime) {
    double d = 0;
    if (!ParseDateTimeText(text, d)) return false;
    SetDouble(k, c, d);
    return true;
  }
  SetText(k, c, text);
  return true;
}

std::string ServerTable::GetText(int k, int c) const {
  const Cell& cell = rows_[static_cast<size_t>(k)][static_cast<size_t>(c)];
  switch (def_->cols[static_cast<size_t>(c)].type) {
    case kColInt:
    case kColByte:
    case kColCard:
      return std::to_string(cell.i);
    case kColDouble:
    case kColDateTime: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.10g", cell.d);
      return buf;
    }
    default:
      return cell.s;
  }
}

void ServerTable::ColumnData(int c, Bytes& out) const {
  const ColumnDef& col = def_->cols[static_cast<size_t>(c)];
  const size_t ci = static_cast<size_t>(c);
  switch (col.type) {
    case kColInt:
      for (const Row& r : rows_) PutI32(out, static_cast<int32_t>(r[ci].i));
      break;
    case kColCard:
      for (const Row& r : rows_) PutI32(out, static_cast<int32_t>(static_cast<uint32_t>(r[ci].i)));
      break;
    case kColByte:
      for (const Row& r : rows_) out.push_back(static_cast<uint8_t>(r[ci].i));
      break;
    case kColDouble:
    case kColDateTime:
      for (const Row& r : rows_) PutDouble(out, r[ci].d);
      break;
    case kColFixText:
      for (const Row& r : rows_) PutShortFixed(out, r[ci].s, static_cast<size_t>(col.size));
      break;
    case kColLookupW:
      for (const auto& e : dict_[ci]) {
        PutI32(out, static_cast<int32_t>(e.first));
        PutShort(out, e.second);
      }
      for (const Row& r : rows_) PutU16(out, static_cast<uint16_t>(r[ci].i));
      break;
    case kColLookupB:
      for (const auto& e : dict_[ci]) {
        PutU16(out, static_cast<uint16_t>(e.first));
        PutShort(out, e.second);
      }
      for (const Row& r : rows_) out.push_back(static_cast<uint8_t>(r[ci].i));
      break;
    case kColVarText:
      for (const Row& r : rows_) PutI32(out, static_cast<int32_t>(r[ci].i));
      out.insert(out.end(), pool_[ci].begin(), pool_[ci].end());
      break;
    default:
      break;
  }
}

Bytes ServerTable::ColumnContent(int c) const {
  const ColumnDef& col = def_->cols[static_cast<size_t>(c)];
  Bytes out;
  if (col.type == kColLookupW || col.type == kColLookupB) {
    out.push_back(col.type);
    PutU16(out, static_cast<uint16_t>(dict_[static_cast<size_t>(c)].size()));
  }
  ColumnData(c, out);
  return out;
}

std::string ServerTable::ColumnMd5(int c) const {
  Bytes b = ColumnContent(c);
  return plat::Md5HexUpper(b.data(), b.size());
}

void ServerTable::Descriptor(int c, Bytes& out) const {
  const ColumnDef& col = def_->cols[static_cast<size_t>(c)];
  PutI32(out, c + 1);
  PutShortFixed(out, col.name, 16);
  out.push_back(col.type);
  PutI32(out, col.size);
  PutI32(out, col.spr_size);
  PutI32(out, 0);
  int32_t list = 0;
  if (col.type == kColLookupW || col.type == kColLookupB)
    list = static_cast<int32_t>(dict_[static_cast<size_t>(c)].size());
  else if (col.type == kColVarText)
    list = static_cast<int32_t>(pool_[static_cast<size_t>(c)].size());
  PutI32(out, list);
}

Bytes ServerTable::TableFile(const std::map<std::string, std::string>& md5, int* blocks) const {
  std::vector<int> send;
  for (size_t c = 0; c < def_->cols.size(); ++c) {
    auto it = md5.find(def_->cols[c].name);
    if (it == md5.end() || strcasecmp(it->second.c_str(), ColumnMd5(static_cast<int>(c)).c_str()))
      send.push_back(static_cast<int>(c));
  }
  Bytes out;
  PutShortFixed(out, def_->name, 9);
  PutI32(out, Count());
  PutI32(out, static_cast<int32_t>(send.size()));
  PutI32(out, static_cast<int32_t>(def_->cols.size()));
  for (size_t c = 0; c < def_->cols.size(); ++c) Descriptor(static_cast<int>(c), out);
  for (int c : send) {
    Descriptor(c, out);
    ColumnData(c, out);
  }
  if (blocks) *blocks = static_cast<int>(send.size());
  return out;
}

Bytes ServerTable::UpdateForm(int k) const {
  Bytes out;
  PutShortFixed(out, def_->name, 9);
  PutI32(out, k);
  PutI32(out, Count());
  const Row& r = rows_[static_cast<size_t>(k)];
  for (size_t c = 0; c < def_->cols.size(); ++c) {
    const ColumnDef& col = def_->cols[c];
    PutShortFixed(out, col.name, 16);
    switch (col.type) {
      case kColInt:
      case kColCard:
        PutI32(out, static_cast<int32_t>(r[c].i));
        break;
      case kColByte:
        out.push_back(static_cast<uint8_t>(r[c].i));
        break;
      case kColDouble:
      case kColDateTime:
        PutDouble(out, r[c].d);
        break;
      case kColFixText:
        PutShortFixed(out, r[c].s, static_cast<size_t>(col.size));
        break;
      case kColLookupW:
        PutU16(out, static_cast<uint16_t>(r[c].i));
        PutShortFixed(out, r[c].s, static_cast<size_t>(col.spr_size));
        break;
      case kColLookupB:
        out.push_back(static_cast<uint8_t>(r[c].i));
        PutShortFixed(out, r[c].s, static_cast<size_t>(col.spr_size));
        break;
      case kColVarText: {
        int32_t pool = static_cast<int32_t>(pool_[c].size());
        PutI32(out, pool);
        PutI32(out, static_cast<int32_t>(r[c].i));
        if (r[c].i != -1 && pool >= 1) PutShort(out, r[c].s);
        break;
      }
      default:
        break;
    }
  }
  return out;
}

}  // namespace srv
