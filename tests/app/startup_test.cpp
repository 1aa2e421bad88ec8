// Start-up of the main window: setup.ini defaults and keys, the screen-settings
// file created or repaired, the object index, the refresh event from another
// thread and the first message steps of the timer.
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <thread>

#include "app/form1.h"
#include "app/history/history.h"
#include "app/photo_page.h"
#include "app/program.h"
#include "app/working_dir.h"
#include "fixtures.h"
#include "link/client_udp.h"
#include "map/drawmap.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/inifile.h"

using apptest::Col;
using apptest::FillTable;

namespace {

class StartupTest : public apptest::WorkDirTest {
 protected:
  std::string Ini(const std::string& section, const std::string& key) {
    return plat::IniFile(Dir() + "setup.ini").ReadString(section, key, "<none>");
  }
};

std::string Layout64() {
  std::string s;
  for (int i = 0; i < 64; ++i) s += "01";
  return s;
}

TEST_F(StartupTest, NoSetupIniAndNoScreenFileGiveTheDefaults) {
  TForm1 f(TForm1::Kind::Desk);
  f.FormCreateBeforeLogin();
  EXPECT_EQ(f.windowTitle(), QString::fromUtf8("КПО Тамир 8 - Техническая служба"));
  EXPECT_EQ(f.dir, Dir());
  EXPECT_EQ(f.host, "127.0.0.1");
  EXPECT_EQ(f.port, 9010);
  ASSERT_TRUE(f.clientU);
  EXPECT_EQ(f.clientU->port(), 9010);
  EXPECT_EQ(f.clientU->host(), (std::vector<std::string>{"127.0.0.1"}));
  EXPECT_EQ(f.clientU->Id, "7C3F0A52-6D1B-4E97-A0C4-93B5E27D6F10");

  // Tables in their order; one history of today.
  ASSERT_EQ(f.Base.size(), 4u);
  EXPECT_EQ(f.Base[f.NumberObject]->NameTableS, "object");
  EXPECT_EQ(f.Base[f.NumberMobPhoto]->NameTableS, "mobphoto");
  EXPECT_EQ(f.Base[f.NumberPhoto]->NameTableS, "photo");
  EXPECT_EQ(f.Base[f.NumberZamech]->NameTableS, "zamech");
  EXPECT_EQ(f.NumberObject, 0);
  EXPECT_EQ(f.NumberZamech, 3);
  ASSERT_EQ(f.Histories.size(), 1u);
  EXPECT_EQ(f.Histories[0]->Name, "hx8_" + plat::DateToYmd(plat::Now()));

  // setup.ini gets only DefaultScreen; the tile cache is made.
  EXPECT_EQ(Ini("Main", "DefaultScreen"), "default.scr");
  EXPECT_EQ(Ini("ServerHost", "PortU"), "<none>");
  ASSERT_NE(f.DrawMap1, nullptr);
  EXPECT_EQ(f.DrawMap1->TileCacheDir, Dir() + "cache");
  EXPECT_TRUE(plat::DirectoryExists(Dir() + "cache"));
  EXPECT_FALSE(f.DrawMap1->Working);
  EXPECT_TRUE(f.DrawMap1->ShowFrames && f.DrawMap1->ShowTechnicians);
  EXPECT_TRUE(f.DrawMap1->DefaultPhoto.empty());
  EXPECT_EQ(f.DrawMap1->MapFrames[1].Kind, kMapKindTiles);

  // The screen file with its three groups.
  TGFDataS s(Dir(), "default.scr");
  ASSERT_TRUE(s.Load());
  int main = s.FindGroup("Main"), ya = s.FindGroup("ya"), path = s.FindGroup("Path");
  ASSERT_TRUE(main >= 0 && ya >= 0 && path >= 0);
  EXPECT_EQ(s.RecordCount(main), 1);
  EXPECT_EQ(s.GetString(main, s.FindPar(main, "TekScreen"), 0), Layout64());
  EXPECT_GE(s.FindPar(main, "ShowPark"), 0);
  EXPECT_EQ(s.RecordCount(ya), 64);
  EXPECT_EQ(s.GetInteger(ya, s.FindPar(ya, "CZ"), 63), 15);
  EXPECT_GE(s.FindPar(ya, "NumberO"), 0);
  EXPECT_EQ(s.RecordCount(path), 4);
  for (int i = 1; i <= 64; ++i) {
    EXPECT_EQ(f.DrawMap1->Screens[i].Zoom, 15) << i;
    EXPECT_EQ(f.DrawMap1->Screens[i].MapIndex, 1) << i;
  }
  EXPECT_EQ(f.DrawMap1->TekScreen, Layout64());
}

TEST_F(StartupTest, OnlyPortUCountsForTheWorkstationAndOnlyPortForThePhotoProgram) {
  plat::IniFile ini(Dir() + "setup.ini");
  ini.WriteString("ServerHost", "Port", "9100");
  ini.WriteString("ServerHost", "Address", "127.0.0.1,127.0.0.2");
  {
    TForm1 f(TForm1::Kind::Desk);
    f.FormCreateBeforeLogin();
    EXPECT_EQ(f.port, 9010);
    EXPECT_EQ(f.clientU->host(), (std::vector<std::string>{"127.0.0.1", "127.0.0.2"}));
  }
  std::filesystem::remove(dir_ / "default.scr");
  plat::IniFile(Dir() + "setup.ini").WriteString("Main", "DefaultScreen", "");
  {
    TForm1 f(TForm1::Kind::Photo);
    f.FormCreateBeforeLogin();
    EXPECT_EQ(f.port, 9100);
    EXPECT_EQ(f.clientU->port(), 9100);
    // The photo program: no map, no history, no screen settings.
    EXPECT_EQ(f.DrawMap1, nullptr);
    EXPECT_EQ(f.SpeedButton2, nullptr);
    EXPECT_TRUE(f.Histories.empty());
    EXPECT_FALSE(plat::FileExists(Dir() + "default.scr"));
    EXPECT_EQ(Ini("Main", "DefaultScreen"), "");
    // Its change commands carry no "user".
    std::vector<std::string> sent;
    TBaseClient& photo = *f.Base[f.NumberPhoto];
    FillTable(photo, {{"numobj", 1, 4}, {"file", 2, 41}}, {});
    photo.OnNetDataSend9 = [&](TBaseClient*, const std::string& t) { sent.push_back(t); };
    photo.Add();
    photo.FieldSetAsString("file", "a.jpg");
    photo.Post();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0],
              "{\"$c$\":\"database\",\"command\":\"netadddatadatabase\",\"nametable\":\"photo\","
              "\"fields\":{\"file\":\"a.jpg\"}}");
  }
}

TEST_F(StartupTest, AnOlderScreenFileIsRepairedAndItsScreensKept) {
  plat::IniFile(Dir() + "setup.ini").WriteString("Main", "DefaultScreen", "old.scr");
  {
    TGFDataS s(Dir(), "old.scr");
    int main = s.AddGroup("Main");
    int tek = s.AddPar(main, "TekScreen", kGFString, 255);
    s.SetString(main, tek, TGFDataS::kAppend, "0102" + Layout64().substr(4));
    int ya = s.AddGroup("ya");
    int lon = s.AddPar(ya, "CLon", kGFSingle, 4), lat = s.AddPar(ya, "CLat", kGFSingle, 4);
    int cz = s.AddPar(ya, "CZ", kGFInteger, 4), maps = s.AddPar(ya, "Maps", kGFInteger, 4);
    for (int i = 0; i < 64; ++i) {
      s.SetSingle(ya, lon, TGFDataS::kAppend, i == 2 ? 37.5f : 0.0f);
      s.SetSingle(ya, lat, TGFDataS::kCurrent, i == 2 ? 55.75f : 0.0f);
      s.SetInteger(ya, cz, TGFDataS::kCurrent, i == 2 ? 9 : 12);
      s.SetInteger(ya, maps, TGFDataS::kCurrent, 0);
    }
    ASSERT_TRUE(s.Save());
  }
  TForm1 f(TForm1::Kind::Desk);
  f.FormCreateBeforeLogin();
  EXPECT_FALSE(plat::FileExists(Dir() + "default.scr"));
  TGFDataS s(Dir(), "old.scr");
  ASSERT_TRUE(s.Load());
  int main = s.FindGroup("Main"), ya = s.FindGroup("ya"), path = s.FindGroup("Path");
  for (const char* name : {"ShowPark", "ShowPathNapr", "ShowPathTitle"}) {
    int p = s.FindPar(main, name);
    EXPECT_GE(p, 0) << name;
    EXPECT_EQ(s.GetByte(main, p, 0), 0) << name;
  }
  ASSERT_GE(path, 0);
  EXPECT_EQ(s.RecordCount(path), 4);
  for (const char* name : {"NumberO", "NumberP", "Name", "Type"}) {
    EXPECT_GE(s.FindPar(path, name), 0) << name;
  }
  EXPECT_GE(s.FindPar(ya, "NumberO"), 0);
  EXPECT_EQ(s.GetInteger(ya, s.FindPar(ya, "CZ"), 2), 9);
  EXPECT_FALSE(f.DrawMap1->ShowPark || f.DrawMap1->ShowPathNapr || f.DrawMap1->ShowPathTitle);
  EXPECT_EQ(f.DrawMap1->Screens[3].Zoom, 9);
  EXPECT_DOUBLE_EQ(f.DrawMap1->Screens[3].CenterLon, 37.5);
  EXPECT_DOUBLE_EQ(f.DrawMap1->Screens[3].CenterLat, 55.75);
  EXPECT_EQ(f.DrawMap1->Screens[4].Zoom, 12);
  EXPECT_EQ(f.DrawMap1->TekScreen.substr(0, 4), "0102");
}

TEST(WorkingDirectory, EndsInExactlyOneSeparator) {
  EXPECT_EQ(WorkingDir("/srv/desk"), "/srv/desk/");
  EXPECT_EQ(WorkingDir("/srv/desk/"), "/srv/desk/");
  EXPECT_EQ(WorkingDir("/srv/desk//"), "/srv/desk/");
  EXPECT_EQ(WorkingDir("/"), "/");
}

TEST_F(StartupTest, ObjectIndexLaterRecordWinsAndRefreshesComeToTheMainThread) {
  TForm1 f(TForm1::Kind::Desk);
  f.FormCreateBeforeLogin();
  TBaseClient& obj = *f.Base[f.NumberObject];
  FillTable(obj,
            {{"name", 2, 21},
             {"addrcity", 2, 21},
             {"addrnp", 2, 21},
             {"address", 2, 21},
             {"number", 1, 4}},
            {{"1", "A", "", "", "", "7"},
             {"2", "B", "", "", "", "8"},
             {"3", "C", "", "", "", "7"},
             {"4", "D", "", "", "", "1000000"},
             {"5", "E", "", "", "", "-3"}});
  EXPECT_FALSE(f.ObjectIndexReady.load());
  std::thread link_thread([&] { f.RefreshDataBase("object"); });
  link_thread.join();
  // Not on the calling thread: only once the main thread runs its events.
  EXPECT_FALSE(f.ObjectIndexReady.load());
  QTRY_VERIFY_WITH_TIMEOUT(f.ObjectIndexReady.load(), 10000);
  ASSERT_EQ(f.ObjectIndex.size(), 1000000u);
  EXPECT_EQ(f.ObjectIndex[7], 3);
  EXPECT_EQ(f.ObjectIndex[8], 2);
  EXPECT_EQ(f.ObjectIndex[0], 0);

  FillTable(*f.Base[f.NumberMobPhoto],
            {{"r_dt", 8, 4},
             {"number", 1, 4},
             {"technik", 2, 21},
             {"desc", 2, 21},
             {"zam", 2, 2},
             {"filename", 2, 64}},
            {{"9", "1", "7", "t", "d", "", "a.jpg"}});
  std::thread again([&] { f.RefreshDataBase("mobphoto"); });
  again.join();
  QTRY_COMPARE_WITH_TIMEOUT(f.Label2->text(), QString::fromUtf8("Фотографии 1"), 10000);
  // The card takes the first object with the number, unlike the index.
  EXPECT_EQ(f.PhotoPage->Edit2->text(), "A");
}

TEST_F(StartupTest, TimerWorksOffOneLinkMessagePerTickInQueueOrder) {
  TForm1 f(TForm1::Kind::Desk);
  f.FormCreateBeforeLogin();
  f.Timer1->stop();
  std::string name = "0C8E6C38-5F0A-4A59-9B71-2D1C4E3A5B6F.jpg";
  QImage img(8, 6, QImage::Format_RGB32);
  img.fill(Qt::red);
  ASSERT_TRUE(img.save(QString::fromStdString(Dir() + "temp/" + name), "JPG"));
  ASSERT_TRUE(f.clientU->ReadJSON.PutSoob("{\"$c$\":\"connected\",\"ver_serv\":\"1\"}"));
  ASSERT_TRUE(f.clientU->ReadJSON.PutSoob("{\"$c$\":\"getfileok\",\"name\":\"" + name + "\"}"));
  f.Timer1Timer();
  EXPECT_TRUE(f.DrawMap1->Working);
  EXPECT_TRUE(plat::FileExists(Dir() + "temp/" + name));
  f.Timer1Timer();
  EXPECT_FALSE(plat::FileExists(Dir() + "temp/" + name));
}

}  // namespace

namespace {

TEST(CommandLine, HelpVersionAndUnknownOptions) {
  struct Case {
    std::vector<std::string> args;
    TForm1::Kind kind;
    int code;
    std::string contains;
  };
  const Case cases[] = {
      {{}, TForm1::Kind::Desk, -1, ""},
      {{"--help"}, TForm1::Kind::Desk, 0, "PortU=9010"},
      {{"--help"}, TForm1::Kind::Photo, 0, "  Port=9010"},
      {{"--version"}, TForm1::Kind::Desk, 0, std::string("svcdesk ") + SVCDESK_VERSION + "\n"},
      {{"--version"}, TForm1::Kind::Photo, 0, std::string("svcphoto ") + SVCDESK_VERSION},
      {{"--frobnicate"}, TForm1::Kind::Desk, 2, "unknown option --frobnicate"},
      {{"-platform", "offscreen"}, TForm1::Kind::Desk, -1, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> store = {"prog"};
    store.insert(store.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& s : store) argv.push_back(s.data());
    std::string out;
    EXPECT_EQ(HandleCommandLine(static_cast<int>(argv.size()), argv.data(), c.kind, out), c.code)
        << store.back();
    EXPECT_NE(out.find(c.contains), std::string::npos) << out;
  }
  std::string out;
  std::vector<std::string> store = {"prog", "--help"};
  std::vector<char*> argv = {store[0].data(), store[1].data()};
  HandleCommandLine(2, argv.data(), TForm1::Kind::Photo, out);
  EXPECT_EQ(out.find("PortU"), std::string::npos);
}

}  // namespace
