// Loading table files, writing the cache and reading it back at a second start.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <filesystem>

#include "fixtures.h"
#include "foundation/scrambler.h"
#include "tables/base_client.h"

namespace fs = std::filesystem;

namespace {

std::string Md5Hex(const std::string& data) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(data.data(), data.size(), md, &n, EVP_md5(), nullptr);
  static const char* kHex = "0123456789ABCDEF";
  std::string s;
  for (unsigned i = 0; i < n; ++i) {
    s.push_back(kHex[md[i] >> 4]);
    s.push_back(kHex[md[i] & 15]);
  }
  return s;
}

std::string Unscrambled(const fs::path& p) {
  return tw::Unscramble(tw::ReadFile(p), ScramblerTable());
}

class LoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tw::FixedRegional();
    dir = tw::FreshDir("load");
  }
  void TearDown() override { fs::remove_all(dir); }

  TBaseClient& Table(const std::string& name, bool cache) {
    const int i = CreateBaseMain(list, name, "", cache, dir.string());
    return *list[i];
  }
  fs::path Deliver(const std::string& bytes, const std::string& fileName = "t1.dat") {
    fs::path p = dir / "temp" / fileName;
    tw::WriteFile(p, bytes);
    return p;
  }
  void ExpectMixedTexts(TBaseClient& t) {
    auto lock = t.Lock();
    for (const auto& c : tw::MixedTexts()) {
      FieldGFB* f = t.GetField(c.column, c.v);
      ASSERT_NE(f, nullptr) << c.column;
      EXPECT_EQ(f->GetAsString(), c.text) << c.column << " record " << c.v;
    }
  }

  fs::path dir;
  TBaseList list;
};

TEST_F(LoadTest, PlainAndCompressedFilesLoadEveryType) {
  for (bool zip : {false, true}) {
    SCOPED_TRACE(zip ? "compressed" : "plain");
    list.clear();
    TBaseClient& t = Table("mixed", false);
    int refreshes = 0;
    t.OnRefresh = [&](TBaseClient*) { ++refreshes; };
    const std::string file = tw::TableFile("mixed", 3, tw::MixedColumns());
    const fs::path p = Deliver(zip ? tw::Zlib(file) : file);
    t.Zip = zip;
    t.LoadFileName = "t1.dat";
    t.LoadFromFile(p.string());
    EXPECT_FALSE(fs::exists(p));
    EXPECT_TRUE(t.FlagLoadData);
    EXPECT_TRUE(t.RefreshYes);
    EXPECT_TRUE(t.LoadFileName.empty());
    EXPECT_EQ(t.CountRecord, 3);
    EXPECT_EQ(t.Count(), 3);
    EXPECT_EQ(t.FieldCount(), 17);
    EXPECT_EQ(refreshes, 1);
    ExpectMixedTexts(t);
  }
}

TEST_F(LoadTest, FileOfAnotherTableLoadsNothingButCountsAsLoaded) {
  TBaseClient& t = Table("photo", false);
  const fs::path p = Deliver(tw::TableFile("mixed", 3, tw::MixedColumns()));
  t.LoadFromFile(p.string());
  EXPECT_TRUE(t.FlagLoadData);
  EXPECT_EQ(t.FieldCount(), 0);
  EXPECT_EQ(t.Count(), 0);
  EXPECT_FALSE(fs::exists(p));
}

TEST_F(LoadTest, DamagedCompressedFileCountsAsLoaded) {
  TBaseClient& t = Table("mixed", false);
  std::string z = tw::Zlib(tw::TableFile("mixed", 3, tw::MixedColumns()));
  z.resize(z.size() / 2);
  t.Zip = true;
  t.LoadFromFile(Deliver(z).string());
  EXPECT_TRUE(t.FlagLoadData);
  // What came before the damage may stay; the columns after it hold nothing.
  auto lock = t.Lock();
  FieldGFB* last = t.GetField("sec");
  EXPECT_TRUE(last == nullptr || !last->Load);
}

TEST_F(LoadTest, StructureOnlyFileMatchesBySubstring) {
  TBaseClient& t = Table("object", true);
  auto cols = tw::MixedColumns();
  for (auto& c : cols) c.block = false;
  t.tamirx = true;
  t.LoadFromFile(Deliver(tw::TableFile("obj", 5, cols)).string());
  EXPECT_EQ(t.FieldCount(), 17);
  EXPECT_EQ(t.CountRecord, 5);
  auto lock = t.Lock();
  EXPECT_FALSE(t.GetField("n_abs")->Load);
  EXPECT_TRUE(fs::exists(dir / "temp" / "object" / "object.cacheb"));
  EXPECT_FALSE(fs::exists(dir / "temp" / "object" / "n_abs.1cache"));
}

TEST_F(LoadTest, StructureOnlyFileWithEmptyNameIsRefused) {
  TBaseClient& t = Table("object", false);
  t.tamirx = true;
  t.LoadFromFile(Deliver(tw::TableFile("", 5, tw::MixedColumns())).string());
  EXPECT_EQ(t.FieldCount(), 0);
}

TEST_F(LoadTest, CacheFilesRoundTripOnSecondStart) {
  const std::string file = tw::TableFile("mixed", 3, tw::MixedColumns());
  {
    TBaseClient& t = Table("mixed", true);
    EXPECT_EQ(t.GetJSONLoad(),
              "{\"$c$\":\"database\",\"command\":\"gettableraw\",\"refresh\":1,\"name\":\"mixed\","
              "\"md5\":{},\"filter\":{}}");
    t.LoadFromFile(Deliver(file).string());
  }
  const fs::path cache = dir / "temp" / "mixed";
  // Lookups and pools in ".cache", every other kind in ".1cache".
  for (const char* n : {"kind", "cls", "note"}) {
    EXPECT_TRUE(fs::exists(cache / (std::string(n) + ".cache"))) << n;
    EXPECT_FALSE(fs::exists(cache / (std::string(n) + ".1cache"))) << n;
  }
  for (const char* n : {"n_abs", "p_d", "name", "dt", "raw", "sec"}) {
    EXPECT_TRUE(fs::exists(cache / (std::string(n) + ".1cache"))) << n;
    EXPECT_FALSE(fs::exists(cache / (std::string(n) + ".cache"))) << n;
  }

  // Second start: a new registry; the request lists every cached column.
  list.clear();
  TBaseClient& t = Table("mixed", true);
  const std::string req = t.GetJSONLoad();
  EXPECT_TRUE(t.SendLoadData);
  EXPECT_EQ(t.GetJSONLoad(), "");  // once per cycle
  std::string digests;
  for (const auto& c : tw::MixedColumns()) {
    std::string content = c.payload;
    if (c.type == 15 || c.type == 16)
      content = tw::U8(c.type) + tw::U16(static_cast<uint16_t>(c.list)) + c.payload;
    if (!digests.empty()) digests += ",";
    digests += "\"" + c.name + "\":\"" + Md5Hex(content) + "\"";
  }
  EXPECT_EQ(req,
            "{\"$c$\":\"database\",\"command\":\"gettableraw\",\"refresh\":1,\"name\":\"mixed\","
            "\"md5\":{" +
                digests + "},\"filter\":{}}");
  EXPECT_EQ(t.CountRecord, 0);  // counts come with the table file

  // The server finds every column current: no data blocks.
  auto cols = tw::MixedColumns();
  for (auto& c : cols) c.block = false;
  t.LoadFromFile(Deliver(tw::TableFile("mixed", 3, cols)).string());
  EXPECT_EQ(t.Count(), 3);
  ExpectMixedTexts(t);
}

TEST_F(LoadTest, CacheFilesUnscrambleToTheirContent) {
  TBaseClient& t = Table("mixed", true);
  const auto cols = tw::MixedColumns();
  const std::string file = tw::TableFile("mixed", 3, cols);
  t.LoadFromFile(Deliver(file).string());
  const fs::path cache = dir / "temp" / "mixed";

  const std::string structure = Unscrambled(cache / "mixed.cacheb");
  ASSERT_EQ(structure.size(), 2 + 21 + 37 * cols.size());
  EXPECT_EQ(structure.substr(2), file.substr(0, 21 + 37 * cols.size()));

  for (const auto& c : cols) {
    const bool dict = c.type == 15 || c.type == 16;
    const std::string ext = (dict || c.type == 24) ? ".cache" : ".1cache";
    const std::string b = Unscrambled(cache / (c.name + ext));
    std::string content = c.payload;
    if (dict) content = tw::U8(c.type) + tw::U16(static_cast<uint16_t>(c.list)) + c.payload;
    ASSERT_GE(b.size(), 19u) << c.name;
    EXPECT_EQ(static_cast<uint8_t>(b[2]), c.type) << c.name;
    EXPECT_EQ(b.substr(19), content) << c.name;
    std::string md5hex;
    for (int i = 3; i < 19; ++i) {
      char h[3];
      std::snprintf(h, sizeof h, "%02X", static_cast<uint8_t>(b[i]));
      md5hex += h;
    }
    EXPECT_EQ(md5hex, Md5Hex(content)) << c.name;
  }
}

TEST_F(LoadTest, ChangedColumnsReplaceTheirCacheOthersStay) {
  {
    TBaseClient& t = Table("mixed", true);
    t.GetJSONLoad();
    t.LoadFromFile(Deliver(tw::TableFile("mixed", 3, tw::MixedColumns())).string());
  }
  list.clear();
  TBaseClient& t = Table("mixed", true);
  t.GetJSONLoad();
  auto cols = tw::MixedColumns();
  for (auto& c : cols) c.block = c.name == "num";
  cols[4].payload = tw::U16(1) + tw::U16(2) + tw::U16(3);
  t.LoadFromFile(Deliver(tw::TableFile("mixed", 3, cols)).string());
  {
    auto lock = t.Lock();
    EXPECT_EQ(t.GetField("num", 2)->GetAsString(), "2");
    EXPECT_EQ(t.GetField("name", 2)->GetAsString(), "abc");
  }
  list.clear();
  TBaseClient& t3 = Table("mixed", true);
  const std::string req = t3.GetJSONLoad();
  EXPECT_NE(req.find("\"num\":\"" + Md5Hex(cols[4].payload) + "\""), std::string::npos) << req;
}

TEST_F(LoadTest, DamagedShortOrMissingCachesAreNotRestored) {
  {
    TBaseClient& t = Table("mixed", true);
    t.LoadFromFile(Deliver(tw::TableFile("mixed", 3, tw::MixedColumns())).string());
  }
  const fs::path cache = dir / "temp" / "mixed";
  // One byte of n_abs changed: its digest no longer matches.
  std::string b = tw::ReadFile(cache / "n_abs.1cache");
  b[20] ^= 0x01;
  tw::WriteFile(cache / "n_abs.1cache", b);
  fs::remove(cache / "dt.1cache");
  // "flt" holds two records where the structure says three.
  std::string flt = tw::Unscramble(tw::ReadFile(cache / "flt.1cache"), ScramblerTable());
  flt.resize(flt.size() - 4);
  // Re-sign it so only the length is wrong.
  std::string content = flt.substr(19);
  unsigned char md[16];
  unsigned int n;
  EVP_Digest(content.data(), content.size(), md, &n, EVP_md5(), nullptr);
  flt.replace(3, 16, reinterpret_cast<char*>(md), 16);
  tw::WriteFile(cache / "flt.1cache", tw::Unscramble(flt, ScramblerTable()));

  list.clear();
  TBaseClient& t = Table("mixed", true);
  const std::string req = t.GetJSONLoad();
  EXPECT_EQ(req.find("\"n_abs\":"), std::string::npos);
  EXPECT_EQ(req.find("\"dt\":"), std::string::npos);
  EXPECT_EQ(req.find("\"flt\":"), std::string::npos);
  EXPECT_NE(req.find("\"num\":"), std::string::npos);
  auto lock = t.Lock();
  EXPECT_EQ(t.FieldCount(), 17);
  EXPECT_FALSE(t.GetField("n_abs")->Load);
  EXPECT_TRUE(t.GetField("num")->Load);
}

TEST_F(LoadTest, CacheLongerThanTheRecordCountGivesOnlyThoseRecords) {
  {
    TBaseClient& t = Table("mixed", true);
    t.LoadFromFile(Deliver(tw::TableFile("mixed", 3, tw::MixedColumns())).string());
  }
  // The structure file now says 2 records.
  const fs::path sf = dir / "temp" / "mixed" / "mixed.cacheb";
  std::string s = tw::Unscramble(tw::ReadFile(sf), ScramblerTable());
  s.replace(2 + 9, 4, tw::I32(2));
  tw::WriteFile(sf, tw::Unscramble(s, ScramblerTable()));
  list.clear();
  TBaseClient& t = Table("mixed", true);
  t.GetJSONLoad();
  auto lock = t.Lock();
  EXPECT_EQ(t.GetField("n_abs")->Data.DataInteger.size(), 2u);
  EXPECT_EQ(t.GetField("name")->Data.DataByte.size(), 42u);
  EXPECT_EQ(t.GetField("kind")->Data.DataWord.size(), 2u);
}

TEST_F(LoadTest, StructureFileShorterThanItsHeaderGivesNoColumns) {
  {
    TBaseClient& t = Table("mixed", true);
    t.LoadFromFile(Deliver(tw::TableFile("mixed", 3, tw::MixedColumns())).string());
  }
  const fs::path sf = dir / "temp" / "mixed" / "mixed.cacheb";
  std::string s = tw::ReadFile(sf);
  s.resize(s.size() - 1);
  tw::WriteFile(sf, s);
  list.clear();
  TBaseClient& t = Table("mixed", true);
  EXPECT_NE(t.GetJSONLoad().find("\"md5\":{}"), std::string::npos);
  EXPECT_EQ(t.FieldCount(), 0);
}

TEST_F(LoadTest, ResetAtLogInStartsANewCycle) {
  TBaseClient& t = Table("mixed", false);
  t.GetJSONLoad();
  t.LoadFromFile(Deliver(tw::TableFile("mixed", 3, tw::MixedColumns())).string());
  EXPECT_EQ(t.GetJSONLoad(), "");
  t.ResetLoad();
  EXPECT_FALSE(t.FlagLoadData);
  EXPECT_EQ(t.FieldCount(), 0);
  EXPECT_EQ(t.Count(), 0);
  EXPECT_FALSE(t.GetJSONLoad().empty());
}

TEST_F(LoadTest, ColumnNamesNeverLeaveTheCacheFolder) {
  const tw::Col nabs{1, "n_abs", 1, 4, 0, 0, tw::I32(5)};
  const tw::Col pd{2, "p_d", 3, 1, 0, 0, tw::U8(0)};
  const tw::Col evil{3, "../../evil", 1, 4, 0, 0, tw::I32(6)};
  TBaseClient& t = Table("mixed", true);
  t.LoadFromFile(Deliver(tw::TableFile("mixed", 1, {nabs, pd, evil})).string());
  EXPECT_EQ(t.FieldAsInteger("../../evil", 1), 6);  // loaded, just not cached
  EXPECT_TRUE(fs::exists(dir / "temp" / "mixed" / "n_abs.1cache"));
  for (const auto& e : fs::recursive_directory_iterator(dir))
    EXPECT_EQ(e.path().filename().string().find("evil"), std::string::npos) << e.path();
}

// Counts and sizes that the bytes do not back are refused before anything is
// allocated; blocks that cannot be placed are skipped.
TEST_F(LoadTest, HostileCountsAndSizesLoadNothingBeyondTheFile) {
  struct Case {
    const char* what;
    std::string file;
    int columns;
    size_t nabsRecords;
  };
  const tw::Col nabs{1, "n_abs", 1, 4, 0, 0, tw::I32(5)};
  const tw::Col pd{2, "p_d", 3, 1, 0, 0, tw::U8(0)};
  auto one = [&](tw::Col c) { return tw::TableFile("mixed", 1, {nabs, pd, c}); };
  std::vector<Case> cases;
  cases.push_back({"2^31 records", tw::TableFile("mixed", INT32_MAX, {nabs, pd}), 2, 0});
  cases.push_back(
      {"2^31 descriptors", tw::Header("mixed", 1, 0, INT32_MAX) + tw::Desc(nabs), 0, 0});
  {
    std::string f = tw::Header("mixed", 1, 3, 2) + tw::Desc(nabs) + tw::Desc(pd);
    tw::Col ghost{9, "ghost", 1, 4, 0, 0, tw::I32(77)};
    f +=
        tw::Desc(ghost) + ghost.payload + tw::Desc(nabs) + nabs.payload + tw::Desc(pd) + pd.payload;
    cases.push_back({"block of a missing column is skipped", f, 2, 1});
  }
  {
    tw::Col wide{1, "n_abs", 1, 8, 0, 0, tw::I64(5)};
    std::string f = tw::Header("mixed", 1, 2, 2) + tw::Desc(nabs) + tw::Desc(pd) + tw::Desc(wide) +
                    wide.payload + tw::Desc(pd) + pd.payload;
    cases.push_back({"integer block of 8 bytes is skipped", f, 2, 0});
  }
  cases.push_back(
      {"dictionary of 2^31 entries", one({3, "kind", 15, 2, 21, INT32_MAX, tw::U16(1)}), 3, 1});
  cases.push_back({"pool of 2^31 bytes", one({3, "note", 24, 4, 0, INT32_MAX, tw::I32(0)}), 3, 1});
  cases.push_back({"text of 2^31 bytes a record", one({3, "name", 2, INT32_MAX, 0, 0, "x"}), 3, 1});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    list.clear();
    TBaseClient& t = Table("mixed", true);
    t.LoadFromFile(Deliver(c.file).string());
    EXPECT_TRUE(t.FlagLoadData);
    auto lock = t.Lock();
    EXPECT_EQ(t.FieldCount(), c.columns);
    if (FieldGFB* f = t.GetField("n_abs")) {
      EXPECT_EQ(f->Data.DataInteger.size(), c.nabsRecords);
    }
    for (auto& f : t.Fields) {
      EXPECT_LE(f->Data.DataByte.size(), 64u);
      EXPECT_LE(f->Data.DataStringN.size(), 4u);
    }
    EXPECT_LE(t.Count(), 1);
  }
}

}  // namespace
