#include "platform/regional.h"

#include <langinfo.h>
#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/clock.h"

namespace plat {

namespace {

// Function-local so that a reader in another file's static initialiser still
// finds the settings made.
Regional& Current() {
  static Regional r = RegionalFromLocale();
  return r;
}

// strftime directives of D_FMT / T_FMT in the d/M/y and h/m/s notation.
std::string FromStrftime(const std::string& f) {
  std::string out;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%' || i + 1 >= f.size()) {
      out.push_back(f[i]);
      continue;
    }
    char c = f[++i];
    if (c == 'E' || c == 'O') {  // alternative-era modifiers: use the plain form
      if (i + 1 >= f.size()) break;
      c = f[++i];
    }
    switch (c) {
      case 'd':
        out += "dd";
        break;
      case 'e':
        out += "d";
        break;
      case 'm':
        out += "MM";
        break;
      case 'y':
        out += "yy";
        break;
      case 'Y':
        out += "yyyy";
        break;
      case 'D':
        out += "MM/dd/yy";
        break;
      case 'F':
        out += "yyyy-MM-dd";
        break;
      case 'H':
      case 'I':
        out += "hh";
        break;
      case 'k':
      case 'l':
        out += "h";
        break;
      case 'M':
        out += "mm";
        break;
      case 'S':
        out += "ss";
        break;
      case 'T':
      case 'r':
        out += "hh:mm:ss";
        break;
      case 'R':
        out += "hh:mm";
        break;
      case '%':
        out.push_back('%');
        break;
      default:
        break;  // AM/PM, weekday names and the like are not carried over
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  while (!out.empty() && out.front() == ' ') out.erase(0, 1);
  return out;
}

bool IsFormatLetter(char c) {
  return c == 'd' || c == 'M' || c == 'y' || c == 'h' || c == 'H' || c == 'm' || c == 'n' ||
         c == 's';
}

char FirstSeparator(const std::string& fmt, char def) {
  for (char c : fmt) {
    if (!IsFormatLetter(c) && c != ' ') return c;
  }
  return def;
}

// Expands a format: runs of one letter are fields, everything else is literal.
// The separators '/' and ':' stand for the regional ones.
std::string Expand(const std::string& fmt, double dt) {
  const Regional& r = regional();
  int y, mo, d, h, mi, s, ms;
  DecodeDate(dt, y, mo, d);
  DecodeTime(dt, h, mi, s, ms);
  std::string out;
  char buf[16];
  for (size_t i = 0; i < fmt.size();) {
    const char c = fmt[i];
    size_t n = 1;
    while (i + n < fmt.size() && fmt[i + n] == c) ++n;
    if (!IsFormatLetter(c)) {
      if (c == '/') {
        out.append(n, r.DateSeparator);
      } else if (c == ':') {
        out.append(n, r.TimeSeparator);
      } else {
        out.append(n, c);
      }
      i += n;
      continue;
    }
    int v = 0;
    int width = n >= 2 ? 2 : 1;
    switch (c) {
      case 'd':
        v = d;
        break;
      case 'M':
        v = mo;
        break;
      case 'y':
        v = n <= 2 ? y % 100 : y;
        width = n <= 2 ? 2 : 4;
        break;
      case 'h':
      case 'H':
        v = h;
        break;
      case 'm':
      case 'n':
        v = mi;
        break;
      case 's':
        v = s;
        break;
    }
    std::snprintf(buf, sizeof buf, "%0*d", width, v);
    out += buf;
    i += n;
  }
  return out;
}

// The field order ('d', 'M', 'y') of the short date format.
std::string DateOrder(const std::string& fmt) {
  std::string order;
  for (char c : fmt) {
    if ((c == 'd' || c == 'M' || c == 'y') && order.find(c) == std::string::npos)
      order.push_back(c);
  }
  return order.size() == 3 ? order : "dMy";
}

bool DaysInMonthOk(int y, int m, int d) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

}  // namespace

const Regional& regional() {
  return Current();
}

void SetRegional(const Regional& r) {
  Current() = r;
}

Regional RegionalFromLocale() {
  Regional r;
  locale_t loc = newlocale(LC_TIME_MASK | LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return r;
  const std::string date = FromStrftime(nl_langinfo_l(D_FMT, loc));
  const std::string time = FromStrftime(nl_langinfo_l(T_FMT, loc));
  const char* radix = nl_langinfo_l(RADIXCHAR, loc);
  if (!date.empty()) r.ShortDateFormat = date;
  if (!time.empty()) r.LongTimeFormat = time;
  // A multibyte separator has no single-byte form; '.' stands in for it.
  if (radix && radix[0] && !radix[1])
    r.DecimalSeparator = radix[0];
  else
    r.DecimalSeparator = '.';
  r.DateSeparator = FirstSeparator(r.ShortDateFormat, '.');
  r.TimeSeparator = FirstSeparator(r.LongTimeFormat, ':');
  freelocale(loc);
  return r;
}

std::string FormatShortDate(double dt) {
  return Expand(regional().ShortDateFormat, dt);
}

std::string FormatLongTime(double dt) {
  return Expand(regional().LongTimeFormat, dt);
}

std::string FormatDateTime(double dt) {
  int h, mi, s, ms;
  DecodeTime(dt, h, mi, s, ms);
  if (h == 0 && mi == 0 && s == 0) return FormatShortDate(dt);
  return FormatShortDate(dt) + " " + FormatLongTime(dt);
}

bool TryParseDateTime(const std::string& text, double& dt) {
  std::vector<int> nums;
  size_t i = 0;
  while (i < text.size() && nums.size() < 7) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      int v = 0;
      size_t n = 0;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (++n > 4) return false;
        v = v * 10 + (text[i] - '0');
        ++i;
      }
      nums.push_back(v);
    } else if (c == ' ' || c == '.' || c == '/' || c == '-' || c == ':' ||
               c == regional().DateSeparator || c == regional().TimeSeparator) {
      ++i;
    } else {
      return false;
    }
  }
  if (i < text.size() || nums.size() < 3 || nums.size() == 4 || nums.size() > 6) return false;
  const std::string order = DateOrder(regional().ShortDateFormat);
  int d = 0, m = 0, y = 0;
  for (int k = 0; k < 3; ++k) {
    if (order[k] == 'd') d = nums[k];
    if (order[k] == 'M') m = nums[k];
    if (order[k] == 'y') y = nums[k];
  }
  if (y < 100) y += y < 50 ? 2000 : 1900;
  if (!DaysInMonthOk(y, m, d)) return false;
  int h = 0, mi = 0, s = 0;
  if (nums.size() >= 5) {
    h = nums[3];
    mi = nums[4];
    if (nums.size() == 6) s = nums[5];
    if (h > 23 || mi > 59 || s > 59) return false;
  }
  dt = EncodeDate(y, m, d);
  dt += (dt < 0 ? -1 : 1) * EncodeTime(h, mi, s);
  return true;
}

std::string FormatFloat(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  std::string out;
  const char sep = regional().DecimalSeparator;
  for (const char* p = buf; *p; ++p) {
    if (*p == '.') {
      out.push_back(sep);
    } else if (*p == 'e') {
      // 1e+15 -> 1E15, 1e-05 -> 1E-5
      out.push_back('E');
      ++p;
      if (*p == '-') out.push_back('-');
      if (*p == '-' || *p == '+') ++p;
      while (*p == '0' && p[1]) ++p;
      out += p;
      break;
    } else {
      out.push_back(*p);
    }
  }
  return out == "-0" ? "0" : out;
}

bool TryParseFloat(const std::string& text, double& v) {
  std::string s;
  s.reserve(text.size());
  const char sep = regional().DecimalSeparator;
  for (char c : text) s.push_back(c == sep ? '.' : c);
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  if (b < e && s[b] == '+') ++b;
  if (b == e) return false;
  double r = 0;
  auto [p, ec] = std::from_chars(s.data() + b, s.data() + e, r, std::chars_format::general);
  if (ec != std::errc() || p != s.data() + e || !std::isfinite(r)) return false;
  v = r;
  return true;
}

}  // namespace plat
