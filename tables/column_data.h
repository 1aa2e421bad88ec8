// Moving whole columns between the file and cache layouts and the value arrays.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tables/bytes.h"
#include "tables/field.h"

namespace tables {

// Whether the type has a per-record layout of Size bytes (every kind with
// storage except the lookups and the text pool).
bool IsFixedKind(uint8_t type);
// Replaces the type's array with r records copied from src (r * size bytes).
void AssignRecords(FieldGFB& f, uint8_t type, int32_t size, const uint8_t* src, int32_t r);
// Walks n dictionary entries (code of 4 bytes for type 15, 2 for type 16, then
// a short string at its actual length); stores them in f when f is given.
// False when the bytes end first.
bool ReadDictionary(ByteReader& rd, uint8_t type, int64_t n, FieldGFB* f);
// Bytes per record the type's storage takes (element width, or size for 2 and 11).
int64_t RecordBytes(uint8_t type, int32_t size);

}  // namespace tables
