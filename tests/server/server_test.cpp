// The stand-in server over real loopback sockets, driven by a small client.
#include <gtest/gtest.h>

#include <cstring>

#include "app/records/records.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "server/table.h"
#include "server_fixture.h"
#include "table_file_reader.h"

namespace {

int32_t I32(const Bytes& b, size_t at) {
  int32_t v = 0;
  if (at + 4 <= b.size()) std::memcpy(&v, b.data() + at, 4);
  return v;
}
std::string Short(const Bytes& b, size_t at) {
  if (at >= b.size()) return {};
  size_t n = std::min<size_t>(b[at], b.size() - at - 1);
  return std::string(b.begin() + static_cast<long>(at) + 1,
                     b.begin() + static_cast<long>(at + 1 + n));
}
bool IsRaw(const ClientMessage& m, int kind) {
  return (m.type == kTypeRaw2 || m.type == kTypeRaw3) && I32(m.data, 0) == kind;
}

TEST_F(ServerTest, LoginRefusesWrongPasswordAndAcceptsTheRightOne) {
  StartServer();
  auto c = Client();
  std::string answer;
  EXPECT_FALSE(c->Login("op", "wrong", &answer));
  EXPECT_EQ(GetValueFromJSON(answer, "$c$"), "accessdenied");
  ASSERT_TRUE(c->Login("op", kPassword, &answer));
  EXPECT_EQ(c->tid.size(), 36u);
  EXPECT_FALSE(GetValueFromJSON(answer, "version").empty());
  EXPECT_GE(StrToIntDef(GetValueFromJSON(answer, "n_abs"), 0), 1);
  EXPECT_EQ(server_->LoggedIn(), 1);
  // Keep-alives are answered.
  c->SendOne("{\"$c$\":\"testex\"}");
  ClientMessage m;
  EXPECT_TRUE(c->WaitText("testex", m));
  // A log-in attempt repeated (a new datagram) gets a fresh connection identifier.
  std::string first = c->tid;
  ASSERT_TRUE(c->Login("op", kPassword));
  EXPECT_NE(first, c->tid);
  c->Send("{\"$c$\":\"closeclient\"}");
  for (int i = 0; i < 200 && server_->LoggedIn() != 0; ++i) usleep(10000);
  EXPECT_EQ(server_->LoggedIn(), 0);
}

TEST_F(ServerTest, TableFileHoldsTheDatabaseAndOnlyChangedColumnsTravelAgain) {
  StartServer();
  auto c = Client();
  ASSERT_TRUE(c->Login("op", kPassword));
  Bytes file;
  std::string announce;
  ASSERT_TRUE(c->LoadTable("object", "", file, &announce));
  EXPECT_EQ(GetValueFromJSON(announce, "name"), "object");
  EXPECT_EQ(GetValueFromJSON(announce, "x"), "0");
  FileTable t = ReadTableFile(file);
  ASSERT_TRUE(t.ok);
  EXPECT_EQ(t.name, "object");
  ASSERT_EQ(t.count, 20);
  ASSERT_EQ(t.descs, 11);
  EXPECT_EQ(t.blocks, 11);
  EXPECT_EQ(t.cols[0].name, "n_abs");
  EXPECT_EQ(t.cols[1].name, "p_d");
  EXPECT_EQ(t.cols[6].name, "number");
  for (int r : {0, 7, 19}) {
    SCOPED_TRACE(r);
    EXPECT_EQ(t.Int("n_abs", r), r + 1);
    EXPECT_EQ(t.Int("number", r), 100 + r);
    EXPECT_EQ(t.Var("name", r), plat::Utf8ToCp1251("Объект ") + std::to_string(r));
    EXPECT_EQ(t.Lookup("addrcity", r), plat::Utf8ToCp1251(r % 2 ? "Казань" : "Зеленодольск"));
    EXPECT_EQ(t.Lookup("addrnp", r), plat::Utf8ToCp1251("Советский"));
    EXPECT_NEAR(t.Double("karta_x", r), 49.1 + r * 0.001, 1e-9);
  }
  // Types 15, 16 and 24 are what the workstation restores from its cache: with
  // their digests reported, only the other columns come again.
  std::string md5;
  for (const FileColumn& col : t.cols) {
    if (col.type != 15 && col.type != 16 && col.type != 24) continue;
    if (!md5.empty()) md5 += ",";
    md5 += "\"" + col.name + "\":\"" + plat::Md5HexUpper(col.content.data(), col.content.size()) +
           "\"";
  }
  Bytes again;
  ASSERT_TRUE(c->LoadTable("object", md5, again));
  FileTable t2 = ReadTableFile(again);
  ASSERT_TRUE(t2.ok);
  EXPECT_EQ(t2.blocks, 11 - 4);
  EXPECT_FALSE(t2.Col("name")->has_data);
  EXPECT_TRUE(t2.Col("number")->has_data);
  // A change to one of them makes it travel again (lower-case digests compare equal).
  ASSERT_TRUE(server_->EditRecord("object", 3, {{"name", "renamed"}}));
  std::string lower = md5;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  ASSERT_TRUE(c->LoadTable("object", lower, again));
  FileTable t3 = ReadTableFile(again);
  ASSERT_TRUE(t3.ok);
  EXPECT_EQ(t3.blocks, 11 - 3);
  EXPECT_TRUE(t3.Col("name")->has_data);
  EXPECT_EQ(t3.Var("name", 2), "renamed");
}

TEST_F(ServerTest, LargeTableIsZippedAndArrivesWhole) {
  StartServer({}, 3000);
  auto c = Client();
  ASSERT_TRUE(c->Login("op", kPassword));
  Bytes file;
  std::string announce;
  ASSERT_TRUE(c->LoadTable("object", "", file, &announce));
  EXPECT_EQ(GetValueFromJSON(announce, "zip"), "1");
  Bytes expect =
      server_->With([](srv::ServerCore& s) { return s.store().Table("object")->TableFile({}); });
  EXPECT_EQ(file, expect);
  FileTable t = ReadTableFile(file);
  ASSERT_TRUE(t.ok);
  EXPECT_EQ(t.Int("number", 2999), 3099);
}

TEST_F(ServerTest, ChangesArePushedToEveryWorkstationThatLoadedTheTable) {
  StartServer();
  auto a = Client(), b = Client(), idle = Client();
  ASSERT_TRUE(a->Login("op", kPassword));
  ASSERT_TRUE(b->Login("op", kPassword));
  ASSERT_TRUE(idle->Login("op", kPassword));
  Bytes f;
  ASSERT_TRUE(a->LoadTable("photo", "", f));
  ASSERT_TRUE(b->LoadTable("photo", "", f));
  // Addition: a raw record of kind 2 carrying the update form, to both.
  ASSERT_TRUE(
      a->Send("{\"$c$\":\"database\",\"user\":\"\",\"command\":\"netadddatadatabase\","
              "\"nametable\":\"photo\","
              "\"fields\":{\"numobj\":5,\"file\":\"a.jpg\",\"desc\":\"" +
              JSONString("во \"дворе\"") + "\"}}"));
  for (TestClient* c : {a.get(), b.get()}) {
    ClientMessage m;
    ASSERT_TRUE(c->WaitFor([](const ClientMessage& x) { return IsRaw(x, 2); }, m));
    const Bytes form(m.data.begin() + 4, m.data.end());
    EXPECT_EQ(Short(form, 0), "photo");
    EXPECT_EQ(I32(form, 9), 0);   // index
    EXPECT_EQ(I32(form, 13), 1);  // record count
    EXPECT_EQ(Short(form, 17), "n_abs");
    EXPECT_EQ(I32(form, 33), 1);
  }
  auto photo = [&](int c) {
    return server_->With(
        [c](srv::ServerCore& s) { return s.store().Table("photo")->GetText(0, c); });
  };
  EXPECT_EQ(photo(2), "5");
  EXPECT_EQ(photo(3), "a.jpg");
  EXPECT_EQ(photo(4), "во \"дворе\"");
  // Edit: "refreshdatadatabase" whose fields decode to the update form.
  ASSERT_TRUE(
      b->Send("{\"$c$\":\"database\",\"user\":\"\",\"command\":\"neteditdatadatabase\","
              "\"nametable\":\"photo\","
              "\"n_abs\":1,\"fields\":{\"desc\":\"new\"}}"));
  Bytes form =
      server_->With([](srv::ServerCore& s) { return s.store().Table("photo")->UpdateForm(0); });
  for (TestClient* c : {a.get(), b.get()}) {
    ClientMessage m;
    ASSERT_TRUE(c->WaitText("refreshdatadatabase", m));
    EXPECT_EQ(GetValueFromJSON(m.Text(), "nametable"), "photo");
    EXPECT_EQ(GetValueFromJSON(m.Text(), "pos"), "0");
    Bytes got;
    HexToBytes(GetValueFromJSON(m.Text(), "fields"), got);
    EXPECT_EQ(got, form);
  }
  EXPECT_EQ(photo(4), "new");
  // Deletion: kind 3 with the table name and n_abs; the record stays, flagged.
  ASSERT_TRUE(
      a->Send("{\"$c$\":\"database\",\"user\":\"\",\"command\":\"netdeletedatadatabase\","
              "\"nametable\":\"photo\","
              "\"n_abs\":\"1\",}"));
  for (TestClient* c : {a.get(), b.get()}) {
    ClientMessage m;
    ASSERT_TRUE(c->WaitFor([](const ClientMessage& x) { return IsRaw(x, 3); }, m));
    EXPECT_EQ(Short(m.data, 4), "photo");
    EXPECT_EQ(I32(m.data, 13), 1);
  }
  EXPECT_EQ(photo(1), "1");
  // The workstation that never loaded the table got none of it.
  usleep(200000);
  for (const ClientMessage& m : idle->Drain()) EXPECT_FALSE(IsRaw(m, 2) || IsRaw(m, 3)) << m.Text();
}

TEST_F(ServerTest, PhotosAreServedAndReplaced) {
  StartServer();
  Bytes jpeg = {0xFF, 0xD8, 1, 2, 3, 0xFF, 0xD9};
  ASSERT_TRUE(server_->With([&](srv::ServerCore& s) { return s.PutPhoto("x.jpg", jpeg); }));
  auto c = Client();
  ASSERT_TRUE(c->Login("op", kPassword));
  ASSERT_TRUE(
      c->Send("{\"$c$\":\"getfile\",\"nameinserv\":\"photo\\\\x.jpg\",\"name\":\"G1.jpg\"}"));
  Bytes got;
  ASSERT_TRUE(c->WaitFile("G1.jpg", got));
  EXPECT_EQ(got, jpeg);
  // A turned photo replaces the file.
  Bytes turned(3000, 0x5A);
  ASSERT_TRUE(c->Send("{\"$c$\":\"putfilebase64\",\"nameinserv\":\"photo\\\\x.jpg\",\"data\":\"" +
                      plat::Base64Encode(turned.data(), turned.size()) + "\"}"));
  ClientMessage m;
  ASSERT_TRUE(c->WaitText("putfilebase64ok", m));
  Bytes disk;
  ASSERT_TRUE(plat::ReadWholeFile(dir_ + "/photo/x.jpg", disk));
  EXPECT_EQ(disk, turned);
  // Names that leave the photo folder are refused; unknown files are reported.
  ASSERT_TRUE(
      c->Send("{\"$c$\":\"putfilebase64\",\"nameinserv\":\"photo\\\\..\",\"data\":\"AAAA\"}"));
  ASSERT_TRUE(
      c->Send("{\"$c$\":\"getfile\",\"nameinserv\":\"photo\\\\none.jpg\",\"name\":\"G2.jpg\"}"));
  ASSERT_TRUE(c->WaitText("sendfilenotfind", m));
  for (const ClientMessage& x : c->Drain())
    EXPECT_NE(GetValueFromJSON(x.Text(), "$c$"), "putfilebase64ok");
}

TEST_F(ServerTest, TilesAreAnsweredWithPutOsmRecordSets) {
  StartServer();
  auto c = Client();
  ASSERT_TRUE(c->Login("op", kPassword));
  ASSERT_TRUE(
      c->Send("{\"$c$\":\"get_osm\",\"map\":1,\"maps\":3,\"data\":[{\"x\":9,\"y\":5,\"z\":4},{"
              "\"x\":1,\"y\":2,\"z\":3}]}"));
  for (int i = 0; i < 2; ++i) {
    ClientMessage m;
    ASSERT_TRUE(c->WaitText("oldup", m));
    Bytes rs;
    HexToBytes(GetValueFromJSON(m.Text(), "data"), rs);
    TGFDataS set;
    ASSERT_TRUE(set.FromBytes(rs));
    EXPECT_EQ(set.GetString(0, 1, 0), "Put_OSM");
    Bytes tile;
    ASSERT_TRUE(set.GetBytes(0, set.FindPar(0, "data"), 0, tile));
    ASSERT_GT(tile.size(), 34u);
    int x = I32(tile, 0), y = I32(tile, 4), z = I32(tile, 8);
    EXPECT_TRUE((x == 9 && y == 5 && z == 4) || (x == 1 && y == 2 && z == 3));
    EXPECT_EQ(I32(tile, 12), 1);
    EXPECT_EQ(I32(tile, 16), 3);
    EXPECT_EQ(tile[24], 1);
    EXPECT_EQ(tile[27], 'P');  // the PNG signature, 0x89 'P' 'N' 'G'
    EXPECT_EQ(tile[28], 'N');
  }
}

}  // namespace
