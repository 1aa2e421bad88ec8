// The diagnostic snapshot: the option, the JSON it writes and the rewriting.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <vector>

#include "app/state_dump.h"
#include "link/client_udp.h"
#include "platform/files.h"
#include "teh_fixture.h"

namespace teh {
namespace {

QJsonObject Parse(const std::string& text) {
  QJsonParseError err;
  QJsonDocument d = QJsonDocument::fromJson(QByteArray::fromStdString(text), &err);
  EXPECT_EQ(err.error, QJsonParseError::NoError) << text;
  return d.object();
}

TEST(StateDumpOption, IsTakenOutOfTheCommandLine) {
  struct Case {
    std::vector<std::string> args;
    std::string path;
    bool bad;
    std::vector<std::string> rest;
  } cases[] = {
      {{"svcdesk"}, "", false, {"svcdesk"}},
      {{"svcdesk", "--state-dump", "s.json"}, "s.json", false, {"svcdesk"}},
      {{"svcdesk", "-platform", "xcb", "--state-dump=/tmp/x y.json", "--help"},
       "/tmp/x y.json",
       false,
       {"svcdesk", "-platform", "xcb", "--help"}},
      {{"svcdesk", "--state-dump"}, "", true, {"svcdesk"}},
      {{"svcdesk", "--state-dump="}, "", true, {"svcdesk"}},
      {{"svcdesk", "--state-dumpx"}, "", false, {"svcdesk", "--state-dumpx"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.size());
    std::vector<std::string> store = c.args;
    std::vector<char*> argv;
    for (std::string& s : store) argv.push_back(s.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(store.size());
    bool bad = false;
    EXPECT_EQ(TakeStateDumpOption(argc, argv.data(), bad), c.path);
    EXPECT_EQ(bad, c.bad);
    std::vector<std::string> rest(argv.data(), argv.data() + argc);
    EXPECT_EQ(rest, c.rest);
    EXPECT_EQ(argv[static_cast<size_t>(argc)], nullptr);
  }
}

TEST_F(TehTest, StateDumpShowsLinkTablesAndTechnicians) {
  Make();
  LoadObjects({{5, "Банк", "Центральный", "ул. Ленина, 1", 37.62, 55.75}});
  PutHistory({{kHistWorkStarted, 9, 5, 5, "Банк", "Иванов", "Монтаж"}});
  page_->Timer1Timer();
  // A link that is never told to connect sends nothing.
  client_udp link("id", 9, "127.0.0.1, 10.0.0.1", wd_);

  const QJsonObject o = Parse(StateDumpJson(CollectState(&link, &tables_, page_.get())));
  const QJsonObject l = o["link"].toObject();
  EXPECT_EQ(l["port"].toInt(), 9);
  EXPECT_EQ(l["hosts"].toArray().size(), 2);
  EXPECT_FALSE(l["connect"].toBool(true));
  EXPECT_FALSE(l["connected"].toBool(true));
  EXPECT_FALSE(l["tables_loaded"].toBool(true));
  EXPECT_EQ(o["tables"].toObject()["object"].toInt(), 1);
  const QJsonArray t = o["technicians"].toArray();
  ASSERT_EQ(t.size(), 1);
  const QJsonObject e = t[0].toObject();
  EXPECT_EQ(e["name"].toString(), QString::fromUtf8("Иванов"));
  EXPECT_EQ(e["status"].toString(), QString::fromUtf8("На объекте"));
  EXPECT_EQ(e["work_kind"].toString(), QString::fromUtf8("Монтаж"));
  EXPECT_EQ(e["object"].toInt(), 5);
  EXPECT_EQ(e["address"].toString(), QString::fromUtf8("Центральный - ул. Ленина, 1"));
  EXPECT_EQ(e["start_minute"].toInt(), 545);
  EXPECT_EQ(e["start"].toString(), QStringLiteral("09:05"));
  link.Terminate();

  // Before the window has a link or a page there is still a snapshot.
  const QJsonObject bare = Parse(StateDumpJson(CollectState(nullptr, nullptr, nullptr)));
  EXPECT_TRUE(bare["link"].isNull());
  EXPECT_FALSE(bare.contains("technicians"));
}

TEST_F(TehTest, StateDumpRewritesItsFileWhileTheLoopRuns) {
  const std::string path = wd_ + "state.json";
  int calls = 0;
  TStateDump dump(
      path,
      [&] {
        ++calls;
        TStateSnapshot s;
        s.Tables.push_back({"object", calls});
        return s;
      },
      nullptr, 20);
  std::string text;
  ASSERT_TRUE(plat::ReadWholeFile(path, text));  // written at once
  EXPECT_EQ(Parse(text)["tables"].toObject()["object"].toInt(), 1);
  QElapsedTimer t;
  t.start();
  while (calls < 3 && t.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 50);
  ASSERT_GE(calls, 3);
  ASSERT_TRUE(plat::ReadWholeFile(path, text));
  EXPECT_EQ(Parse(text)["tables"].toObject()["object"].toInt(), calls);

  // A folder that is not there: the write fails and says so.
  TStateDump nowhere(wd_ + "no/such/dir/state.json", [] { return TStateSnapshot{}; });
  EXPECT_FALSE(nowhere.WriteNow());
}

}  // namespace
}  // namespace teh
