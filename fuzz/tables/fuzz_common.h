// What the table fuzzers share: a private working folder and a pass over
// every value a page could read, so that reads past the arrays show up.
#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "tables/base_client.h"

namespace fuzz {

inline const std::string& WorkDir() {
  // Kept for the life of the process (never destroyed) so the exit handler
  // can still remove the folder.
  static const std::string* dir = [] {
    char tmpl[] = "/tmp/fuzz_tables_XXXXXX";
    const char* d = mkdtemp(tmpl);
    if (d == nullptr) abort();
    auto* s = new std::string(d);
    atexit([] { std::filesystem::remove_all(WorkDir()); });
    return s;
  }();
  return *dir;
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Reads every column at the first visible positions and a few absolute ones.
inline void ReadEverything(TBaseClient& t) {
  auto lock = t.Lock();
  t.SetSorted(false);
  t.RefreshData();
  const int n = t.FieldCount();
  const int32_t visible = std::min<int32_t>(t.Count(), 64);
  for (int c = 1; c <= n; ++c) {
    for (int32_t v = 1; v <= visible; ++v) {
      FieldGFB* f = t.GetFieldNumber(c, v);
      f->GetAsString();
      f->GetAsInteger();
      f->GetAsFloat();
      f->GetAsDateTime();
    }
    for (int32_t p : {-1, 0, 1, 2, 1000, t.CountRecord}) {
      FieldGFB* f = t.GetFieldNumberabs(c, p);
      f->GetAsString();
      f->GetAsInteger();
    }
  }
  // Sorting reads every visible record's key.
  if (n >= 3) {
    t.SetSort(t.GetFieldNumber(3)->name);
    t.SetSorted(true);
  }
}

}  // namespace fuzz
