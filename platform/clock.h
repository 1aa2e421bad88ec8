// Time sources. Intervals come from a monotonic millisecond clock; date-times
// are days since 1899-12-30 with the time of day as the fraction, in local time.
// Both sit behind one replaceable interface so tests can drive time by hand.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

namespace plat {

class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic milliseconds from an arbitrary origin.
  virtual int64_t TickMs() = 0;
  // Local date-time as days since 1899-12-30.
  virtual double Now() = 0;
  // Sleeps (a fake clock advances instead of sleeping).
  virtual void SleepMs(int ms);
};

// The process-wide clock: the system clock unless a test installed another.
Clock& clock();
// Installs c (nullptr restores the system clock). Not thread-safe against
// concurrent readers; tests install before starting threads.
void SetClock(Clock* c);

inline int64_t TickMs() { return clock().TickMs(); }
inline double Now() { return clock().Now(); }
inline double Date() { return static_cast<double>(static_cast<int64_t>(clock().Now())); }

// A clock that moves only when told. Thread-safe.
class FakeClock : public Clock {
 public:
  explicit FakeClock(int64_t tick = 1000, double now = 46000.5) : tick_(tick), now_(now) {}
  int64_t TickMs() override { return tick_.load(); }
  double Now() override { return now_.load(); }
  void SleepMs(int ms) override;
  void Advance(int64_t ms);
  void SetNow(double now) { now_.store(now); }

 private:
  std::atomic<int64_t> tick_;
  std::atomic<double> now_;
};

// Calendar arithmetic on date-times (days since 1899-12-30).
double EncodeDate(int year, int month, int day);
double EncodeTime(int hour, int min, int sec, int msec = 0);
void DecodeDate(double dt, int& year, int& month, int& day);
void DecodeTime(double dt, int& hour, int& min, int& sec, int& msec);
// "yyyymmdd" of the date part.
std::string DateToYmd(double dt);
// Days since 1899-12-30 for a local Unix time, and back.
double UnixToDateTime(int64_t unix_seconds);
int64_t DateTimeToUnix(double dt);

}  // namespace plat
