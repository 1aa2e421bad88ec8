// Reads a table file the way the workstation does, for the tests: header,
// descriptors, and each data block turned into the column's cache content
// (whose MD5 the workstation reports back).
#pragma once
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "foundation/json.h"

struct FileColumn {
  int n_abs = 0;
  std::string name;
  uint8_t type = 0;
  int32_t size = 0, spr = 0, list = 0;
  bool has_data = false;
  Bytes content;  // cache content form
  std::vector<std::pair<uint32_t, std::string>> dict;
  Bytes data;  // per-record data (types 15/16: the codes; 24: the offsets)
  Bytes pool;  // type 24
};

struct FileTable {
  std::string name;
  int32_t count = 0, blocks = 0, descs = 0;
  std::vector<FileColumn> cols;
  bool ok = false;
  const FileColumn* Col(const std::string& n) const {
    for (const auto& c : cols)
      if (c.name == n) return &c;
    return nullptr;
  }
  int32_t Int(const std::string& col, int rec) const {
    const FileColumn* c = Col(col);
    int32_t v = 0;
    std::memcpy(&v, c->data.data() + rec * c->size, 4);
    return v;
  }
  double Double(const std::string& col, int rec) const {
    const FileColumn* c = Col(col);
    double v = 0;
    std::memcpy(&v, c->data.data() + rec * 8, 8);
    return v;
  }
  std::string Var(const std::string& col, int rec) const {
    const FileColumn* c = Col(col);
    int32_t o = Int(col, rec);
    if (o < 0 || o >= static_cast<int32_t>(c->pool.size())) return {};
    size_t n = c->pool[static_cast<size_t>(o)];
    return std::string(c->pool.begin() + o + 1, c->pool.begin() + o + 1 + static_cast<long>(n));
  }
  std::string Lookup(const std::string& col, int rec) const {
    const FileColumn* c = Col(col);
    uint32_t code = c->type == 15 ? (c->data[rec * 2] | c->data[rec * 2 + 1] << 8) : c->data[rec];
    for (const auto& e : c->dict)
      if (e.first == code) return e.second;
    return {};
  }
};

inline FileTable ReadTableFile(const Bytes& f) {
  FileTable t;
  size_t p = 0;
  auto need = [&](size_t n) { return p + n <= f.size(); };
  auto i32 = [&]() {
    int32_t v;
    std::memcpy(&v, f.data() + p, 4);
    p += 4;
    return v;
  };
  auto desc = [&](FileColumn& c) {
    c.n_abs = i32();
    c.name.assign(reinterpret_cast<const char*>(f.data() + p + 1), std::min<size_t>(f[p], 15));
    p += 16;
    c.type = f[p++];
    c.size = i32();
    c.spr = i32();
    i32();
    c.list = i32();
  };
  if (!need(21)) return t;
  t.name.assign(reinterpret_cast<const char*>(f.data() + 1), std::min<size_t>(f[0], 8));
  p = 9;
  t.count = i32();
  t.blocks = i32();
  t.descs = i32();
  for (int i = 0; i < t.descs; ++i) {
    if (!need(37)) return t;
    FileColumn c;
    desc(c);
    t.cols.push_back(c);
  }
  for (int b = 0; b < t.blocks; ++b) {
    if (!need(37)) return t;
    FileColumn d;
    desc(d);
    if (d.n_abs < 1 || d.n_abs > static_cast<int>(t.cols.size())) return t;
    FileColumn& c = t.cols[static_cast<size_t>(d.n_abs - 1)];
    c.has_data = true;
    c.content.clear();
    if (c.type == 15 || c.type == 16) {
      c.content.push_back(c.type);
      c.content.push_back(static_cast<uint8_t>(d.list));
      c.content.push_back(static_cast<uint8_t>(d.list >> 8));
      size_t start = p;
      for (int e = 0; e < d.list; ++e) {
        size_t w = c.type == 15 ? 4 : 2;
        if (!need(w + 1)) return t;
        uint32_t code = 0;
        std::memcpy(&code, f.data() + p, w);
        p += w;
        size_t n = f[p];
        if (!need(1 + n)) return t;
        c.dict.emplace_back(code, std::string(f.begin() + static_cast<long>(p) + 1,
                                              f.begin() + static_cast<long>(p + 1 + n)));
        p += 1 + n;
      }
      c.content.insert(c.content.end(), f.begin() + static_cast<long>(start),
                       f.begin() + static_cast<long>(p));
    }
    size_t n = static_cast<size_t>(c.size) * static_cast<size_t>(t.count);
    if (!need(n)) return t;
    c.data.assign(f.begin() + static_cast<long>(p), f.begin() + static_cast<long>(p + n));
    p += n;
    c.content.insert(c.content.end(), c.data.begin(), c.data.end());
    if (c.type == 24) {
      if (!need(static_cast<size_t>(d.list))) return t;
      c.pool.assign(f.begin() + static_cast<long>(p), f.begin() + static_cast<long>(p) + d.list);
      p += static_cast<size_t>(d.list);
      c.content.insert(c.content.end(), c.pool.begin(), c.pool.end());
    }
  }
  t.ok = p == f.size();
  return t;
}
