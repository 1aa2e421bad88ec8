#include "platform/clock.h"

#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace plat {

namespace {

constexpr int64_t kMsPerDay = 86400000;

// Days from 1970-01-01 to a civil date (proleptic Gregorian), and back.
constexpr int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// 1899-12-30 counted from 1970-01-01.
constexpr int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

// Whole days and milliseconds of the day. Negative values keep the time of day
// as the absolute fraction, as date-time arithmetic has always done.
void Split(double dt, int64_t& days, int64_t& ms) {
  if (!std::isfinite(dt)) {
    days = 0;
    ms = 0;
    return;
  }
  if (dt >= 0) {
    const int64_t total = std::llround(dt * kMsPerDay);
    days = total / kMsPerDay;
    ms = total % kMsPerDay;
  } else {
    const double whole = std::trunc(dt);
    days = static_cast<int64_t>(whole);
    ms = std::llround((whole - dt) * kMsPerDay);
    if (ms >= kMsPerDay) ms = kMsPerDay - 1;
  }
}

class SystemClock : public Clock {
 public:
  int64_t TickMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  double Now() override {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tm lt;
    localtime_r(&ts.tv_sec, &lt);
    return EncodeDate(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday) +
           EncodeTime(lt.tm_hour, lt.tm_min, lt.tm_sec, static_cast<int>(ts.tv_nsec / 1000000));
  }
};

Clock& SystemInstance() {
  static SystemClock c;
  return c;
}

// nullptr means the system clock.
std::atomic<Clock*> g_clock{nullptr};

}  // namespace

void Clock::SleepMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Clock& clock() {
  Clock* c = g_clock.load(std::memory_order_acquire);
  return c ? *c : SystemInstance();
}

void SetClock(Clock* c) {
  g_clock.store(c, std::memory_order_release);
}

void FakeClock::SleepMs(int ms) {
  if (ms > 0) Advance(ms);
}

void FakeClock::Advance(int64_t ms) {
  tick_.fetch_add(ms);
  // The date-time moves with the tick so both views of time agree.
  double cur = now_.load();
  while (!now_.compare_exchange_weak(cur, cur + static_cast<double>(ms) / kMsPerDay)) {
  }
}

double EncodeDate(int year, int month, int day) {
  return static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffset);
}

double EncodeTime(int hour, int min, int sec, int msec) {
  return (hour * 3600000.0 + min * 60000.0 + sec * 1000.0 + msec) / kMsPerDay;
}

void DecodeDate(double dt, int& year, int& month, int& day) {
  int64_t days, ms;
  Split(dt, days, ms);
  CivilFromDays(days + kEpochOffset, year, month, day);
}

void DecodeTime(double dt, int& hour, int& min, int& sec, int& msec) {
  int64_t days, ms;
  Split(dt, days, ms);
  hour = static_cast<int>(ms / 3600000);
  min = static_cast<int>(ms / 60000 % 60);
  sec = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

std::string DateToYmd(double dt) {
  int y, m, d;
  DecodeDate(dt, y, m, d);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
  return buf;
}

double UnixToDateTime(int64_t unix_seconds) {
  const time_t t = static_cast<time_t>(unix_seconds);
  tm lt;
  if (!localtime_r(&t, &lt)) return 0;
  return EncodeDate(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday) +
         EncodeTime(lt.tm_hour, lt.tm_min, lt.tm_sec);
}

int64_t DateTimeToUnix(double dt) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(dt, y, mo, d);
  DecodeTime(dt, h, mi, s, ms);
  tm lt{};
  lt.tm_year = y - 1900;
  lt.tm_mon = mo - 1;
  lt.tm_mday = d;
  lt.tm_hour = h;
  lt.tm_min = mi;
  lt.tm_sec = s;
  lt.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&lt));
}

}  // namespace plat
