// Today's history reaches a workstation by the three paths: an archive for one
// that has nothing, raw records for small growth, a history file for a large gap.
#include "server/history.h"

#include <gtest/gtest.h>

#include <cstring>

#include "server_fixture.h"

namespace {

int32_t I32(const Bytes& b, size_t at) {
  int32_t v = 0;
  if (at + 4 <= b.size()) std::memcpy(&v, b.data() + at, 4);
  return v;
}

srv::HistoryEvent Ev(int i) {
  srv::HistoryEvent e;
  e.type = i % 2 ? srv::kEvWorkEnd5 : srv::kEvWorkStart;
  e.hour = 9 + i / 60 % 10;
  e.minute = i % 60;
  e.object = 100 + i % 20;
  e.object_name = plat::Utf8ToCp1251("Объект ") + std::to_string(i % 20);
  e.technician = plat::Utf8ToCp1251("Иванов ") + std::to_string(i % 5);
  e.work_kind = plat::Utf8ToCp1251("Заявка");
  return e;
}

std::string Report(int64_t memo, int64_t zap, int64_t zag) {
  return "{\"$c$\":\"testex\",\"history\":[{\"name\":\"hx8_20261211\",\"smmemo\":\"" +
         std::to_string(memo) + "\",\"smzap\":\"" + std::to_string(zap) + "\",\"smzag\":\"" +
         std::to_string(zag) + "\"}]}";
}

struct Sizes {
  Bytes memo, zap, zag;
};

// Applies one segment record of a raw stream starting at p (after the kind).
void ApplyStream(const Bytes& s, size_t p, Sizes& h) {
  while (p + 56 <= s.size()) {
    ASSERT_EQ(I32(s, p + 1), srv::kHistorySegmentCommand);
    p += 18;
    const size_t head = p;
    p += 55;
    Bytes* arrays[3] = {&h.memo, &h.zap, &h.zag};
    for (int k = 0; k < 3; ++k) {
      int32_t sm = I32(s, head + 31 + 8 * k), size = I32(s, head + 35 + 8 * k);
      if (size == 0) arrays[k]->clear();
      if (size <= 0) continue;
      ASSERT_LE(p + static_cast<size_t>(size), s.size());
      if (arrays[k]->size() < static_cast<size_t>(sm + size))
        arrays[k]->resize(static_cast<size_t>(sm + size));
      std::memcpy(arrays[k]->data() + sm, s.data() + p, static_cast<size_t>(size));
      p += static_cast<size_t>(size);
    }
  }
}

TEST_F(ServerTest, HistoryArrivesAsArchiveRawRecordsAndFile) {
  StartServer();
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(server_->AppendHistory(Ev(i)));
  auto c = Client();
  ASSERT_TRUE(c->Login("op", kPassword));
  auto server_sizes = [&]() {
    return server_->With([](srv::ServerCore& s) {
      return Sizes{s.history().Memo(), s.history().Zap(), s.history().Zag()};
    });
  };

  // Nothing held: the archive, with a 55-byte segment header in front.
  c->SendOne(Report(0, 0, 0));
  ClientMessage m;
  ASSERT_TRUE(c->WaitText("getarchiveok", m));
  EXPECT_EQ(GetValueFromJSON(m.Text(), "name"), "hx8_20261211");
  std::string fname = GetValueFromJSON(m.Text(), "filename");
  ASSERT_TRUE(c->Send("{\"$c$\":\"getfile\",\"nameinserv\":\"" + JSONString(fname) +
                      "\",\"name\":\"" + fname + "\",\"delete\":1}"));
  Bytes arc;
  ASSERT_TRUE(c->WaitFile(fname, arc));
  Sizes want = server_sizes();
  ASSERT_GE(arc.size(), 55u);
  EXPECT_EQ(arc[0], 12);  // "hx8_20261211"
  EXPECT_EQ(I32(arc, 35), static_cast<int32_t>(want.memo.size()));
  EXPECT_EQ(I32(arc, 43), static_cast<int32_t>(want.zap.size()));
  EXPECT_EQ(I32(arc, 51), static_cast<int32_t>(want.zag.size()));
  Bytes whole = want.memo;
  whole.insert(whole.end(), want.zap.begin(), want.zap.end());
  whole.insert(whole.end(), want.zag.begin(), want.zag.end());
  EXPECT_EQ(Bytes(arc.begin() + 55, arc.end()), whole);
  EXPECT_EQ(want.zag[0], 3);  // a day history
  EXPECT_EQ(want.zag.size(), 5u + 10 * 7);
  // An empty raw stream follows so the workstation may report again at once.
  ASSERT_TRUE(c->WaitFor(
      [](const ClientMessage& x) { return x.type == kTypeRaw2 && x.data.size() == 4; }, m));

  // Small growth: raw records of kind 1 carrying only what is new.
  Sizes have = want;
  ASSERT_TRUE(server_->AppendHistory(Ev(10)));
  c->SendOne(Report(static_cast<int64_t>(have.memo.size()), static_cast<int64_t>(have.zap.size()),
                    static_cast<int64_t>(have.zag.size())));
  ASSERT_TRUE(c->WaitFor(
      [](const ClientMessage& x) { return x.type == kTypeRaw2 && x.data.size() > 4; }, m));
  EXPECT_EQ(I32(m.data, 0), 1);
  ApplyStream(m.data, 4, have);
  want = server_sizes();
  EXPECT_EQ(have.zap, want.zap);
  EXPECT_EQ(have.zag, want.zag);
  EXPECT_EQ(have.memo, want.memo);

  // A large gap: the keep-alive answer names a history file.
  for (int i = 11; i < 400; ++i) server_->AppendHistory(Ev(i));
  c->SendOne(Report(static_cast<int64_t>(have.memo.size()), static_cast<int64_t>(have.zap.size()),
                    static_cast<int64_t>(have.zag.size())));
  ASSERT_TRUE(c->WaitFor(
      [](const ClientMessage& x) { return !GetValueFromJSON(x.Text(), "messages").empty(); }, m));
  std::string his = GetValueFromJSON(GetValueFromJSON(m.Text(), "messages"), "filename");
  ASSERT_FALSE(his.empty());
  ASSERT_TRUE(c->Send("{\"$c$\":\"getfile\",\"nameinserv\":\"client9\\\\" + c->tid + "\\\\" + his +
                      "\",\"tid\":\"" + c->tid + "\",\"name\":\"" + his + "\",\"delete\":1}"));
  Bytes file;
  ASSERT_TRUE(c->WaitFile(his, file));
  ApplyStream(file, 4, have);
  want = server_sizes();
  EXPECT_EQ(have.zap, want.zap);
  EXPECT_EQ(have.zag, want.zag);
  EXPECT_EQ(have.memo, want.memo);
}

TEST(ServerHistoryTest, RecordsCarryTheirPayloadLayout) {
  std::string dir = FreshDir("h");
  srv::ServerHistory h;
  ASSERT_TRUE(h.Open(dir, "hx8_20211018", 2021, 10, 18));
  srv::HistoryEvent e = Ev(0);
  e.hour = 10;
  e.minute = 5;
  e.second = 7;
  ASSERT_TRUE(h.Append(e));
  e.type = srv::kEvWorkEnd7;
  ASSERT_TRUE(h.Append(e));
  e.type = srv::kEvInstrEnd6;
  e.object_name.clear();
  ASSERT_TRUE(h.Append(e));
  const Bytes& zag = h.Zag();
  ASSERT_EQ(zag.size(), 5u + 3 * 7);
  EXPECT_EQ(zag[0], 3);
  EXPECT_EQ(zag[1] | zag[2] << 8, 2021);
  EXPECT_EQ(zag[3], 10);
  EXPECT_EQ(zag[4], 18);
  auto memo_text = [&](int32_t ref) {
    const Bytes& m = h.Memo();
    return std::string(m.begin() + ref + 1, m.begin() + ref + 1 + m[static_cast<size_t>(ref)]);
  };
  const Bytes& zap = h.Zap();
  struct Want {
    uint16_t type;
    int tech_at, kind_at;
  } want[3] = {{srv::kEvWorkStart, 13, 17}, {srv::kEvWorkEnd7, 9, 13}, {srv::kEvInstrEnd6, 13, -1}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const size_t at = 5 + 7 * static_cast<size_t>(i);
    EXPECT_EQ(zag[at], 0xFF);
    EXPECT_EQ(zag[at + 1] | zag[at + 2] << 8, want[i].type);
    const size_t rec = static_cast<size_t>(I32(zag, at + 3));
    EXPECT_EQ(zap[rec], 10);
    EXPECT_EQ(zap[rec + 2], 7);
    const size_t pay = rec + 3;
    EXPECT_EQ(I32(zap, pay + 1), 100);
    if (i < 2) {
      EXPECT_EQ(memo_text(I32(zap, pay + 5)), plat::Utf8ToCp1251("Объект 0"));
    } else {
      EXPECT_EQ(I32(zap, pay + 5), -1);  // no object
    }
    EXPECT_EQ(memo_text(I32(zap, pay + want[i].tech_at)), plat::Utf8ToCp1251("Иванов 0"));
    if (want[i].kind_at > 0) {
      EXPECT_EQ(memo_text(I32(zap, pay + want[i].kind_at)), plat::Utf8ToCp1251("Заявка"));
    }
  }
  // Reopened, it carries on from the files.
  srv::ServerHistory again;
  ASSERT_TRUE(again.Open(dir, "hx8_20211018", 2021, 10, 18));
  EXPECT_EQ(again.Zag(), h.Zag());
  EXPECT_EQ(again.Memo(), h.Memo());
  std::filesystem::remove_all(dir);
}

}  // namespace
