// The block scrambler shared with the server: two seed bytes at the front of a
// buffer select a stream from a fixed 256-byte table that is XORed over the
// rest. The same call scrambles and unscrambles. It hides nothing from anyone
// who has the table: it is not encryption.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Two random bytes at buf[0], buf[1].
void Random2Byte(uint8_t* buf);
// Transforms every byte from offset 2 to len (buffers shorter than 3 are left alone).
void EnDec(uint8_t* buf, size_t len, int key);
inline void EnDec(std::vector<uint8_t>& buf, int key) { EnDec(buf.data(), buf.size(), key); }
// Transforms the n bytes from offset 2.
void EnDecS(uint8_t* buf, size_t n, int key);
// Two random seed bytes, the text's bytes, scrambled.
std::vector<uint8_t> StrToBytesC(std::string_view text, int key);
// The table (key 1): a permutation of 0..255.
const uint8_t* ScramblerTable();
