// Reading and writing values, navigation and the edit states.
#include <gtest/gtest.h>

#include <cmath>

#include "fixtures.h"

namespace {

using tw::TableTest;

TEST_F(TableTest, EveryTypeReadsAsIntegerFloatAndDateTime) {
  TBaseClient& t = LoadMixed();
  const double dt1 = plat::EncodeDate(2024, 3, 5) + plat::EncodeTime(10, 20, 30);
  const double y2k = plat::EncodeDate(2000, 1, 1);
  struct Case {
    const char* column;
    int v;
    int32_t i;
    float f;
    double d;
  };
  const Case cases[] = {
      {"n_abs", 1, 101, 101, 0},
      {"p_d", 1, 0, 0, 0},
      {"name", 1, 0, 0, 0},  // not a number: 0, never an error
      {"name", 2, 0, 0, 0},
      {"flag", 1, 1, 1, 0},
      {"flag", 2, 0, 0, 0},
      {"num", 2, 65535, 65535, 0},
      {"flt", 1, 1, 1.5f, 0},
      {"flt", 2, 0, -0.25f, 0},  // truncated toward zero
      {"dbl", 2, -1234, -1234.5f, 0},
      {"cnt", 1, static_cast<int32_t>(4000000000u), 4e9f, y2k + 4000000000.0 / 86400},
      {"r_dt", 1, 86400, 86400, y2k + 1},
      {"r_dt", 3, 3661, 3661, y2k + 3661.0 / 86400},
      {"dt", 1, static_cast<int32_t>(dt1), static_cast<float>(dt1), dt1},
      {"raw", 1, 0, 0, 0},
      {"big", 2, 0, 0, 0},
      {"kind", 1, 1000, 0, 0},
      {"cls", 1, 9, 0, 0},
      {"hex", 1, 0, 0, 0},
      {"note", 1, 0, 0, 0},  // "hello": 0, never an error
      {"note", 2, 42, 0, 0},
      {"sec", 1, 0, 0, y2k + 1},
      {"sec", 3, 0, 0, y2k + 59.0 / 86400},
  };
  auto lock = t.Lock();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.column) + " record " + std::to_string(c.v));
    FieldGFB* f = t.GetField(c.column, c.v);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->GetAsInteger(), c.i);
    EXPECT_FLOAT_EQ(f->GetAsFloat(), c.f);
    EXPECT_NEAR(f->GetAsDateTime(), c.d, 1e-9);
  }
}

TEST_F(TableTest, TypeTwoTextThatIsANumberReadsAsOne) {
  std::vector<tw::Col> cols = {{1, "n_abs", 1, 4, 0, 0, tw::I32(1)},
                               {2, "p_d", 3, 1, 0, 0, tw::U8(0)},
                               {3, "name", 2, 10, 0, 0, tw::Fixed("12,5", 10)}};
  TBaseClient& t = LoadTable("t", cols, 1);
  EXPECT_FLOAT_EQ(t.FieldAsFloat("name", 1), 12.5f);
  EXPECT_EQ(t.FieldAsInteger("name", 1), 0);
}

TEST_F(TableTest, NoRecordAndMissingColumnRead) {
  TBaseClient& t = LoadMixed();
  auto lock = t.Lock();
  const std::string none = W1251("Запись не найдена");
  t.RecNoTemp = -1;
  EXPECT_EQ(t.GetField("name")->GetAsString(), none);
  EXPECT_EQ(t.GetField("name")->GetAsInteger(), 0);
  t.RecNoTemp = 99;  // beyond the arrays
  EXPECT_EQ(t.GetField("name")->GetAsString(), "");
  EXPECT_EQ(t.GetField("n_abs")->GetAsInteger(), 0);
  EXPECT_EQ(t.GetField("nothing", 1), nullptr);
  EXPECT_EQ(t.FieldAsString("nothing", 1), "");
  EXPECT_EQ(t.GetFieldType("kind"), 15);
  EXPECT_EQ(t.GetFieldSize("name"), 21);
  EXPECT_EQ(t.GetFieldSprSize("kind"), 21);
  EXPECT_EQ(t.GetFieldType("nothing"), 0);
  EXPECT_EQ(t.GetFieldNumber(3, 2)->GetAsString(), "abc");
  EXPECT_EQ(t.GetFieldNumber(18), nullptr);
  EXPECT_EQ(t.GetFieldNumberabs(1, 3)->GetAsString(), "103");
  t.Clear();
  EXPECT_EQ(t.FieldCount(), 0);
  EXPECT_EQ(t.Count(), 0);
}

TEST_F(TableTest, ColumnNotLoadedReadsZeroButShowsItsText) {
  auto cols = tw::MixedColumns();
  for (auto& c : cols) c.block = c.name == "p_d";
  // Blocks only for p_d: the others are defined but hold nothing.
  TBaseClient& t = LoadTable("mixed", cols, 3);
  auto lock = t.Lock();
  FieldGFB* f = t.GetField("n_abs", 1);
  EXPECT_FALSE(f->Load);
  EXPECT_EQ(f->GetAsInteger(), 0);
  EXPECT_EQ(f->GetAsString(), "");
}

TEST_F(TableTest, RecordIndexSelectsVisibleRecords) {
  TBaseClient& t = LoadMixed();
  EXPECT_EQ(t.RecordIndex(), 1);  // 0 reads as 1
  t.SetRecordIndex(0);
  EXPECT_EQ(t.RecNo, 1);
  t.SetRecordIndex(3);
  EXPECT_EQ(t.RecordIndex(), 3);
  EXPECT_EQ(t.GetFieldCurrent("n_abs")->GetAsInteger(), 103);
  t.SetRecordIndex(50);  // past the end: the last one
  EXPECT_EQ(t.RecordIndex(), 3);
  t.Add();
  t.SetRecordIndex(1);  // ignored while adding
  EXPECT_EQ(t.RecordIndex(), 3);
  t.Post();
  t.SetRecordIndex(2);
  EXPECT_EQ(t.FieldAsInteger("n_abs"), 102);
}

TEST_F(TableTest, SettersNeedTheEditStateAndGettersPreferTheBuffer) {
  TBaseClient& t = LoadMixed();
  t.SetRecordIndex(2);
  auto lock = t.Lock();
  FieldGFB* p_d = t.GetField("p_d");
  FieldGFB* n_abs = t.GetField("n_abs");
  p_d->SetAsInteger(7);  // browsing: ignored
  EXPECT_EQ(p_d->Temp.TypeField, 0);

  t.Add();
  EXPECT_FALSE(t.RefreshYes);
  p_d->SetAsInteger(7);
  n_abs->SetAsInteger(555);
  t.RecNoTemp = t.RecNo;
  EXPECT_EQ(p_d->GetAsInteger(), 7);      // marked: the buffer
  EXPECT_EQ(n_abs->GetAsInteger(), 102);  // type 1 only while editing an existing record
  t.Post();
  EXPECT_TRUE(t.RefreshYes);

  t.Edit();
  EXPECT_EQ(t.BEdit, 102);
  EXPECT_TRUE(t.EditRecord);
  n_abs->SetAsInteger(555);
  t.RecNoTemp = t.RecNo;
  EXPECT_EQ(n_abs->GetAsInteger(), 555);
  t.Post();
  EXPECT_EQ(n_abs->GetAsInteger(), 102);
}

TEST_F(TableTest, SetterClampsAndLookups) {
  TBaseClient& t = LoadMixed();
  auto lock = t.Lock();
  t.Add();
  FieldGFB* p_d = t.GetField("p_d");
  FieldGFB* num = t.GetField("num");
  FieldGFB* kind = t.GetField("kind");
  FieldGFB* cls = t.GetField("cls");
  FieldGFB* dbl = t.GetField("dbl");
  struct Case {
    std::function<void()> set;
    std::function<int64_t()> got;
    int64_t want;
  };
  const Case cases[] = {
      {[&] { p_d->SetAsInteger(300); }, [&] { return p_d->Temp.DataByte; }, 255},
      {[&] { p_d->SetAsInteger(-1); }, [&] { return p_d->Temp.DataByte; }, 255},
      {[&] { p_d->SetAsString("-5"); }, [&] { return p_d->Temp.DataByte; }, 0},
      {[&] { p_d->SetAsString("999"); }, [&] { return p_d->Temp.DataByte; }, 255},
      {[&] { num->SetAsInteger(70000); }, [&] { return num->Temp.DataWord; }, 65535},
      {[&] { num->SetAsString("-3"); }, [&] { return num->Temp.DataWord; }, 0},
      {[&] { num->SetAsString("70000"); }, [&] { return num->Temp.DataWord; }, 65535},
      {[&] { kind->SetAsString(W1251("оХРАНА")); }, [&] { return kind->Temp.DataWord; }, 1000},
      {[&] { kind->SetAsString("none"); }, [&] { return kind->Temp.DataWord; }, 0},
      {[&] { cls->SetAsString("b"); }, [&] { return cls->Temp.DataByte; }, 9},
      {[&] { dbl->SetAsString("2,5"); }, [&] { return dbl->Temp.TypeField; }, 7},
      {[&] { dbl->SetAsString("junk"); }, [&] { return dbl->Temp.TypeField; }, 0},
      {[&] { dbl->SetAsString("2,5"); }, [&] { return dbl->Temp.TypeField; }, 7},
      {[&] { dbl->SetAsString("-9999,9999"); }, [&] { return dbl->Temp.TypeField; }, 0},
  };
  int n = 0;
  for (const Case& c : cases) {
    c.set();
    EXPECT_EQ(c.got(), c.want) << "case " << n++;
  }
  kind->SetAsString(W1251("оХРАНА"));
  EXPECT_EQ(kind->Temp.DataString, W1251("Охрана"));
  kind->SetAsString("none");
  EXPECT_EQ(kind->Temp.DataString, "none");
  dbl->SetAsString("2,5");
  dbl->SetAsString("junk");
  EXPECT_DOUBLE_EQ(dbl->Temp.DataDouble, 2.5);  // unchanged
  FieldGFB* dt = t.GetField("dt");
  struct DateCase {
    const char* text;
    double want;
  };
  const DateCase dates[] = {
      {"05.03.2024", plat::EncodeDate(2024, 3, 5)},
      {"05.03.2024 10:20:30", plat::EncodeDate(2024, 3, 5) + plat::EncodeTime(10, 20, 30)},
      {"10:20", plat::EncodeTime(10, 20, 0)},  // a time of day alone
      {"10:20:30", plat::EncodeTime(10, 20, 30)},
      {"31.02.2024", 0},
      {"25:00", 0},
      {"junk", 0},
  };
  for (const DateCase& c : dates) {
    dt->SetAsString(c.text);
    EXPECT_NEAR(dt->Temp.DataDateTime, c.want, 1e-9) << c.text;
  }
}

}  // namespace

namespace {

TEST_F(TableTest, RegistryFindsOrAppendsTables) {
  EXPECT_EQ(CreateBaseMain(list, "object", "", true, dir.string()), 0);
  EXPECT_EQ(CreateBaseMain(list, "mobphoto", "\"a\":1", false, dir.string()), 1);
  list[0]->FlagLoadData = true;
  list[0]->LoadFileName = "x.dat";
  EXPECT_EQ(CreateBaseMain(list, "object", "", true, dir.string()), 0);  // found again
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->Name, "base0");
  EXPECT_EQ(list[1]->Name, "base1");
  EXPECT_FALSE(list[0]->FlagLoadData);
  EXPECT_TRUE(list[0]->LoadFileName.empty());
  EXPECT_EQ(list[0]->LoadFilter, "{}");
  EXPECT_EQ(list[1]->LoadFilter, "{\"a\":1}");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "temp" / "object"));
  EXPECT_FALSE(std::filesystem::exists(dir / "temp" / "mobphoto"));
  EXPECT_TRUE(list[1]->RefreshYes);
  EXPECT_EQ(list[1]->FilterOper(), 0);
}

}  // namespace
