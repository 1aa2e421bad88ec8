#include "platform/regional.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/clock.h"

namespace {

// Installs settings for one test and puts the previous ones back.
class RegionalTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = plat::regional(); }
  void TearDown() override { plat::SetRegional(saved_); }
  plat::Regional saved_;
};

const double kDt = plat::EncodeDate(2026, 3, 7) + plat::EncodeTime(9, 5, 4);

TEST_F(RegionalTest, RussianStyleFormats) {
  plat::SetRegional(plat::Regional{});  // dd.MM.yyyy hh:mm:ss ','
  EXPECT_EQ(plat::FormatShortDate(kDt), "07.03.2026");
  EXPECT_EQ(plat::FormatLongTime(kDt), "09:05:04");
  EXPECT_EQ(plat::FormatDateTime(kDt), "07.03.2026 09:05:04");
  EXPECT_EQ(plat::FormatDateTime(plat::EncodeDate(2026, 3, 7)), "07.03.2026");
  const std::pair<double, const char*> floats[] = {
      {3.25, "3,25"}, {-1234.5, "-1234,5"}, {0, "0"},       {100, "100"},
      {0.1, "0,1"},   {1e-5, "1E-5"},       {1e15, "1E15"}, {123456789012345.0, "123456789012345"},
  };
  for (const auto& [v, text] : floats) EXPECT_EQ(plat::FormatFloat(v), text) << v;
}

TEST_F(RegionalTest, OtherFormatsAndSeparators) {
  plat::Regional r;
  r.ShortDateFormat = "M/d/yy";
  r.LongTimeFormat = "h:mm";
  r.DateSeparator = '-';
  r.TimeSeparator = '.';
  r.DecimalSeparator = '.';
  plat::SetRegional(r);
  // '/' and ':' in a format stand for the regional separators.
  EXPECT_EQ(plat::FormatShortDate(kDt), "3-7-26");
  EXPECT_EQ(plat::FormatLongTime(kDt), "9.05");
  EXPECT_EQ(plat::FormatFloat(2.5), "2.5");
}

TEST_F(RegionalTest, ParseDateTime) {
  plat::SetRegional(plat::Regional{});
  struct C {
    const char* text;
    bool ok;
    double dt;
  };
  const C cases[] = {
      {"07.03.2026 09:05:04", true, kDt},
      {"07.03.2026", true, plat::EncodeDate(2026, 3, 7)},
      {"7.3.26 9:05", true, plat::EncodeDate(2026, 3, 7) + plat::EncodeTime(9, 5, 0)},
      {"29.02.2024", true, plat::EncodeDate(2024, 2, 29)},
      {"29.02.2026", false, 0},
      {"32.01.2026", false, 0},
      {"07.13.2026", false, 0},
      {"07.03.2026 24:00", false, 0},
      {"07.03", false, 0},
      {"07.03.2026 x", false, 0},
      {"", false, 0},
  };
  for (const auto& c : cases) {
    double dt = -1;
    EXPECT_EQ(plat::TryParseDateTime(c.text, dt), c.ok) << c.text;
    if (c.ok) {
      EXPECT_NEAR(dt, c.dt, 1e-9) << c.text;
    }
  }
}

TEST_F(RegionalTest, ParseFloatAcceptsBothPoints) {
  plat::SetRegional(plat::Regional{});
  double v = 0;
  EXPECT_TRUE(plat::TryParseFloat("3,25", v));
  EXPECT_DOUBLE_EQ(v, 3.25);
  EXPECT_TRUE(plat::TryParseFloat(" -3.5 ", v));
  EXPECT_DOUBLE_EQ(v, -3.5);
  EXPECT_TRUE(plat::TryParseFloat(plat::FormatFloat(0.1), v));
  EXPECT_DOUBLE_EQ(v, 0.1);
  for (const char* bad : {"", "1,2,3", "abc", "inf", "1.5x"}) {
    EXPECT_FALSE(plat::TryParseFloat(bad, v)) << bad;
  }
}

TEST_F(RegionalTest, FromTheCLocale) {
  // The C locale writes dates month first with '/' and uses '.' for decimals.
  const char* old = getenv("LC_ALL");
  const std::string saved = old ? old : "";
  setenv("LC_ALL", "C", 1);
  const plat::Regional r = plat::RegionalFromLocale();
  if (old) {
    setenv("LC_ALL", saved.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
  EXPECT_EQ(r.ShortDateFormat, "MM/dd/yy");
  EXPECT_EQ(r.LongTimeFormat, "hh:mm:ss");
  EXPECT_EQ(r.DecimalSeparator, '.');
  EXPECT_EQ(r.DateSeparator, '/');
  EXPECT_EQ(r.TimeSeparator, ':');
}

}  // namespace
