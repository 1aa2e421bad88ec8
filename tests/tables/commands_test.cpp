// Change commands byte for byte, update forms for every type, deletion notices.
#include <gtest/gtest.h>

#include "fixtures.h"

namespace {

using tw::TableTest;

const std::string kAddHead =
    "{\"$c$\":\"database\",\"user\":\"\",\"command\":\"netadddatadatabase\",\"nametable\":"
    "\"mixed\",";

class CommandTest : public TableTest {
 protected:
  TBaseClient& Mixed() {
    TBaseClient& t = LoadMixed();
    t.OnNetDataSend9 = [this](TBaseClient*, const std::string& s) { sent.push_back(s); };
    return t;
  }
  std::vector<std::string> sent;
};

TEST_F(CommandTest, AddCarriesEachChangedColumnByItsType) {
  struct Case {
    const char* column;
    bool asText;
    int32_t i;
    std::string s;
    std::string member;  // empty: the column is not in "fields"
  };
  const double d = plat::EncodeDate(2024, 3, 5);
  const std::vector<Case> cases = {
      {"n_abs", false, 5, "", "\"n_abs\":5"},
      {"n_abs", true, 0, "12", "\"n_abs\":12"},
      {"n_abs", true, 0, "x", "\"n_abs\":0"},
      {"name", false, 42, "", "\"name\":\"42\""},
      {"name", true, 0, "a\"b/c\\d", "\"name\":\"a\\\"b\\/c\\\\d\""},
      {"name", true, 0, std::string(300, 'q'), "\"name\":\"" + std::string(255, 'q') + "\""},
      {"p_d", false, 300, "", "\"p_d\":255"},
      {"p_d", true, 0, "17", "\"p_d\":17"},
      {"flag", false, 1, "", "\"flag\":T"},
      {"flag", false, 2, "", "\"flag\":F"},
      {"flag", true, 0, "T", "\"flag\":T"},
      {"num", true, 0, "70000", "\"num\":65535"},
      {"flt", true, 0, "1,25", "\"flt\":1,25"},
      {"flt", false, 3, "", "\"flt\":3"},
      {"dbl", true, 0, "2.5", "\"dbl\":2,5"},
      {"dbl", true, 0, "junk", ""},
      {"dbl", true, 0, "-9999,9999", ""},
      {"cnt", false, -7, "", "\"cnt\":0"},
      {"cnt", true, 0, "4000000000", "\"cnt\":0"},  // not an int32: 0
      {"r_dt", false, 86400, "", "\"r_dt\":86400"},
      {"dt", false, static_cast<int32_t>(d), "", "\"dt\":\"05.03.2024\""},
      {"dt", true, 0, "05.03.2024 10:20:30", "\"dt\":\"05.03.2024 10:20:30\""},
      {"dt", true, 0, "junk", "\"dt\":\"\""},
      {"raw", false, 1, "", "\"raw\":[]"},
      {"big", true, 0, "5", "\"big\":0"},
      {"kind", true, 0, W1251("пожар"), "\"kind\":\"" + W1251("Пожар") + "\""},
      {"kind", true, 0, "a\"b", "\"kind\":\"a\\\"b\""},  // lookup texts are escaped too
      {"cls", true, 0, "b", "\"cls\":\"B\""},
      {"hex", false, 255, "", "\"hex\":255"},
      {"hex", true, 0, "1", "\"hex\":0"},
      {"note", true, 0, "x/y", "\"note\":\"x\\/y\""},
      {"sec", false, -1, "", "\"sec\":0"},
      {"sec", true, 0, "5", "\"sec\":0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.column) + " " +
                 (c.asText ? c.s.substr(0, 20) : std::to_string(c.i)));
    list.clear();
    sent.clear();
    TBaseClient& t = Mixed();
    t.Add();
    if (c.asText) {
      t.FieldSetAsString(c.column, c.s);
    } else {
      t.FieldSetAsInteger(c.column, c.i);
    }
    EXPECT_EQ(t.Post(), -1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], kAddHead + "\"fields\":{" + c.member + "}}");
  }
}

TEST_F(CommandTest, ByteStringThenAnotherColumnAreSeparated) {
  TBaseClient& t = Mixed();
  t.Add();
  t.FieldSetAsInteger("raw", 0);
  t.FieldSetAsString("big", "1");
  t.FieldSetAsInteger("n_abs", 9);
  t.Post();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], kAddHead + "\"fields\":{\"n_abs\":9,\"raw\":[],\"big\":0}}");
}

TEST_F(CommandTest, EditAndDeleteTexts) {
  TBaseClient& t = Mixed();
  t.SetRecordIndex(2);
  t.Edit();
  t.Post();
  t.Edit();
  t.FieldSetAsString("name", "z");
  t.Post();
  t.DeleteRecordCurrent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0],
            "{\"$c$\":\"database\",\"user\":\"\",\"command\":\"neteditdatadatabase\","
            "\"nametable\":\"mixed\",\"n_abs\":102,\"fields\":{}}");
  EXPECT_EQ(sent[1],
            "{\"$c$\":\"database\",\"user\":\"\",\"command\":\"neteditdatadatabase\","
            "\"nametable\":\"mixed\",\"n_abs\":102,\"fields\":{\"name\":\"z\"}}");
  EXPECT_EQ(sent[2],
            "{\"$c$\":\"database\",\"user\":\"\",\"command\":\"netdeletedatadatabase\","
            "\"nametable\":\"mixed\",\"n_abs\":\"102\",}");
  EXPECT_EQ(t.Count(), 3);  // hidden at the next rebuild
  t.RefreshData();
  EXPECT_EQ(t.Count(), 2);
  EXPECT_EQ(t.FieldAsInteger("n_abs", 2), 103);
}

TEST_F(CommandTest, WithoutUserMemberOrHandler) {
  TBaseClient& t = Mixed();
  t.SendUser = false;
  t.Add();
  t.FieldSetAsInteger("n_abs", 1);
  t.Post();
  t.SetRecordIndex(1);
  t.DeleteRecordCurrent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0],
            "{\"$c$\":\"database\",\"command\":\"netadddatadatabase\",\"nametable\":\"mixed\","
            "\"fields\":{\"n_abs\":1}}");
  EXPECT_EQ(sent[1],
            "{\"$c$\":\"database\",\"command\":\"netdeletedatadatabase\",\"nametable\":\"mixed\","
            "\"n_abs\":\"101\",}");
  t.OnNetDataSend9 = nullptr;
  t.Add();
  EXPECT_EQ(t.Post(), -1);  // the text vanishes
  t.RefreshYes = false;
  EXPECT_EQ(t.Post(), -1);  // outside the edit state only sets RefreshYes
  EXPECT_TRUE(t.RefreshYes);
}

std::string Form(int32_t index, int32_t count, const std::string& entries) {
  return tw::Fixed("mixed", 9) + tw::I32(index) + tw::I32(count) + entries;
}
std::string Entry(const std::string& name, const std::string& value) {
  return tw::Fixed(name, 16) + value;
}
void Put(TBaseClient& t, int32_t index, const std::string& form) {
  t.PutDataFieldPos(index, reinterpret_cast<const uint8_t*>(form.data()), form.size());
  t.RefreshYes = true;
  t.RefreshData();
}
std::string At(TBaseClient& t, const char* column, int32_t p) {
  auto lock = t.Lock();
  FieldGFB* f = t.GetFieldNumberabs(1, p) ? t.GetField(column) : nullptr;
  return f ? f->GetAsString() : "<none>";
}

TEST_F(CommandTest, UpdateFormWritesEveryType) {
  using namespace tw;
  struct Case {
    const char* column;
    std::string value;
    std::string text;  // record 2 afterwards
  };
  const std::vector<Case> cases = {
      {"n_abs", I32(555), "555"},
      {"p_d", U8(4), "4"},
      {"name", Fixed("new", 21), "new"},
      {"flag", U8(1), "T"},
      {"num", U16(9), "9"},
      {"flt", F32(0.5f), "0,5"},
      {"dbl", F64(7.25), "7,25"},
      {"cnt", I32(9), "9"},
      {"r_dt", I32(0), "01.01.2000"},
      {"dt", F64(plat::EncodeDate(2020, 1, 1)), "01.01.2020"},
      {"raw", U8(4) + U8(5) + U8(6), "4 5 6 "},
      {"big", I64(-9), "-9"},
      {"kind", U16(2) + Fixed(W1251("Пожар2"), 21), W1251("Пожар2")},  // entry renamed
      {"kind", U16(77) + Fixed(W1251("Новый"), 21), W1251("Новый")},   // entry appended
      {"kind", U16(0) + Fixed("x", 21), ""},
      {"cls", U8(9) + Fixed("BB", 11), "BB"},
      {"hex", I32(16), "0010"},
      {"note", I32(13) + I32(9) + Short("new"), "new"},
      {"note", I32(9) + I32(-1), ""},
      {"sec", I32(60), "01.01.2000 00:01:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    list.clear();
    TBaseClient& t = Mixed();
    // A trailing entry shows that the value's length was read right.
    const bool num = std::string(c.column) == "num";
    const std::string trail = num ? Entry("hex", I32(0xABCD)) : Entry("num", U16(4321));
    Put(t, 1, Form(1, 3, Entry(c.column, c.value) + trail));
    EXPECT_EQ(At(t, c.column, 2), c.text);
    EXPECT_EQ(At(t, num ? "hex" : "num", 2), num ? "ABCD" : "4321");
    EXPECT_EQ(At(t, "n_abs", 1), "101");
  }
}

TEST_F(CommandTest, LookupUpdatesKeepTheDictionary) {
  using namespace tw;
  TBaseClient& t = Mixed();
  Put(t, 2, Form(2, 3, Entry("kind", U16(77) + Fixed("new", 21))));
  Put(t, 2, Form(2, 3, Entry("kind", U16(0) + Fixed("zero", 21))));
  auto lock = t.Lock();
  const auto& d = t.GetField("kind")->Data;
  EXPECT_EQ(d.DataCardinal, (std::vector<uint32_t>{1000, 2, 77}));
  EXPECT_EQ(d.DataStringN.back(), "new");
  EXPECT_EQ(At(t, "kind", 1), W1251("Охрана"));
}

TEST_F(CommandTest, UpdateAtTheEndGrowsEveryColumn) {
  using namespace tw;
  TBaseClient& t = Mixed();
  Put(t, 3,
      Form(3, 4,
           Entry("n_abs", I32(104)) + Entry("p_d", U8(0)) + Entry("name", Fixed("fourth", 21)) +
               Entry("note", I32(15) + I32(9) + Short("abcde"))));
  EXPECT_EQ(t.CountRecord, 4);
  EXPECT_EQ(t.Count(), 4);
  EXPECT_EQ(At(t, "n_abs", 4), "104");
  EXPECT_EQ(At(t, "name", 4), "fourth");
  EXPECT_EQ(At(t, "note", 4), "abcde");
  EXPECT_EQ(At(t, "num", 4), "0");
  EXPECT_EQ(At(t, "kind", 4), "");
  EXPECT_EQ(At(t, "note", 1), "hello");
  auto lock = t.Lock();
  EXPECT_EQ(t.GetField("raw")->Data.DataByte.size(), 12u);
  EXPECT_EQ(t.GetField("dt")->Data.DataDateTime.size(), 4u);
}

TEST_F(CommandTest, FormsThatCannotBeReadStopWhereTheyFail) {
  using namespace tw;
  struct Case {
    const char* what;
    int32_t index;
    std::string form;
    std::string n_abs2, num2;
  };
  const std::vector<Case> cases = {
      {"unknown column ends the form", 1,
       Form(1, 3, Entry("n_abs", I32(7)) + Entry("ghost", I32(1)) + Entry("num", U16(5))), "7",
       "65535"},
      {"truncated value", 1, Form(1, 3, Entry("n_abs", I32(7)) + Entry("num", U8(5))), "7",
       "65535"},
      {"huge count grows nothing", 5, Form(5, INT32_MAX, Entry("n_abs", I32(7))), "102", "65535"},
      {"negative index", -1, Form(-1, 3, Entry("n_abs", I32(7))), "102", "65535"},
      {"header only", 1, Form(1, 3, ""), "102", "65535"},
      {"shorter than a header", 1, std::string(10, '\0'), "102", "65535"},
      {"pool of 2^31 bytes is refused", 1,
       Form(1, 3, Entry("note", I32(INT32_MAX) + I32(0) + Short("x")) + Entry("num", U16(5))),
       "102", "5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    list.clear();
    TBaseClient& t = Mixed();
    Put(t, c.index, c.form);
    EXPECT_EQ(At(t, "n_abs", 2), c.n_abs2);
    EXPECT_EQ(At(t, "num", 2), c.num2);
    auto lock = t.Lock();
    EXPECT_EQ(t.GetField("n_abs")->Data.DataInteger.size(), 3u);
    EXPECT_LE(t.GetField("note")->Data.DataByte.size(), 9u);
  }
}

TEST_F(CommandTest, UpdateOfAColumnNotLoadedOnlyAdvances) {
  using namespace tw;
  auto cols = MixedColumns();
  cols[4].block = false;  // "num"
  TBaseClient& t = LoadTable("mixed", cols, 3);
  Put(t, 1, Form(1, 3, Entry("num", U16(5)) + Entry("n_abs", I32(8))));
  EXPECT_EQ(At(t, "n_abs", 2), "8");
  auto lock = t.Lock();
  EXPECT_TRUE(t.GetField("num")->Data.DataWord.empty());
}

TEST_F(CommandTest, DeletionNotice) {
  const std::string n = tw::Fixed("mixed", 9) + tw::I32(102);
  std::string name;
  int32_t n_abs = 0;
  ASSERT_TRUE(
      ReadDeletionNotice(reinterpret_cast<const uint8_t*>(n.data()), n.size(), name, n_abs));
  EXPECT_EQ(name, "mixed");
  EXPECT_EQ(n_abs, 102);
  EXPECT_FALSE(ReadDeletionNotice(reinterpret_cast<const uint8_t*>(n.data()), 12, name, n_abs));
  TBaseClient& t = Mixed();
  EXPECT_TRUE(t.DeletedRecordL(n_abs));
  t.RefreshData();
  EXPECT_EQ(t.Count(), 2);
}

}  // namespace
