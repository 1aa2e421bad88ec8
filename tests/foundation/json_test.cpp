#include "foundation/json.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

namespace {

struct ValueCase {
  const char* name;
  std::string message;
  const char* key;
  std::string expected;
};

TEST(GetValueFromJSON, Cases) {
  const std::vector<ValueCase> cases = {
      {"earliest occurrence wins, even nested", R"({"a":{"k":"in"},"k":"top"})", "k", "in"},
      {"three escapes unescaped", R"({"s":"q\"b\\s\/e"})", "s", "q\"b\\s/e"},
      {"backslash-n stays", R"({"s":"a\nb"})", "s", "a\\nb"},
      {"backslash-u stays", R"({"s":"\u0041"})", "s", "\\u0041"},
      {"escaped backslash then quote ends", R"({"s":"a\\","t":1})", "s", "a\\"},
      {"object without braces", R"({"o":{"x":1,"y":"}"}})", "o", R"("x":1,"y":")"},
      {"nested object balanced", R"({"o":{"a":{"b":1}},"z":2})", "o", R"("a":{"b":1})"},
      {"array of numbers", R"({"a":[1,2]})", "a", "1,2"},
      {"array brackets counted inside strings", R"({"a":["x]",1]})", "a", R"("x)"},
      {"space before colon", R"({"k" :5})", "k", "5"},
      {"space after colon", R"({"k": 5})", "k", "5"},
      {"space, colon, space skipped once", R"({"k": : 7})", "k", "7"},
      {"null is empty", R"({"k":null})", "k", ""},
      {"negative decimal", R"({"k":-12.50})", "k", "-12.50"},
      {"exponent ends the number", R"({"k":1e5})", "k", "1"},
      {"plus is not a number", R"({"k":+1})", "k", ""},
      {"true", R"({"k":true})", "k", "true"},
      {"false", R"({"k":false,"x":1})", "k", "false"},
      {"upper-case TRUE is unrecognised", R"({"k":TRUE})", "k", ""},
      {"missing key", R"({"a":1})", "k", ""},
      {"key is case-sensitive", R"({"K":1})", "k", ""},
      {"key must match whole", R"({"xk":1,"k":2})", "k", "2"},
      {"matches inside an array element", R"({"q":[{"k":3}],"k":4})", "k", "3"},
      {"no-space form wins over earlier spaced form", R"({"k" :1,"k":2})", "k", "2"},
      {"unterminated string gives what was read", R"({"s":"abc)", "s", "abc"},
      {"unbalanced object is empty", R"({"o":{"a":1)", "o", ""},
      {"value at end of text", R"("k":)", "k", ""},
      {"trailing backslash kept", "{\"s\":\"ab\\", "s", "ab\\"},
      {"bytes above 0x7F pass", "{\"s\":\"\xCF\xF0\xE8\"}", "s", "\xCF\xF0\xE8"},
      {"empty message", "", "k", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetValueFromJSON(c.message, c.key), c.expected) << c.name;
  }
}

TEST(GetValueFromJSON, NeverReadsPastTheEnd) {
  // Each prefix lives in its own exactly-sized buffer so ASan sees any overread.
  const std::string full = R"({"k":"a\"b","o":{"x":[1,2]},"n":-1.5,"t":true})";
  for (size_t n = 0; n <= full.size(); ++n) {
    std::vector<char> buf(full.begin(), full.begin() + static_cast<long>(n));
    const std::string_view view(buf.data(), buf.size());
    for (const char* key : {"k", "o", "x", "n", "t"}) GetValueFromJSON(view, key);
  }
  EXPECT_EQ(GetValueFromJSON(full, "n"), "-1.5");
}

TEST(GetFirstValueFromJSON, ThreeMembersThenFalse) {
  std::string text = R"("n":12,"s":"a\"b\nc","a":[1,[2]])";
  std::string key, value;
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"n", "12"}, {"s", "a\"bnc"}, {"a", "1,[2]"}};
  for (const auto& [k, v] : expected) {
    ASSERT_TRUE(GetFirstValueFromJSON(text, key, value)) << k;
    EXPECT_EQ(key, k);
    EXPECT_EQ(value, v);
  }
  EXPECT_FALSE(GetFirstValueFromJSON(text, key, value));
  EXPECT_EQ(text, "");
}

struct FirstCase {
  const char* name;
  std::string text;
  bool result;
  std::string key, value, rest;
};

TEST(GetFirstValueFromJSON, Cases) {
  const std::vector<FirstCase> cases = {
      {"no quote at all", "abc", false, "", "", "abc"},
      {"key without closing quote", "x\"key", false, "", "", "key"},
      {"booleans", R"("b":false,"c":1)", true, "b", "false", R"("c":1)"},
      {"null leaves the value", R"("k":null,"x":1)", false, "k", "", R"(null,"x":1)"},
      {"space after colon is not allowed", R"("k": 1)", false, "k", "", " 1"},
      {"unbalanced object stays", R"("o":{"a":1)", false, "o", "", R"({"a":1)"},
      {"object", R"("o":{"a":{"b":2}},"z":1)", true, "o", R"("a":{"b":2})", R"("z":1)"},
      {"number run stops at exponent", R"("n":2e3,"z":1)", true, "n", "2", R"(e3,"z":1)"},
      {"unterminated string takes the rest", R"("s":"abc)", true, "s", "abc", ""},
      {"key at the very end", R"("k")", false, "k", "", ""},
      {"leading junk before the key", R"({"k":1})", true, "k", "1", "}"},
  };
  for (const auto& c : cases) {
    std::string text = c.text, key = "stale", value = "stale";
    EXPECT_EQ(GetFirstValueFromJSON(text, key, value), c.result) << c.name;
    EXPECT_EQ(key, c.key) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
    EXPECT_EQ(text, c.rest) << c.name;
  }
}

TEST(GetFirstMasFromJSON, TwoObjectsThenEmpty) {
  std::string text = R"({"a":1,"b":{"c":2}},{"d":"}"})";
  std::string el;
  GetFirstMasFromJSON(text, el);
  EXPECT_EQ(el, R"({"a":1,"b":{"c":2}})");
  // The brace inside the string is counted, so this one closes early.
  GetFirstMasFromJSON(text, el);
  EXPECT_EQ(el, R"({"d":"})");
  GetFirstMasFromJSON(text, el);
  EXPECT_EQ(el, "");
  EXPECT_EQ(text, "");
}

TEST(GetFirstMasFromJSON, Cases) {
  struct C {
    const char* name;
    std::string text, element, rest;
  };
  const std::vector<C> cases = {
      {"arrays", "[1,[2]],[3]", "[1,[2]]", ",[3]"},
      {"junk before bracket deleted", "xx,{\"a\":1}", "{\"a\":1}", ""},
      {"unbalanced: only the junk goes", "ab{\"a\":{", "", "{\"a\":{"},
      {"no bracket empties text", "abc", "", ""},
      {"brace kind only: ] does not close {", "{]]}", "{]]}", ""},
  };
  for (const auto& c : cases) {
    std::string text = c.text, el = "stale";
    GetFirstMasFromJSON(text, el);
    EXPECT_EQ(el, c.element) << c.name;
    EXPECT_EQ(text, c.rest) << c.name;
  }
}

TEST(JSONString, EscapesOnlyThree) {
  EXPECT_EQ(JSONString("C:\\dir/f \"x\"\nnext\t"), "C:\\\\dir\\/f \\\"x\\\"\nnext\t");
  EXPECT_EQ(JSONString(""), "");
  // Escaped text reads back unchanged through the message reader.
  const std::string original = "a\\b/c\"d\\\\";
  EXPECT_EQ(GetValueFromJSON("{\"v\":\"" + JSONString(original) + "\"}", "v"), original);
}

TEST(Converters, StrToBytes) {
  Bytes out = {9, 9, 9};
  StrToBytes("", out);
  EXPECT_EQ(out, (Bytes{9, 9, 9}));
  StrToBytes(std::string("a\0\xFF", 3), out);
  EXPECT_EQ(out, (Bytes{'a', 0, 0xFF}));
}

TEST(Converters, HexRoundTripAndBadPairs) {
  const Bytes all = [] {
    Bytes b;
    for (int i = 0; i < 256; ++i) b.push_back(static_cast<uint8_t>(i));
    return b;
  }();
  const std::string hex = BytesToHex(all);
  ASSERT_EQ(hex.size(), 512u);
  EXPECT_EQ(hex.substr(0, 8), "00010203");
  EXPECT_EQ(hex.substr(508), "FEFF");
  Bytes back;
  HexToBytes(hex, back);
  EXPECT_EQ(back, all);

  HexToBytes("0aFfzz1g7", back);  // lower case accepted, bad pairs 0, odd digit dropped
  EXPECT_EQ(back, (Bytes{0x0A, 0xFF, 0, 0}));
  HexToBytes("", back);
  EXPECT_TRUE(back.empty());
}

TEST(Converters, Guid) {
  const std::string g = CGuid();
  ASSERT_EQ(g.size(), 36u);
  for (size_t i = 0; i < g.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      EXPECT_EQ(g[i], '-');
    } else {
      EXPECT_TRUE((g[i] >= '0' && g[i] <= '9') || (g[i] >= 'A' && g[i] <= 'F')) << g;
    }
  }
  EXPECT_NE(CGuid(), g);
}

TEST(Converters, Base64OfFileAndStream) {
  const auto dir = std::filesystem::temp_directory_path() / ("json_test_" + CGuid());
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "f.bin").string();
  {
    std::ofstream f(path, std::ios::binary);
    f << "foobar";
  }
  EXPECT_EQ(FileToBase64(path), "Zm9vYmFy");
  EXPECT_EQ(FileToBase64((dir / "missing").string()), "");
  const Bytes stream = {'x', 'f', 'o', 'o', 'b'};
  EXPECT_EQ(StreamToBase64(stream, 1), "Zm9vYg==");
  EXPECT_EQ(StreamToBase64(stream, 5), "");
  EXPECT_EQ(StreamToBase64(stream, 99), "");
  std::filesystem::remove_all(dir);
}

TEST(Converters, IntAndFloatParses) {
  struct C {
    const char* text;
    int64_t expected;  // kDef when the parse must fail
  };
  constexpr int64_t kDef = -777;
  const std::vector<C> cases = {
      {"0", 0},
      {"42", 42},
      {"-42", -42},
      {"+7", 7},
      {" 12", 12},
      {"$FF", 255},
      {"0x10", 16},
      {"-$10", -16},
      {"", kDef},
      {"12a", kDef},
      {"1.5", kDef},
      {"--1", kDef},
      {"0x", kDef},
      {"$", kDef},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", kDef},
  };
  for (const auto& c : cases) EXPECT_EQ(StrToInt64Def(c.text, kDef), c.expected) << c.text;
  EXPECT_EQ(StrToIntDef("2147483648", -1), -1);
  EXPECT_EQ(StrToIntDef("-2147483648", 0), INT32_MIN);
  EXPECT_EQ(StrToIntDef("$FFFFFFFF", 0), -1);
  EXPECT_EQ(StrToIntDef("x", 5), 5);

  EXPECT_DOUBLE_EQ(StrToFloatDef("-12.5", 0), -12.5);
  EXPECT_DOUBLE_EQ(StrToFloatDef("1e3", 0), 1000);
  EXPECT_DOUBLE_EQ(StrToFloatDef("12,5", 9), 9);
  EXPECT_DOUBLE_EQ(StrToFloatDef("nan", 9), 9);
  EXPECT_DOUBLE_EQ(StrToFloatDef("", 9), 9);
}

}  // namespace
