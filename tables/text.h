// Windows-1251 case folding and the text order used for sorting and filters.
#pragma once
#include <string>
#include <string_view>

namespace tables {

char Lower1251(char c);
std::string LowerCase1251(std::string_view s);
bool SameText1251(std::string_view a, std::string_view b);
// A key whose byte-wise order is the case-insensitive alphabetical order of
// the text (digits before Latin before Cyrillic letters, Ё beside Е).
std::string CollationKey(std::string_view s);

}  // namespace tables
