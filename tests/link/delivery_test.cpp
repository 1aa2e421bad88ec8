// Delivery of tables, history segments and archives: the real link against the
// scripted peer, and the raw-message and stream rules driven directly.
#include "link/delivery.h"

#include <map>
#include <mutex>

#include "app/history/history_writer.h"
#include "platform/text1251.h"
#include "tests/link/link_fixture.h"
#include "tests/tables/writer.h"

namespace fs = std::filesystem;
using link_test::Eventually;
using link_test::ReadFile;

namespace {

// Three records: n_abs 11, 12, 13 and a name column.
std::string SmallTable(const std::string& name, const std::vector<std::string>& names,
                       bool blocks = true) {
  std::string nabs, pd, text;
  for (size_t i = 0; i < names.size(); ++i) {
    nabs += tw::I32(static_cast<int32_t>(11 + i));
    pd += tw::U8(0);
    text += tw::Fixed(names[i], 21);
  }
  std::vector<tw::Col> cols = {{1, "n_abs", 1, 4, 0, 0, nabs, blocks},
                               {2, "p_d", 3, 1, 0, 0, pd, blocks},
                               {3, "name", 2, 21, 0, 0, text, blocks}};
  return tw::TableFile(name, static_cast<int32_t>(names.size()), cols);
}

// An update form writing `text` into the name column of record `index`.
std::string NameForm(const std::string& table, int32_t index, int32_t count,
                     const std::string& text) {
  return tw::Fixed(table, 9) + tw::I32(index) + tw::I32(count) + tw::Fixed("name", 16) +
         tw::Fixed(text, 21);
}

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

std::string NameAt(TBaseClient& t, int32_t v) {
  auto g = t.Lock();
  return t.FieldAsString("name", v);
}

// A raw record stream record: the 18-byte header and its data.
std::string ZagNet(int32_t command, const std::string& data) {
  std::string r(1, '\x01');
  PutLE32(r, command);
  PutLE32(r, static_cast<int32_t>(data.size()));
  PutLE64(r, 1);
  r += '\x02';
  return r + data;
}

struct Seg {
  int32_t sm;
  int32_t size;  // -1 absent, 0 empty
  std::string bytes;
};
// A history segment record (command 0220000F): header, then Memo, Zap, Zag.
std::string Segment(const std::string& name, const Seg& memo, const Seg& zap, const Seg& zag) {
  std::string h = tw::Fixed(name, 31);
  std::string data;
  for (const Seg* s : {&memo, &zap, &zag}) {
    PutLE32(h, s->sm);
    PutLE32(h, s->size);
    data += s->bytes;
  }
  std::string r(1, '\0');
  PutLE32(r, TDelivery::kHistoryCommand);
  PutLE32(r, 0);
  PutLE64(r, 0);
  r += '\0';
  return r + h + data;
}
Seg Whole(const std::string& b) {
  return {0, static_cast<int32_t>(b.size()), b};
}
Seg At(int32_t sm, const std::string& b) {
  return {sm, static_cast<int32_t>(b.size()), b};
}
const Seg kAbsent{0, -1, ""};

std::string Raw(int32_t kind, const std::string& rest) {
  std::string r;
  PutLE32(r, kind);
  return r + rest;
}

class RecordingIO : public TDeliveryIO {
 public:
  void Log(const std::string& l) override { logs.push_back(l); }
  void Notice(const std::string& t) override { notices.push_back(t); }
  void HistoryDelivered() override { ++delivered; }
  std::vector<std::string> logs, notices;
  int delivered = 0;
};

THistoryWriter SampleDay(int events) {
  THistoryWriter w(3, 2021, 10, 18);
  const int32_t tech = w.AddString("Petrov");
  const int32_t kind = w.AddString(W1251("Монтаж"));
  for (int i = 0; i < events; ++i)
    w.AddEvent(kHistWorkStarted, 9, static_cast<uint8_t>(i), 0, 100 + i, -1, tech, kind);
  return w;
}

std::string LogText(const std::string& dir) {
  std::string all;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::path(dir) / "logs", ec))
    all += ReadFile(e.path().string());
  return all;
}

class DeliveryLinkTest : public link_test::LinkTest {
 protected:
  TBaseClient& Table(const std::string& name) {
    return *tables_[CreateBaseMain(tables_, name, "", false, dir_.Path())];
  }
  // Answers each table request with a table file, as the server does.
  void ServeTables(std::map<std::string, std::pair<std::string, std::string>> files) {
    files_ = std::move(files);
    peer_.OnText([this](TestPeer& p, const std::string& t) {
      if (GetValueFromJSON(t, "command") != "gettableraw") return;
      const std::string name = GetValueFromJSON(t, "name");
      {
        std::lock_guard<std::mutex> g(m_);
        requested_.push_back(name);
        // Strictly one at a time: every earlier table has loaded, none later.
        for (auto& tb : tables_) {
          if (tb->NameTableS == name) break;
          if (!tb->FlagLoadData) order_ok_ = false;
        }
        if (link_->DatabaseLoad) order_ok_ = false;
      }
      const auto& f = files_.at(name);
      p.ServeFile(name + ".dat", Bytes(f.second));
      p.Send("{\"$c$\":\"tablerawfromfile\",\"name\":\"" + name + "\",\"filename\":\"srv\\\\" +
             name + ".dat\"," + f.first + ",\"size\":\"" + std::to_string(f.second.size()) + "\"}");
    });
  }
  client_udp& Start(std::vector<THistory*> histories = {}) {
    delivery_ = std::make_unique<TDelivery>(&tables_, std::move(histories));
    client_udp& l = MakeLink();
    l.SetHooks(delivery_.get());
    l.SetOnRefreshDatabase([this](client_udp&, const std::string& name) {
      std::lock_guard<std::mutex> g(m_);
      ++refreshes_[name];
    });
    return Connected();
  }
  std::map<std::string, int> Refreshes() {
    std::lock_guard<std::mutex> g(m_);
    return refreshes_;
  }
  std::string ServerDir() const {
    return dir_.File("temp/127.0.0.1-" + std::to_string(peer_.Port()));
  }

  TBaseList tables_;
  std::unique_ptr<TDelivery> delivery_;
  std::map<std::string, std::pair<std::string, std::string>> files_;
  std::mutex m_;
  std::vector<std::string> requested_;
  bool order_ok_ = true;
  std::map<std::string, int> refreshes_;
};

TEST_F(DeliveryLinkTest, FourTablesLoadOneAfterAnotherBeforeKeepAlives) {
  for (const char* n : {"object", "mobphoto", "photo", "zamech"}) Table(n);
  ServeTables({
      {"object", {"\"zip\":\"0\",\"x\":\"0\"", SmallTable("object", {"a", "b", "c"})}},
      {"mobphoto", {"\"zip\":\"1\",\"x\":\"0\"", tw::Zlib(SmallTable("mobphoto", {"p", "q"}))}},
      {"photo", {"\"zip\":\"0\",\"x\":\"1\"", SmallTable("photo", {"x", "y", "z", "w"}, false)}},
      {"zamech", {"\"zip\":\"0\",\"x\":\"0\"", SmallTable("zamech", {"r"})}},
  });
  client_udp& l = Start();
  ASSERT_TRUE(l.DatabaseLoad);
  {
    std::lock_guard<std::mutex> g(m_);
    EXPECT_EQ(requested_, (std::vector<std::string>{"object", "mobphoto", "photo", "zamech"}));
    EXPECT_TRUE(order_ok_);
  }
  std::vector<std::string> loads;
  for (const auto& n : Notices())
    if (GetValueFromJSON(n, "$c$") == "tableload") loads.push_back(n);
  const std::string mob = tw::Zlib(SmallTable("mobphoto", {"p", "q"}));
  ASSERT_EQ(loads.size(), 4u);
  EXPECT_EQ(loads[0], "{\"$c$\":\"tableload\",\"name\":\"object\",\"size\":\"" +
                          std::to_string(SmallTable("object", {"a", "b", "c"}).size()) +
                          "\",\"count\":3}");
  EXPECT_EQ(loads[1], "{\"$c$\":\"tableload\",\"name\":\"mobphoto\",\"size\":\"" +
                          std::to_string(mob.size()) + "\",\"count\":2}");
  EXPECT_EQ(GetValueFromJSON(loads[2], "name"), "photo");
  EXPECT_EQ(GetValueFromJSON(loads[3], "name"), "zamech");
  EXPECT_TRUE(tables_[1]->Zip);
  EXPECT_FALSE(tables_[1]->tamirx);
  EXPECT_TRUE(tables_[2]->tamirx);
  EXPECT_EQ(NameAt(*tables_[1], 2), "q");
  EXPECT_EQ(tables_[2]->CountRecord, 4);  // structure only: counts, no data
  EXPECT_EQ(l.SizeLoad,
            static_cast<int64_t>(SmallTable("object", {"a", "b", "c"}).size() + mob.size() +
                                 SmallTable("photo", {"x", "y", "z", "w"}, false).size() +
                                 SmallTable("zamech", {"r"}).size()));
  for (const char* n : {"object", "mobphoto", "photo", "zamech"})
    EXPECT_FALSE(fs::exists(dir_.File(std::string("temp/") + n + ".dat"))) << n;
  // Keep-alives only once every table is in.
  ASSERT_TRUE(peer_.WaitText("testex"));
  const auto texts = peer_.Texts();
  size_t last_getfile = 0, first_testex = texts.size();
  for (size_t i = 0; i < texts.size(); ++i) {
    const std::string c = GetValueFromJSON(texts[i], "$c$");
    if (c == "getfile") last_getfile = i;
    if (c == "testex" && first_testex == texts.size()) first_testex = i;
  }
  EXPECT_LT(last_getfile, first_testex);
  EXPECT_EQ(texts[last_getfile], "{\"$c$\":\"getfile\",\"nameinserv\":\"client9\\\\" + l.tId +
                                     "\\\\zamech.dat\",\"name\":\"zamech.dat\",\"delete\":1}");
  // Each loaded table raised its refresh once.
  EXPECT_TRUE(Eventually([&] { return Refreshes().size() == 4; }));
  for (const auto& [name, n] : Refreshes()) EXPECT_EQ(n, 1) << name;
  EXPECT_TRUE(Eventually([&] {
    return LogText(dir_.Path())
               .find("table object file {\"$c$\":\"getfile\",\"nameinserv\":\"client9\\\\" + l.tId +
                     "\\\\object.dat\",\"name\":\"object.dat\"}") != std::string::npos;
  }));
}

TEST_F(DeliveryLinkTest, PushedUpdatesAndDeletionsRefreshOncePerTable) {
  Table("object");
  Table("photo");
  ServeTables({{"object", {"\"zip\":\"0\",\"x\":\"0\"", SmallTable("object", {"a", "b", "c"})}},
               {"photo", {"\"zip\":\"0\",\"x\":\"0\"", SmallTable("photo", {"x", "y"})}}});
  Start();
  ASSERT_TRUE(Eventually([&] { return Refreshes().size() == 2; }));
  auto wait_counts = [&](int object, int photo) {
    return Eventually([&] {
      auto r = Refreshes();
      return r["object"] == object && r["photo"] == photo;
    });
  };
  // Raw kind 2: a record update.
  peer_.SendBytes(Bytes(Raw(2, NameForm("object", 1, 3, "B2"))), kTypeRaw2);
  ASSERT_TRUE(wait_counts(2, 1));
  EXPECT_EQ(NameAt(*tables_[0], 2), "B2");
  // The same by message.
  const std::string form = NameForm("photo", 0, 2, "X2");
  peer_.Send("{\"$c$\":\"refreshdatadatabase\",\"nametable\":\"photo\",\"fields\":\"" +
             BytesToHex(reinterpret_cast<const uint8_t*>(form.data()), form.size()) +
             "\",\"pos\":\"0\"}");
  ASSERT_TRUE(wait_counts(2, 2));
  EXPECT_EQ(NameAt(*tables_[1], 1), "X2");
  // Raw kind 3: a deletion, by n_abs.
  peer_.SendBytes(Bytes(Raw(3, tw::Fixed("object", 9) + tw::I32(13))), kTypeRaw3);
  ASSERT_TRUE(wait_counts(3, 2));
  EXPECT_EQ(tables_[0]->Count(), 2);
  // A batch touching both tables, and a malformed message: one refresh each.
  std::string batch(1, '\x02');
  const std::string b1 = Raw(2, NameForm("object", 0, 3, "A3"));
  const std::string b2 = Raw(3, tw::Fixed("photo", 9) + tw::I32(11));
  batch +=
      tw::I32(static_cast<int32_t>(b1.size())) + b1 + tw::I32(static_cast<int32_t>(b2.size())) + b2;
  peer_.Send(
      "{\"$c$\":\"refreshdatadatabase\",\"nametable\":\"photo\",\"fields\":\"zz\",\"pos\":\"0\"}");
  peer_.SendBytes(Bytes(Raw(4, batch)), kTypeRaw2);
  ASSERT_TRUE(wait_counts(4, 3));
  EXPECT_EQ(NameAt(*tables_[0], 1), "A3");
  EXPECT_EQ(tables_[1]->Count(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Refreshes()["photo"], 3) << "the malformed update changed nothing";
  EXPECT_TRUE(link_->Connected);
}

TEST_F(DeliveryLinkTest, HistoryArrivesInMemoryAndByFile) {
  // An old flat file waits in the server folder.
  const THistoryWriter day = SampleDay(3);
  fs::create_directories(ServerDir());
  link_test::WriteFile(ServerDir() + "/hx8_20211018.fz8", day.Zag().substr(0, 5));
  THistory h("hx8_20211018", dir_.Path());
  Start({&h});
  const std::string stem = ServerDir() + "/2021/10/hx8_20211018";
  ASSERT_TRUE(Eventually([&] { return h.REfresh.load(); }));
  EXPECT_EQ(h.ServerPort, "127.0.0.1-" + std::to_string(peer_.Port()) + "/");
  EXPECT_FALSE(fs::exists(ServerDir() + "/hx8_20211018.fz8"));
  EXPECT_EQ(ReadFile(stem + ".fz8"), day.Zag().substr(0, 5));
  EXPECT_EQ(h.Snapshot().Ot, 5);
  // The keep-alive reports what was loaded.
  std::string ka;
  ASSERT_TRUE(peer_.WaitText("testex", 10000, &ka));
  EXPECT_NE(ka.find("\"history\":[{\"name\":\"hx8_20211018\",\"smmemo\":\"0\",\"smzap\":\"0\","
                    "\"smzag\":\"5\"}]"),
            std::string::npos)
      << ka;
  EXPECT_TRUE(h.NotSoob);

  // In memory: a record of another command, a segment for an unknown object,
  // then ours; the same Zag offset again brings no second "refsoob".
  h.REfresh = false;
  const std::string stream =
      ZagNet(7, "ignored") + Segment("hx8_19990101", Whole("mmmm"), Whole("zzzz"), Whole("gggg")) +
      Segment("hx8_20211018", Whole(day.Memo()), Whole(day.Zap()), At(5, day.Zag().substr(5)));
  peer_.SendBytes(Bytes(Raw(1, stream)), kTypeRaw2);
  ASSERT_TRUE(WaitNotice("refsoob"));
  EXPECT_TRUE(HasNotice("{\"$c$\":\"refsoob\",\"name\":\"hx8_20211018\",\"sm\":\"5\",\"si\":\"" +
                        std::to_string(day.Zag().size() - 5) + "\"}"));
  EXPECT_TRUE(h.REfresh);
  EXPECT_FALSE(h.NotSoob);
  THistoryData d = h.Snapshot();
  EXPECT_EQ(d.Zag, day.Zag());
  EXPECT_EQ(d.Zap, day.Zap());
  EXPECT_EQ(d.Memo, day.Memo());
  EXPECT_EQ(d.Year, 2021);
  EXPECT_EQ(d.Day, 18);
  EXPECT_EQ(ReadFile(stem + ".fz8"), day.Zag());
  EXPECT_EQ(ReadFile(stem + ".fp8"), day.Zap());
  EXPECT_EQ(ReadFile(stem + ".fm8"), day.Memo());
  // The delivery lifted the 20-second pause: the next keep-alive reports again.
  peer_.ClearRecords();
  EXPECT_TRUE(peer_.WaitFor(
      [&] {
        for (const auto& t : peer_.Texts())
          if (t.find("\"smzag\":\"" + std::to_string(day.Zag().size()) + "\"") != std::string::npos)
            return true;
        return false;
      },
      8000));

  // The same Zag offset again, with an emptied Zap: no second notice. (A
  // segment record needs at least one data byte to be read at all.)
  peer_.SendBytes(Bytes(Raw(1, Segment("hx8_20211018", At(0, day.Memo().substr(0, 1)), {0, 0, ""},
                                       {5, -1, ""}))),
                  kTypeRaw2);
  ASSERT_TRUE(Eventually([&] { return h.Snapshot().Zap.empty(); }));
  EXPECT_EQ(ReadFile(stem + ".fp8"), "");

  // By file: "testex" names it, the link fetches and applies it.
  const THistoryWriter more = SampleDay(5);
  const std::string file = "XXXX" + Segment("hx8_20211018", kAbsent, Whole(more.Zap()),
                                            At(static_cast<int32_t>(day.Zag().size()),
                                               more.Zag().substr(day.Zag().size())));
  peer_.ServeFile("h1.dat", Bytes(file));
  peer_.Send("{\"$c$\":\"testex\",\"messages\":{\"filename\":\"h1.dat\"}}");
  ASSERT_TRUE(WaitNotice("getfileok"));
  EXPECT_TRUE(HasNotice("{\"$c$\":\"tosoob\",\"data\":\"messages\"}"));
  EXPECT_TRUE(HasNotice("{\"$c$\":\"getfileok\",\"name\":\"h1.dat\"}"));
  d = h.Snapshot();
  EXPECT_EQ(d.Zag, more.Zag());
  EXPECT_EQ(d.Zap, more.Zap());
  EXPECT_EQ(ReadFile(stem + ".fz8"), more.Zag());
  EXPECT_FALSE(fs::exists(dir_.File("temp/h1.dat")));
  int refsoob = 0;
  for (const auto& n : Notices()) refsoob += GetValueFromJSON(n, "$c$") == "refsoob";
  EXPECT_EQ(refsoob, 1);
  EXPECT_TRUE(Eventually([&] {
    return LogText(dir_.Path()).find(W1251("Разбор сообщений ") + "hx8_20211018 -1") !=
           std::string::npos;
  }));
}

TEST_F(DeliveryLinkTest, ArchiveWritesItsThreeFilesAndHistoryFilesAreRequested) {
  Start();
  std::string header = tw::Fixed("hx8_202109", 31);
  for (int32_t v : {0, 3, 0, 4, 0, 5}) PutLE32(header, v);
  peer_.ServeFile("hx8_202109.arc", Bytes(header + "mmm" + "pppp" + "zzzzz"));
  peer_.Send(
      "{\"$c$\":\"getarchiveok\",\"name\":\"hx8_202109\",\"filename\":\"arch\\\\hx8_202109.arc\"}");
  ASSERT_TRUE(WaitNotice("archiveload"));
  EXPECT_TRUE(HasNotice("{\"$c$\":\"archiveload\",\"name\":\"hx8_202109\"}"));
  const std::string stem = ServerDir() + "/2021/09/hx8_202109";
  EXPECT_EQ(ReadFile(stem + ".fm8"), "mmm");
  EXPECT_EQ(ReadFile(stem + ".fp8"), "pppp");
  EXPECT_EQ(ReadFile(stem + ".fz8"), "zzzzz");
  EXPECT_FALSE(fs::exists(dir_.File("temp/hx8_202109.arc")));
  EXPECT_TRUE(delivery_->ArchiveFileName.empty());
  bool asked = false;
  for (const auto& t : peer_.Texts())
    asked |= t ==
             "{\"$c$\":\"getfile\",\"nameinserv\":\"arch\\\\hx8_202109.arc\",\"name\":"
             "\"hx8_202109.arc\",\"delete\":1}";
  EXPECT_TRUE(asked);
  // "historyfromfile" asks for the named file as it was given, with the tid.
  peer_.Send("{\"$c$\":\"historyfromfile\",\"filename\":\"h\\\\x.dat\"}");
  const std::string want =
      "{\"$c$\":\"getfile\",\"nameinserv\":\"h\\x.dat\",\"tid\":\"" + link_->tId + "\"}";
  EXPECT_TRUE(peer_.WaitFor([&] {
    for (const auto& t : peer_.Texts())
      if (t == want) return true;
    return false;
  }));
}

// --- the rules without a link ---

class DeliveryRules : public ::testing::Test {
 protected:
  DeliveryRules() : h("hx8_20211018", dir.Path()), d(&tables, {&h}) {
    h.ServerPort = "srv/";
    d.MaxHistoryArray = 1 << 16;
  }
  void Apply(const std::string& raw) {
    d.ApplyRaw(io, reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
  }
  link_test::TempDir dir;
  TBaseList tables;
  THistory h;
  TDelivery d;
  RecordingIO io;
};

TEST_F(DeliveryRules, BatchesAndUnknownKinds) {
  Apply(Raw(4, std::string(1, '\0')));
  EXPECT_EQ(io.logs, std::vector<std::string>{"raw10 0"});
  // Lengths past the message end the batch; nothing is read beyond it.
  Apply(Raw(4, std::string("\x03", 1) + tw::I32(1000) + "abc"));
  Apply(Raw(4, std::string("\x01", 1) + tw::I32(-4)));
  Apply(Raw(9, "whatever"));
  Apply("\x01\x00");
  EXPECT_EQ(io.logs, (std::vector<std::string>{"raw10 0", "raw10 3", "raw10 1"}));
  EXPECT_TRUE(io.notices.empty());
  EXPECT_EQ(io.delivered, 0);
}

TEST_F(DeliveryRules, SegmentsBeyondTheCapAreSkippedAndTheNextRecordRead) {
  const THistoryWriter day = SampleDay(2);
  const std::string stream =
      Segment("hx8_20211018", kAbsent, At(int32_t{1} << 30, "xxxx"), kAbsent) +  // 1 GiB offset
      Segment("hx8_20211018", At(-8, "mm"), kAbsent, kAbsent) +                  // negative offset
      ZagNet(5, "") +
      Segment("hx8_20211018", Whole(day.Memo()), Whole(day.Zap()), Whole(day.Zag()));
  Apply(Raw(1, stream));
  const THistoryData s = h.Snapshot();
  EXPECT_EQ(s.Zap, day.Zap());
  EXPECT_EQ(s.Memo, day.Memo());
  EXPECT_EQ(s.Zag, day.Zag());
  EXPECT_EQ(s.TypeFile, 3);
  int errors = 0;
  for (const auto& l : io.logs) errors += l.rfind(W1251("Ошибка "), 0) == 0;
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(io.delivered, 1);
  EXPECT_TRUE(io.notices.empty());  // every SmZag was 0, as LastSmS: no "refsoob"
}

TEST_F(DeliveryRules, MalformedStreamsStop) {
  // A negative data size would walk backwards.
  std::string bad(1, '\0');
  PutLE32(bad, 77);
  PutLE32(bad, -18);
  PutLE64(bad, 0);
  bad += '\0';
  Apply(Raw(1, bad + std::string(60, '\0')));
  // A short tail is not interpreted.
  Apply(Raw(1, Segment("hx8_20211018", Whole("m"), kAbsent, kAbsent).substr(0, 55)));
  EXPECT_TRUE(h.Snapshot().Memo.empty());
  EXPECT_EQ(io.delivered, 2);
}

TEST_F(DeliveryRules, RefreshDataNeedsValidHexAndPosition) {
  const int i = CreateBaseMain(tables, "object", "", false, dir.Path());
  TBaseClient& t = *tables[i];
  link_test::WriteFile(dir.File("temp/o.dat"), SmallTable("object", {"a", "b"}));
  t.LoadFromFile(dir.File("temp/o.dat"));
  const std::string form = NameForm("object", 0, 2, "Z");
  const std::string hex = BytesToHex(reinterpret_cast<const uint8_t*>(form.data()), form.size());
  const struct {
    std::string fields, pos;
    bool applied;
  } cases[] = {
      {hex, "0", true},   {hex.substr(0, 5) + "g" + hex.substr(6), "0", false},
      {hex, "x1", false}, {hex, "", false},
      {hex, "-1", false}, {hex, "99999999999", false},
      {"", "0", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(d.ApplyRefreshData("{\"$c$\":\"refreshdatadatabase\",\"nametable\":\"object\","
                                 "\"fields\":\"" +
                                 c.fields + "\",\"pos\":\"" + c.pos + "\"}"),
              c.applied)
        << c.fields << " / " << c.pos;
  }
  EXPECT_FALSE(
      d.ApplyRefreshData("{\"$c$\":\"refreshdatadatabase\",\"nametable\":\"nosuch\","
                         "\"fields\":\"" +
                         hex + "\",\"pos\":\"0\"}"));
  EXPECT_EQ(NameAt(t, 1), "Z");
}

TEST_F(DeliveryRules, ArchivesWithUnsafeNamesWriteNothing) {
  for (const std::string name : {"../x_2021", "x_20\\21", "hx8_"}) {
    std::string arc = tw::Fixed(name, 31);
    for (int32_t v : {0, 1, 0, 1, 0, 1}) PutLE32(arc, v);
    link_test::WriteFile(dir.File("temp/a.arc"), arc + "abc");
    EXPECT_FALSE(d.ApplyArchive(io, dir.File("temp/a.arc"), dir.Path(), "srv/")) << name;
  }
  EXPECT_TRUE(io.notices.empty());
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir.Path()))
    files += e.is_regular_file() && e.path().filename() != "a.arc";
  EXPECT_EQ(files, 0u);
}

TEST_F(DeliveryRules, ArchiveLeavesAbsentSegmentsAlone) {
  const std::string stem = dir.File("temp/srv/2021/09/hx8_202109");
  fs::create_directories(fs::path(stem).parent_path());
  link_test::WriteFile(stem + ".fm8", "old memo");
  link_test::WriteFile(stem + ".fp8", "old zap");
  std::string arc = tw::Fixed("hx8_202109", 31);
  for (int32_t v : {0, -1, 0, 0, 0, 2}) PutLE32(arc, v);
  link_test::WriteFile(dir.File("temp/a.arc"), arc + "zz");
  d.ArchiveFileName = "a.arc";
  ASSERT_TRUE(d.ApplyArchive(io, dir.File("temp/a.arc"), dir.Path(), "srv/"));
  EXPECT_EQ(ReadFile(stem + ".fm8"), "old memo");
  EXPECT_EQ(ReadFile(stem + ".fp8"), "");
  EXPECT_EQ(ReadFile(stem + ".fz8"), "zz");
  EXPECT_EQ(io.notices,
            std::vector<std::string>{"{\"$c$\":\"archiveload\",\"name\":\"hx8_202109\"}"});
  EXPECT_TRUE(d.ArchiveFileName.empty());
}

}  // namespace
