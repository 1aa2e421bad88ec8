// The scrambled cache files under temp/<table>: the structure file
// <table>.cacheb and one file per column, <column>.cache or <column>.1cache.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tables/field.h"

namespace tables {

constexpr int kCacheKey = 1;

// A table or column name that can name a file inside the cache folder.
bool CacheNameOk(const std::string& name);
std::string HexUpper(const uint8_t* data, size_t n);

// Seed, then `plain` from offset 2, scrambled; replaces the file at path.
bool WriteScrambled(const std::string& path, std::vector<uint8_t>& image);
// A column cache file: seed, type code, MD5 of content, content.
bool WriteColumnCache(const std::string& path, uint8_t type, const uint8_t* const* parts,
                      const size_t* sizes, int nparts);

enum class CacheRead { kMissing, kUnavailable, kOk };
// Opens (shared, retried), reads whole and unscrambles.
CacheRead ReadCacheFile(const std::string& path, std::vector<uint8_t>& out);

// Fills column f from an unscrambled column cache file; r records, listSize
// from the structure file's descriptor. False (column untouched) when the file
// is damaged or does not hold r records.
bool LoadColumnCache(FieldGFB& f, const std::vector<uint8_t>& file, int32_t r, int32_t listSize);

}  // namespace tables
