// A table load through loss, duplication and reordering arrives byte-exact.
#include <gtest/gtest.h>

#include "server_fixture.h"

namespace {

class FaultyLoadTest : public ServerTest, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(FaultyLoadTest, TableFileArrivesByteExact) {
  srv::FaultSettings f;
  f.drop = 0.1;
  f.dup = 0.05;
  f.reorder = 0.05;
  f.seed = GetParam();
  SCOPED_TRACE("fault seed " + std::to_string(f.seed));
  StartServer(f, 1500);
  auto c = Client();
  bool in = false;
  for (int i = 0; i < 8 && !in; ++i)
    in = c->Login("op", kPassword, nullptr, 2000);  // a lost log-in is tried again
  ASSERT_TRUE(in);
  Bytes file;
  ASSERT_TRUE(c->LoadTable("object", "", file));
  Bytes expect =
      server_->With([](srv::ServerCore& s) { return s.store().Table("object")->TableFile({}); });
  EXPECT_EQ(file, expect);
  EXPECT_GT(server_->With([](srv::ServerCore& s) { return s.Retransmissions(); }), 0);
}

INSTANTIATE_TEST_SUITE_P(Seeds, FaultyLoadTest, ::testing::Values(1u, 2u, 3u));

TEST(FaultLineTest, SameSeedSameFate) {
  srv::FaultSettings f;
  f.drop = 0.3;
  f.dup = 0.2;
  f.reorder = 0.2;
  f.seed = 7;
  auto run = [&]() {
    srv::FaultLine line(f, 1);
    std::vector<uint8_t> order;
    for (uint8_t i = 0; i < 100; ++i) {
      line.Push(srv::Datagram{{}, {i}}, i);
      for (auto& d : line.Due(i)) order.push_back(d.bytes[0]);
    }
    for (auto& d : line.Due(1000)) order.push_back(d.bytes[0]);
    return order;
  };
  auto a = run();
  EXPECT_EQ(a, run());
  EXPECT_LT(a.size(), 120u);
  EXPECT_GT(a.size(), 60u);
  EXPECT_FALSE(std::is_sorted(a.begin(), a.end()));  // some were reordered
}

}  // namespace
