// Windows-1251 <-> UTF-8. Inside the program every text is single-byte
// Windows-1251, exactly as on the wire and in files; UTF-8 exists only at the
// Qt boundary, at the terminal and in the source literals.
#pragma once
#include <string>
#include <string_view>

namespace plat {

// Bytes that have no Windows-1251 form become '?'.
std::string Utf8ToCp1251(std::string_view utf8);
// Every byte has a form (0x98, unassigned, maps to U+FFFD).
std::string Cp1251ToUtf8(std::string_view cp1251);

}  // namespace plat

// A program text written as a UTF-8 literal, converted once to Windows-1251.
#define W1251(lit)                                              \
  ([]() -> const std::string& {                                 \
    static const std::string s_text = ::plat::Utf8ToCp1251(lit); \
    return s_text;                                              \
  }())
