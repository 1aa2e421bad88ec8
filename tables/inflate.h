// One zlib stream (RFC 1950) inflated into memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tables {

// False when the stream is damaged or truncated, or would exceed maxOut bytes.
bool InflateZlib(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t maxOut);

}  // namespace tables
