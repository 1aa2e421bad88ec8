// Regional settings: short date, long time and the decimal separator, taken
// from the process locale once at start and replaceable in tests.
#pragma once
#include <string>

namespace plat {

struct Regional {
  std::string ShortDateFormat = "dd.MM.yyyy";  // d, dd, M, MM, yy, yyyy and separators
  std::string LongTimeFormat = "hh:mm:ss";     // h, hh, m, mm, s, ss and separators
  char DecimalSeparator = ',';
  char DateSeparator = '.';
  char TimeSeparator = ':';
};

const Regional& regional();
void SetRegional(const Regional& r);
// Reads the settings from the process locale (LC_TIME, LC_NUMERIC).
Regional RegionalFromLocale();

std::string FormatShortDate(double dt);
std::string FormatLongTime(double dt);
// Short date, a space, long time; the time is left out when it is midnight.
std::string FormatDateTime(double dt);
// Parses text in the short date form, optionally followed by a long time.
bool TryParseDateTime(const std::string& text, double& dt);
// A float with the regional decimal separator (up to 15 significant digits, no
// trailing zeros), and its parse accepting either '.' or the separator.
std::string FormatFloat(double v);
bool TryParseFloat(const std::string& text, double& v);

}  // namespace plat
