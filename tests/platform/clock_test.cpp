#include "platform/clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

TEST(Clock, FakeClockMovesOnlyWhenTold) {
  plat::FakeClock fake(5000, 46000.0);
  plat::SetClock(&fake);
  EXPECT_EQ(plat::TickMs(), 5000);
  plat::clock().SleepMs(250);  // advances instead of sleeping
  EXPECT_EQ(plat::TickMs(), 5250);
  fake.Advance(43200000 - 250);  // half a day in all
  EXPECT_DOUBLE_EQ(plat::Now(), 46000.5);
  EXPECT_DOUBLE_EQ(plat::Date(), 46000.0);
  fake.SetNow(1.75);
  EXPECT_DOUBLE_EQ(plat::Now(), 1.75);
  plat::SetClock(nullptr);
  EXPECT_NE(&plat::clock(), &fake);
}

TEST(Clock, SystemClockIsMonotonicAndLocal) {
  plat::SetClock(nullptr);
  const int64_t a = plat::TickMs();
  plat::clock().SleepMs(2);
  EXPECT_GE(plat::TickMs() - a, 2);
  // Now() agrees with the C library's local time to within a minute.
  const double expected = plat::UnixToDateTime(time(nullptr));
  EXPECT_NEAR(plat::Now(), expected, 60.0 / 86400);
}

TEST(Clock, CalendarArithmetic) {
  struct C {
    int y, m, d;
    double days;
  };
  const C cases[] = {
      {1899, 12, 30, 0},    {1899, 12, 31, 1},   {1900, 1, 1, 2},    {1900, 3, 1, 61},
      {2000, 2, 29, 36585}, {2026, 1, 1, 46023}, {1899, 12, 29, -1},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(plat::EncodeDate(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
    int y, m, d;
    plat::DecodeDate(c.days, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
  }
  const double dt = plat::EncodeDate(2026, 12, 11) + plat::EncodeTime(14, 5, 9, 250);
  int h, mi, s, ms;
  plat::DecodeTime(dt, h, mi, s, ms);
  EXPECT_EQ(h * 10000000 + mi * 100000 + s * 1000 + ms, 140509250);
  EXPECT_EQ(plat::DateToYmd(dt), "20261211");
  EXPECT_DOUBLE_EQ(plat::EncodeTime(0, 0, 5), 5.0 / 86400);
  // A time a hair before midnight rounds into the next day as a whole.
  plat::DecodeTime(46023.0 - 1e-10, h, mi, s, ms);
  EXPECT_EQ(h + mi + s + ms, 0);
  EXPECT_EQ(plat::DateToYmd(46023.0 - 1e-10), "20260101");
}

TEST(Clock, UnixRoundTrip) {
  for (int64_t t : {int64_t{0}, int64_t{1700000000}, int64_t{1781181909}}) {
    EXPECT_EQ(plat::DateTimeToUnix(plat::UnixToDateTime(t)), t);
  }
}

}  // namespace
