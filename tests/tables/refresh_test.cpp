// The visible list: filters, sort orders, master/slave, deletions.
#include <gtest/gtest.h>

#include "fixtures.h"

namespace {

std::vector<tw::Col> RecColumns() {
  using namespace tw;
  std::string names, nums, grps, offs, pool;
  const char* name[] = {"XABY", "abc", "Zab", "ab", "Qwerty", "xab"};
  const int32_t num[] = {7, 12, 100, -3, 12, 50};
  const uint8_t grp[] = {1, 2, 1, 2, 3, 1};
  const char* note[] = {"abc", "abcdef", "b", "zz", "Qwerty7", "x1"};
  std::string ids, flags;
  for (int i = 0; i < 6; ++i) {
    ids += I32(i + 1);
    flags += U8(0);
    names += Fixed(name[i], 16);
    nums += I32(num[i]);
    grps += U8(grp[i]);
    offs += I32(static_cast<int32_t>(pool.size()));
    pool += Short(note[i]);
  }
  return {{1, "n_abs", 1, 4, 0, 0, ids},
          {2, "p_d", 3, 1, 0, 0, flags},
          {3, "name", 2, 16, 0, 0, names},
          {4, "num", 1, 4, 0, 0, nums},
          {5, "grp", 3, 1, 0, 0, grps},
          {6, "note", 24, 4, 0, static_cast<int32_t>(pool.size()), offs + pool}};
}

class RefreshTest : public tw::TableTest {
 protected:
  TBaseClient& Rec() { return LoadTable("rec", RecColumns(), 6); }
  // n_abs of the visible records in display order.
  static std::vector<int> Visible(TBaseClient& t) {
    auto lock = t.Lock();
    std::vector<int> out;
    for (int v = 1; v <= t.Count(); ++v) out.push_back(t.GetField("n_abs", v)->GetAsInteger());
    return out;
  }
};

TEST_F(RefreshTest, ColumnFilters) {
  struct Case {
    const char* column;
    const char* text;
    uint8_t oper;
    std::vector<int> want;
  };
  const Case cases[] = {
      {"name", "*ab*", 0, {1, 2, 3, 4, 6}},  // contains, any case
      {"name", "ab*", 0, {2, 4}},            // starts with
      {"name", "*ab", 0, {3, 4, 6}},         // ends with
      {"name", "ab", 0, {4}},                // equals
      {"name", "ab", 1, {1, 2, 3, 5, 6}},
      {"name", "*ABY*", 0, {1}},
      {"name", "b", 2, {2, 4}},  // lower-cased byte order
      {"name", "xab", 5, {1, 3, 6}},
      {"num", "12", 0, {2, 5}},
      {"num", "12", 3, {3, 6}},
      {"num", "12", 4, {1, 2, 4, 5}},
      {"num", "12", 2, {1, 4}},
      {"num", "junk", 0, {}},  // 0 matches nothing here
      {"grp", "1", 0, {1, 3, 6}},
      {"grp", "2", 5, {2, 4, 5}},
  };
  TBaseClient& t = Rec();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.column) + " " + c.text + " " + std::to_string(c.oper));
    t.ClearAllFilter();
    t.SetFilter(c.column, c.text, c.oper);
    t.SetFiltered(true);
    EXPECT_EQ(Visible(t), c.want);
  }
  t.ClearAllFilter();
  EXPECT_FALSE(t.Filtered());
  EXPECT_EQ(t.Count(), 6);
}

TEST_F(RefreshTest, FilterOperCombinesColumns) {
  TBaseClient& t = Rec();
  t.SetFilter("name", "*ab*", 0);
  t.SetFilter("grp", "2", 0);
  t.SetFiltered(true);
  EXPECT_EQ(Visible(t), (std::vector<int>{2, 4}));
  t.SetFilterOper(1);  // only stores
  EXPECT_EQ(t.Count(), 2);
  t.RefreshData();
  EXPECT_EQ(Visible(t), (std::vector<int>{1, 2, 3, 4, 6}));
  t.SetFilterOper(7);
  t.RefreshData();
  EXPECT_EQ(t.Count(), 6);
  t.SetFiltered(false);
  t.SetFilterOper(0);
  EXPECT_EQ(t.Count(), 6);
}

TEST_F(RefreshTest, SortOrders) {
  struct Case {
    const char* column;
    std::vector<int> want;
  };
  const Case cases[] = {
      {"num", {4, 1, 2, 5, 6, 3}},   // padded to 3: 0-3 007 012 012 050 100
      {"name", {4, 2, 5, 6, 1, 3}},  // case-insensitive, not padded
      {"note", {3, 6, 4, 1, 2, 5}},  // padded to 8: 0000000b 000000x1 000000zz 00000abc ...
      {"grp", {1, 3, 6, 2, 4, 5}},
  };
  TBaseClient& t = Rec();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    t.SetSort(c.column);
    t.SetSorted(true);
    EXPECT_EQ(Visible(t), c.want);
  }
  t.SetSort("missing");
  t.SetSorted(true);
  EXPECT_FALSE(t.Sorted());
  EXPECT_EQ(Visible(t), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST_F(RefreshTest, MasterSlaveFollowsTheMastersCurrentRecord) {
  using namespace tw;
  TBaseClient& m = LoadTable("m",
                             {{1, "n_abs", 1, 4, 0, 0, I32(1) + I32(2) + I32(3)},
                              {2, "p_d", 3, 1, 0, 0, U8(0) + U8(0) + U8(0)},
                              {3, "id", 1, 4, 0, 0, I32(12) + I32(50) + I32(7)}},
                             3);
  TBaseClient& t = Rec();
  std::vector<std::string> sent;
  t.OnNetDataSend9 = [&](TBaseClient*, const std::string& s) { sent.push_back(s); };
  m.SetRecordIndex(1);
  t.SetMasterTable(&m);
  t.SetMasterField("id");
  t.SetSlaveField("num");
  EXPECT_EQ(Visible(t), (std::vector<int>{2, 5}));
  m.SetRecordIndex(2);
  t.RefreshData();
  EXPECT_EQ(Visible(t), (std::vector<int>{6}));

  // A new slave record takes the master's value.
  t.Add();
  t.FieldSetAsString("name", "new");
  t.Post();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0],
            "{\"$c$\":\"database\",\"user\":\"\",\"command\":\"netadddatadatabase\","
            "\"nametable\":\"rec\",\"fields\":{\"name\":\"new\",\"num\":50}}");

  t.SetMasterField("none");  // no such master column: no master test
  EXPECT_EQ(t.Count(), 6);
}

TEST_F(RefreshTest, DeletionsDisappearAtTheNextRebuild) {
  TBaseClient& t = Rec();
  int events = 0;
  t.OnRefresh = [&](TBaseClient*) { ++events; };
  EXPECT_TRUE(t.DeletedRecordL(3));
  EXPECT_EQ(t.Count(), 6);  // not rebuilt yet
  EXPECT_FALSE(t.DeletedRecordL(99));
  t.RefreshData();
  EXPECT_EQ(events, 1);
  EXPECT_EQ(Visible(t), (std::vector<int>{1, 2, 4, 5, 6}));

  for (int n : {1, 2, 4, 5, 6}) t.DeletedRecordL(n);
  t.RefreshData();
  EXPECT_EQ(t.Count(), 0);
  EXPECT_EQ(t.RecNoTemp, -1);
  auto lock = t.Lock();
  EXPECT_EQ(t.GetField("name")->GetAsString(), W1251("Запись не найдена"));
}

TEST_F(RefreshTest, SecondColumnWithoutDataChangesNothing) {
  auto cols = RecColumns();
  for (auto& c : cols) c.block = c.name != "p_d";
  TBaseClient& t = LoadTable("rec", cols, 6);
  int events = 0;
  t.OnRefresh = [&](TBaseClient*) { ++events; };
  t.RefreshData();
  EXPECT_EQ(events, 0);
  EXPECT_EQ(t.Count(), 0);
}

}  // namespace
