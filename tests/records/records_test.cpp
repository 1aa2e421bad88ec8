#include "app/records/records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "foundation/json.h"
#include "platform/clock.h"
#include "tests/foundation/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class RecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_.SetNow(46091.25);
    plat::SetClock(&clock_);
  }
  void TearDown() override { plat::SetClock(nullptr); }
  plat::FakeClock clock_;
};

// The screen-settings shape: a group with a string, an integer, a float, a
// switch and a byte block, and two records.
TGFDataS Sample() {
  TGFDataS d;
  const int g = d.AddGroup("ya");
  const int name = d.AddPar(g, "name", kGFString, 0);
  const int lon = d.AddPar(g, "CLon", kGFSingle, 0);
  const int z = d.AddPar(g, "CZ", kGFInteger, 0);
  d.AddPar(g, "on", kGFBool, 0);
  d.AddPar(g, "blob", kGFBytes, 3);
  d.SetString(g, name, TGFDataS::kAppend, "first");
  d.SetSingle(g, lon, TGFDataS::kCurrent, 37.5f);
  d.SetInteger(g, z, TGFDataS::kCurrent, 12);
  d.SetString(g, name, TGFDataS::kAppend, "second");
  d.SetInteger(g, z, TGFDataS::kCurrent, 13);
  const int g2 = d.AddGroup("main");
  d.AddPar(g2, "command", kGFString, 0);
  d.SetString(g2, 1, TGFDataS::kAppend, "Put_OSM");
  return d;
}

TEST_F(RecordsTest, NewGroupNumbersItsRecords) {
  TGFDataS d;
  const int g = d.AddGroup("g");
  EXPECT_EQ(g, 0);
  EXPECT_EQ(d.GroupCount, 1);
  const stru_gfdata_group* grp = d.Group(g);
  ASSERT_NE(grp, nullptr);
  ASSERT_EQ(grp->Pars.size(), 1u);
  EXPECT_EQ(grp->Pars[0].NameText(), "dn_abs");
  EXPECT_EQ(grp->Pars[0].Type, kGFInteger);
  EXPECT_EQ(grp->Pars[0].Size, 4);
  EXPECT_EQ(grp->Pars[0].Id, 1);
  EXPECT_EQ(grp->Current, -1);
  EXPECT_EQ(d.RecordCount(g), 0);
  const int x = d.AddPar(g, "x", kGFInteger, 0);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(d.SetInteger(g, x, TGFDataS::kAppend, 100 + i));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(d.GetInteger(g, 0, i), i + 1);
    EXPECT_EQ(d.GetInteger(g, x, i), 100 + i);
  }
  EXPECT_EQ(d.Group(g)->NextAutoNo, 4);
  // Ids grow from the largest present.
  EXPECT_EQ(d.AddGroup("h"), 1);
  EXPECT_EQ(d.Group(1)->Id, 2);
  EXPECT_EQ(d.Group(g)->Pars[static_cast<size_t>(x)].Id, 2);
}

TEST_F(RecordsTest, AddParExtendsEveryRecordWithDefaults) {
  TGFDataS d;
  const int g = d.AddGroup("g");
  d.GetInteger(g, 0, TGFDataS::kAppend);  // a get with -1 appends too
  d.GetInteger(g, 0, TGFDataS::kAppend);
  ASSERT_EQ(d.RecordCount(g), 2);
  struct Case {
    uint8_t type;
    int32_t size;
    int32_t stored_size;
    size_t width;
  } cases[] = {
      {kGFInteger, 99, 4, 4}, {kGFByte, 0, 1, 1},     {kGFBool, 0, 1, 1},     {kGFWord, 0, 2, 2},
      {kGFSingle, 0, 4, 4},   {kGFDouble, 0, 8, 8},   {kGFDword, 0, 4, 4},    {kGFInt64, 0, 8, 8},
      {kGFBytes, 6, 6, 6},    {kGFDateTime, 0, 8, 8}, {kGFString, 40, 40, 1}, {kGFType25, 0, 4, 4},
      {kGFType26, 0, 4, 4},
  };
  size_t width = 4;
  for (const auto& c : cases) {
    const int f = d.AddPar(g, "f" + std::to_string(c.type), c.type, c.size);
    ASSERT_GE(f, 0);
    width += c.width;
    const auto& grp = *d.Group(g);
    EXPECT_EQ(grp.Pars[static_cast<size_t>(f)].Size, c.stored_size) << int{c.type};
    EXPECT_EQ(grp.ParCount, f + 1);
    for (const auto& rec : grp.Records) {
      ASSERT_EQ(rec.size(), width) << int{c.type};
      EXPECT_EQ(rec.back(), 0);
    }
  }
  const int s = d.FindPar(g, "f24");
  const int b = d.FindPar(g, "f11");
  Bytes bytes;
  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(d.GetString(g, s, r), "");
    ASSERT_TRUE(d.GetBytes(g, b, r, bytes));
    EXPECT_EQ(bytes, Bytes(6, 0));
    EXPECT_EQ(d.GetInteger(g, 0, r), r + 1);
  }
  EXPECT_EQ(d.AddPar(5, "x", kGFInteger, 0), -1);
  EXPECT_EQ(d.AddPar(g, "neg", kGFBytes, -1), -1);
  EXPECT_EQ(d.AddPar(g, "huge", kGFBytes, TGFDataS::kMaxFieldSize + 1), -1);
}

TEST_F(RecordsTest, LongerStringMovesTheFieldsBehindIt) {
  TGFDataS d;
  const int g = d.AddGroup("g");
  const int s = d.AddPar(g, "s", kGFString, 0);
  const int i = d.AddPar(g, "i", kGFInteger, 0);
  const int t = d.AddPar(g, "t", kGFString, 0);
  const int f = d.AddPar(g, "f", kGFSingle, 0);
  ASSERT_TRUE(d.SetString(g, s, TGFDataS::kAppend, "ab"));
  ASSERT_TRUE(d.SetInteger(g, i, TGFDataS::kCurrent, -7));
  ASSERT_TRUE(d.SetString(g, t, TGFDataS::kCurrent, "tail"));
  ASSERT_TRUE(d.SetSingle(g, f, TGFDataS::kCurrent, 1.5f));
  const size_t before = d.Group(g)->Records[0].size();
  ASSERT_TRUE(d.SetString(g, s, 0, "abcd"));
  EXPECT_EQ(d.Group(g)->Records[0].size(), before + 2);
  EXPECT_EQ(d.GetString(g, s, 0), "abcd");
  EXPECT_EQ(d.GetInteger(g, i, 0), -7);
  EXPECT_EQ(d.GetString(g, t, 0), "tail");
  EXPECT_EQ(d.GetSingle(g, f, 0), 1.5f);
  // Same length: overwritten in place; shorter and empty shrink again.
  ASSERT_TRUE(d.SetString(g, s, 0, "wxyz"));
  ASSERT_TRUE(d.SetString(g, s, 0, ""));
  EXPECT_EQ(d.Group(g)->Records[0].size(), before - 2);
  EXPECT_EQ(d.GetInteger(g, i, 0), -7);
  EXPECT_EQ(d.GetString(g, t, 0), "tail");
  // Cut to 255 characters.
  ASSERT_TRUE(d.SetString(g, t, 0, std::string(300, 'q')));
  EXPECT_EQ(d.GetString(g, t, 0), std::string(255, 'q'));
  EXPECT_EQ(d.GetSingle(g, f, 0), 1.5f);
}

TEST_F(RecordsTest, WrongTypeOrIndexFailsAndChangesNothing) {
  TGFDataS d = Sample();
  const Bytes before = d.ToBytes();
  const int g = d.FindGroup("ya");
  const int z = d.FindPar(g, "CZ");
  const int lon = d.FindPar(g, "CLon");
  const int name = d.FindPar(g, "name");
  Bytes out{9};
  struct Case {
    const char* what;
    bool failed;
  } cases[] = {
      {"SetSingle on integer", !d.SetSingle(g, z, TGFDataS::kAppend, 1.0f)},
      {"SetInteger on float", !d.SetInteger(g, lon, 0, 1)},
      {"SetString on integer", !d.SetString(g, z, 0, "x")},
      {"GetInteger on string", d.GetInteger(g, name, 0) == 0},
      {"GetSingle on integer", d.GetSingle(g, z, 0) == 0.0f},
      {"GetByte on integer", d.GetByte(g, z, 0) == 0},
      {"GetString on float", d.GetString(g, lon, 0).empty()},
      {"GetBytes on string", !d.GetBytes(g, name, 0, out) && out == Bytes{9}},
      {"bad group", !d.SetInteger(7, z, 0, 1) && !d.SetInteger(-1, z, 0, 1)},
      {"bad field", !d.SetInteger(g, 99, 0, 1) && !d.SetInteger(g, -1, 0, 1)},
      {"bad record", !d.SetInteger(g, z, 2, 1) && !d.SetInteger(g, z, -3, 1)},
      {"FindPar bad group", d.FindPar(9, "CZ") == -1},
      {"FindGroup is exact", d.FindGroup("YA") == -1},
      {"RecordCount bad group", d.RecordCount(9) == -1},
  };
  for (const auto& c : cases) EXPECT_TRUE(c.failed) << c.what;
  EXPECT_EQ(d.RecordCount(g), 2);
  EXPECT_EQ(d.ToBytes(), before);
}

TEST_F(RecordsTest, CurrentRecordFollowsLocating) {
  TGFDataS d = Sample();
  const int g = 0, z = d.FindPar(0, "CZ");
  EXPECT_EQ(d.Group(g)->Current, 1);  // the last record written
  EXPECT_EQ(d.GetInteger(g, z, 0), 12);
  EXPECT_EQ(d.Group(g)->Current, 0);
  EXPECT_EQ(d.GetInteger(g, 0, 1), 2);  // field 0 leaves Current alone
  EXPECT_EQ(d.Group(g)->Current, 0);
  EXPECT_EQ(d.GetInteger(g, z, TGFDataS::kCurrent), 12);
  EXPECT_FALSE(d.SetInteger(g, z, 5, 1));  // out of range: Current unchanged
  EXPECT_EQ(d.Group(g)->Current, 0);

  TGFDataS fresh;
  const int h = fresh.AddGroup("h");
  const int x = fresh.AddPar(h, "x", kGFInteger, 0);
  EXPECT_FALSE(fresh.SetInteger(h, x, TGFDataS::kCurrent, 1));  // none located yet
}

TEST_F(RecordsTest, LongFieldNameIsCutTo15) {
  TGFDataS d;
  const int g = d.AddGroup("g");
  const int f = d.AddPar(g, "abcdefghijklmnopqrst", kGFInteger, 0);
  EXPECT_EQ(d.Group(g)->Pars[static_cast<size_t>(f)].NameText(), "abcdefghijklmno");
  EXPECT_EQ(d.Group(g)->Pars[static_cast<size_t>(f)].Name[0], 15);
  EXPECT_EQ(d.FindPar(g, "abcdefghijklmno"), f);
  EXPECT_EQ(d.FindPar(g, "abcdefghijklmn"), -1);
}

// The byte form, written out by hand for a small container.
TEST_F(RecordsTest, ByteFormLayout) {
  TGFDataS d;
  d.Head1 = 7;
  d.Head2 = -1;
  d.Head3 = 0x01020304;
  const int g = d.AddGroup("ab");
  d.AddPar(g, "s", kGFString, 0);
  d.SetString(g, 1, TGFDataS::kAppend, "hi");
  const Bytes b = d.ToBytes();
  EXPECT_EQ(d.SaveTime, 46091.25);
  double t = 46091.25;
  uint8_t tb[8];
  std::memcpy(tb, &t, 8);
  Bytes want = {7, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  want.insert(want.end(), tb, tb + 8);
  // clang-format off
  const Bytes rest = {
      4, 3, 2, 1,                     // header value 3
      1, 0, 0, 0,                     // groups
      1, 0, 0, 0, 2, 0, 0, 0,         // group Id, NextAutoNo
      2, 'a', 'b',                    // group name
      2, 0, 0, 0,                     // fields
      1, 0, 0, 0,                     // dn_abs: Id, name (16), Type, Size, reserved
      6, 'd', 'n', '_', 'a', 'b', 's', 0, 0, 0, 0, 0, 0, 0, 0, 0,
      1, 4, 0, 0, 0, 0, 0, 0, 0,
      2, 0, 0, 0,                     // s
      1, 's', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      24, 0, 0, 0, 0, 0, 0, 0, 0,
      1, 0, 0, 0,                     // records
      7, 0, 0, 0, 1, 0, 0, 0, 2, 'h', 'i',
  };
  // clang-format on
  want.insert(want.end(), rest.begin(), rest.end());
  EXPECT_EQ(b, want);
}

TEST_F(RecordsTest, RoundTripKeepsEverything) {
  TGFDataS d = Sample();
  d.Head1 = 11;
  d.Head2 = 22;
  d.Head3 = 33;
  const Bytes b = d.ToBytes();
  TGFDataS e;
  ASSERT_TRUE(e.FromBytes(b));
  EXPECT_EQ(e.SaveTime, 46091.25);
  EXPECT_EQ(e.Head1, 11);
  EXPECT_EQ(e.Head2, 22);
  EXPECT_EQ(e.Head3, 33);
  EXPECT_EQ(e.GroupCount, 2);
  ASSERT_EQ(e.Groups(), 2);
  for (int g = 0; g < 2; ++g) {
    const auto& a = *d.Group(g);
    const auto& x = *e.Group(g);
    EXPECT_EQ(x.Id, a.Id);
    EXPECT_EQ(x.Name, a.Name);
    EXPECT_EQ(x.NextAutoNo, a.NextAutoNo);
    EXPECT_EQ(x.ParCount, a.ParCount);
    EXPECT_EQ(x.Records, a.Records);
    EXPECT_EQ(x.Current, 0);
    ASSERT_EQ(x.Pars.size(), a.Pars.size());
    for (size_t f = 0; f < a.Pars.size(); ++f) {
      EXPECT_EQ(x.Pars[f].Id, a.Pars[f].Id);
      EXPECT_EQ(x.Pars[f].Name, a.Pars[f].Name);
      EXPECT_EQ(x.Pars[f].Type, a.Pars[f].Type);
      EXPECT_EQ(x.Pars[f].Size, a.Pars[f].Size);
    }
  }
  EXPECT_EQ(e.ToBytes(), b);
  EXPECT_EQ(e.GetString(1, 1, 0), "Put_OSM");
  EXPECT_EQ(e.GetSingle(0, 2, 0), 37.5f);

  // The hexadecimal transport form carries the same bytes.
  Bytes back;
  HexToBytes(BytesToHex(b), back);
  TGFDataS h;
  ASSERT_TRUE(h.FromBytes(back));
  EXPECT_EQ(h.ToBytes(), b);
}

TEST_F(RecordsTest, ClearedAndRefilledContainerStillReadsBack) {
  TGFDataS d = Sample();
  d.Clear();
  EXPECT_EQ(d.Groups(), 0);
  EXPECT_EQ(d.GroupCount, 2);  // Clear leaves the count
  d.AddGroup("again");
  EXPECT_EQ(d.GroupCount, 3);
  TGFDataS e;
  ASSERT_TRUE(e.FromBytes(d.ToBytes()));
  ASSERT_EQ(e.Groups(), 1);
  EXPECT_EQ(e.Group(0)->Name, "again");
}

TEST_F(RecordsTest, HostileBytesFailAndLeaveTheContainerAlone) {
  const Bytes good = Sample().ToBytes();
  TGFDataS d = Sample();
  d.Head1 = 5;
  const Bytes mine = d.ToBytes();
  // Every truncation of a valid form fails.
  for (size_t n = 0; n < good.size(); ++n) {
    ASSERT_FALSE(d.FromBytes(good.data(), n)) << n;
  }
  auto patched = [&](size_t at, uint32_t v) {
    Bytes b = good;
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    return b;
  };
  // Offsets in Sample's form: the group count at 20; the first group ("ya")
  // at 24 with its field count at 24 + 4 + 4 + 3, its six fields of 29 bytes
  // each (a field's size at 4 + 16 + 1 into it), then its record count.
  const size_t fields_at = 35, size_at = fields_at + 4 + 4 + 16 + 1;
  const size_t records_at = fields_at + 4 + 6 * 29;
  const size_t rec_len_at = records_at + 4;
  struct Case {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"huge group count", patched(20, 0x7FFFFFFF)},
      {"negative group count", patched(20, 0x80000000u)},
      {"huge field count", patched(fields_at, 0x7FFFFFFF)},
      {"negative field count", patched(fields_at, 0xFFFFFFFFu)},
      {"negative field size", patched(size_at, 0xFFFFFFFFu)},
      {"huge field size", patched(size_at, 0x7FFFFFFF)},
      {"huge record count", patched(records_at, 0x7FFFFFFF)},
      {"record past the end", patched(rec_len_at, 0x7FFFFFF0)},
      {"negative record length", patched(rec_len_at, 0xFFFFFFFFu)},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(d.FromBytes(c.bytes)) << c.what;
    EXPECT_EQ(d.Head1, 5) << c.what;
  }
  EXPECT_EQ(d.Groups(), 2);
  clock_.SetNow(46091.25);
  EXPECT_EQ(d.ToBytes(), mine);
  // Trailing bytes after the last group are ignored.
  Bytes longer = good;
  longer.push_back(0xAB);
  EXPECT_TRUE(d.FromBytes(longer));
}

// Record bytes that disagree with the fields (possible only in bytes from
// outside) read as failures, never beyond the record.
TEST_F(RecordsTest, ShortRecordsReadAsFailures) {
  TGFDataS d;
  const int g = d.AddGroup("g");
  d.AddPar(g, "s", kGFString, 0);
  d.AddPar(g, "i", kGFInteger, 0);
  d.AddPar(g, "b", kGFBytes, 8);
  d.GetInteger(g, 0, TGFDataS::kAppend);
  Bytes b = d.ToBytes();
  // Shorten the record: its length field and bytes are the last in the form.
  const size_t rec = b.size() - 4 - (4 + 1 + 4 + 8);
  b[rec] = 6;  // dn_abs, a string claiming 1 byte of text, 1 more byte
  b.resize(rec + 4 + 6);
  b[rec + 4 + 4] = 1;
  TGFDataS e;
  ASSERT_TRUE(e.FromBytes(b));
  Bytes out;
  EXPECT_EQ(e.GetString(g, 1, 0), std::string(1, '\0'));
  EXPECT_EQ(e.GetInteger(g, 2, 0), 0);
  EXPECT_FALSE(e.SetInteger(g, 2, 0, 1));
  EXPECT_FALSE(e.GetBytes(g, 3, 0, out));
  b[rec + 4 + 4] = 200;  // a string running past the record
  ASSERT_TRUE(e.FromBytes(b));
  EXPECT_EQ(e.GetString(g, 1, 0), "");
  EXPECT_FALSE(e.SetString(g, 1, 0, "x"));
  EXPECT_EQ(e.GetInteger(g, 2, 0), 0);
  EXPECT_EQ(e.Group(g)->Current, -1);
}

TEST_F(RecordsTest, SaveAndLoad) {
  found_test::TempFolder dir;
  TGFDataS d = Sample();
  d.Dir = dir.Path() + "/";
  d.FileName = "default.scr";
  EXPECT_EQ(d.Path(), dir.File("default.scr"));
  ASSERT_TRUE(d.Save());
  const Bytes saved = d.ToBytes();
  TGFDataS e(dir.Path(), "default.scr");
  ASSERT_TRUE(e.Load());
  EXPECT_EQ(e.ToBytes(), saved);
  // Locating record -2 after a load gives record 0.
  EXPECT_EQ(e.GetInteger(0, e.FindPar(0, "CZ"), TGFDataS::kCurrent), 12);

  TGFDataS missing(dir.Path(), "none.scr");
  missing.AddGroup("kept");
  EXPECT_FALSE(missing.Load());
  EXPECT_EQ(missing.FindGroup("kept"), 0);

  found_test::WriteFile(dir.File("bad.scr"), "not a record set");
  TGFDataS bad(dir.Path(), "bad.scr");
  bad.AddGroup("kept");
  EXPECT_FALSE(bad.Load());
  EXPECT_EQ(bad.FindGroup("kept"), 0);
}

// A file that cannot be replaced keeps its old content.
TEST_F(RecordsTest, FailedSaveKeepsTheOldFile) {
  found_test::TempFolder dir;
  TGFDataS d = Sample();
  d.Dir = dir.Path();
  d.FileName = "default.scr";
  ASSERT_TRUE(d.Save());
  const std::string before = found_test::ReadFile(dir.File("default.scr"));
  fs::create_directory(dir.File("default.scr.tmp"));
  d.AddGroup("more");
  EXPECT_FALSE(d.Save());
  EXPECT_EQ(found_test::ReadFile(dir.File("default.scr")), before);
  TGFDataS nowhere(dir.File("no/such/folder"), "x.scr");
  EXPECT_FALSE(nowhere.Save());
}

}  // namespace
