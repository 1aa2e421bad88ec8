#include "foundation/fifo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Both queues behind one face, so every rule is checked on both.
struct BytesQueue {
  OchFIFO q;
  using Item = std::vector<uint8_t>;
  static Item Make(int i) {
    std::string s = "item" + std::to_string(i);
    return Item(s.begin(), s.end());
  }
};

struct TextQueue {
  OchFIFOJSON q;
  using Item = std::string;
  static Item Make(int i) { return "{\"$c$\":\"t\",\"n\":" + std::to_string(i) + "}"; }
};

template <class Q>
class FifoTest : public ::testing::Test {};
using Queues = ::testing::Types<BytesQueue, TextQueue>;
TYPED_TEST_SUITE(FifoTest, Queues);

TYPED_TEST(FifoTest, CapacityThreeRefusesFourthAndKeepsOrderAcrossWrap) {
  TypeParam t;
  t.q.PSize(3);
  int next_in = 0, next_out = 0;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(t.q.PutSoob(TypeParam::Make(next_in++)));
  EXPECT_FALSE(t.q.PutSoob(TypeParam::Make(99)));
  EXPECT_TRUE(t.q.IsSoob());
  EXPECT_EQ(t.q.Items(), 3);
  // Take one, put one, many times: the ring wraps over and over.
  for (int round = 0; round < 10; ++round) {
    typename TypeParam::Item out;
    ASSERT_TRUE(t.q.GetSoobD(out));
    EXPECT_EQ(out, TypeParam::Make(next_out++));
    ASSERT_TRUE(t.q.PutSoob(TypeParam::Make(next_in++)));
    EXPECT_FALSE(t.q.PutSoob(TypeParam::Make(99))) << "round " << round;
  }
  typename TypeParam::Item out;
  while (t.q.GetSoobD(out)) EXPECT_EQ(out, TypeParam::Make(next_out++));
  EXPECT_EQ(next_out, next_in);
  EXPECT_FALSE(t.q.IsSoob());
  EXPECT_EQ(t.q.Items(), 0);
}

TYPED_TEST(FifoTest, PeekTwiceThenDelete) {
  TypeParam t;
  t.q.PSize(4);
  ASSERT_TRUE(t.q.PutSoob(TypeParam::Make(1)));
  ASSERT_TRUE(t.q.PutSoob(TypeParam::Make(2)));
  typename TypeParam::Item a, b;
  ASSERT_TRUE(t.q.GetSoob(a));
  ASSERT_TRUE(t.q.GetSoob(b));
  EXPECT_EQ(a, TypeParam::Make(1));
  EXPECT_EQ(a, b);
  t.q.DeleteSoob();
  ASSERT_TRUE(t.q.GetSoob(a));
  EXPECT_EQ(a, TypeParam::Make(2));
  t.q.DeleteSoob();
  EXPECT_FALSE(t.q.IsSoob());
  // Deleting from an empty queue changes nothing; it still takes 4 items.
  t.q.DeleteSoob();
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(t.q.PutSoob(TypeParam::Make(i)));
  EXPECT_FALSE(t.q.PutSoob(TypeParam::Make(5)));
}

TYPED_TEST(FifoTest, TakingFromEmptyLeavesOutputUntouched) {
  TypeParam t;
  t.q.PSize(2);
  typename TypeParam::Item out = TypeParam::Make(7);
  EXPECT_FALSE(t.q.GetSoob(out));
  EXPECT_FALSE(t.q.GetSoobD(out));
  EXPECT_EQ(out, TypeParam::Make(7));
}

TYPED_TEST(FifoTest, CapacityZeroRefusesEverything) {
  TypeParam t;
  EXPECT_FALSE(t.q.PutSoob(TypeParam::Make(1)));  // a new queue has no slots
  t.q.PSize(2);
  ASSERT_TRUE(t.q.PutSoob(TypeParam::Make(1)));
  typename TypeParam::Item out;
  ASSERT_TRUE(t.q.GetSoobD(out));  // head now at slot 1
  ASSERT_TRUE(t.q.PutSoob(TypeParam::Make(2)));
  t.q.PSize(0);
  EXPECT_FALSE(t.q.IsSoob());
  EXPECT_FALSE(t.q.PutSoob(TypeParam::Make(3)));
  EXPECT_FALSE(t.q.GetSoob(out));
}

TEST(OchFIFOJSONTest, EmptyTextRefusedAndCountOnlyGrows) {
  OchFIFOJSON q(2);
  EXPECT_FALSE(q.PutSoob(""));
  EXPECT_EQ(q.Count(), 0);
  EXPECT_TRUE(q.PutSoob("a"));
  EXPECT_TRUE(q.PutSoob("b"));
  EXPECT_FALSE(q.PutSoob("c"));  // refused: not counted
  EXPECT_EQ(q.Count(), 2);
  std::string s;
  ASSERT_TRUE(q.GetSoobD(s));
  q.DeleteSoob();
  EXPECT_EQ(q.Count(), 2);
  EXPECT_TRUE(q.PutSoob("d"));
  EXPECT_EQ(q.Count(), 3);
}

TEST(OchFIFOTest, EmptyBlockIsStoredButReadsFalse) {
  OchFIFO q(2);
  EXPECT_TRUE(q.PutSoob(nullptr, 0));
  EXPECT_TRUE(q.IsSoob());
  std::vector<uint8_t> out{1, 2};
  EXPECT_FALSE(q.GetSoob(out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(q.GetSoobD(out));  // taken all the same
  EXPECT_FALSE(q.IsSoob());
}

TEST(OchFIFOTest, ItemsAreCopies) {
  OchFIFO q(2);
  std::vector<uint8_t> b{1, 2, 3};
  ASSERT_TRUE(q.PutSoob(b));
  b[0] = 9;
  std::vector<uint8_t> out;
  ASSERT_TRUE(q.GetSoob(out));
  out[1] = 9;
  ASSERT_TRUE(q.GetSoobD(out));
  EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
}

// Several producers and consumers on one small queue: nothing is lost or
// duplicated, and each producer's items come out in the order it put them.
TEST(OchFIFOJSONTest, ManyThreadsPutAndTake) {
  constexpr int kProducers = 3, kConsumers = 2, kPerProducer = 3000;
  OchFIFOJSON q(16);
  std::atomic<int> producing{kProducers};
  std::vector<std::vector<int>> seen(kConsumers * kProducers);
  std::vector<std::thread> threads;
  for (int p = 0; p < kProducers; ++p)
    threads.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i) {
        const std::string text = std::to_string(p) + ":" + std::to_string(i);
        while (!q.PutSoob(text)) std::this_thread::yield();
      }
      producing.fetch_sub(1);
    });
  for (int c = 0; c < kConsumers; ++c)
    threads.emplace_back([&, c] {
      std::string s;
      for (;;) {
        if (q.GetSoobD(s)) {
          const size_t colon = s.find(':');
          const int p = std::stoi(s.substr(0, colon));
          seen[c * kProducers + p].push_back(std::stoi(s.substr(colon + 1)));
        } else if (producing.load() == 0 && !q.IsSoob()) {
          return;
        } else {
          std::this_thread::yield();
        }
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(q.Count(), kProducers * kPerProducer);
  for (int p = 0; p < kProducers; ++p) {
    std::vector<bool> got(kPerProducer, false);
    int total = 0;
    for (int c = 0; c < kConsumers; ++c) {
      const auto& v = seen[c * kProducers + p];
      for (size_t i = 1; i < v.size(); ++i) EXPECT_LT(v[i - 1], v[i]) << "producer " << p;
      for (int n : v) {
        EXPECT_FALSE(got[n]) << "duplicate " << p << ":" << n;
        got[n] = true;
        ++total;
      }
    }
    EXPECT_EQ(total, kPerProducer) << "producer " << p;
  }
}

TEST(OchFIFOTest, ProducerAndConsumerThreads) {
  constexpr int kItems = 20000;
  OchFIFO q(8);
  std::thread producer([&] {
    for (int i = 0; i < kItems; ++i) {
      const uint8_t b[4] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8),
                            static_cast<uint8_t>(i >> 16), 1};
      while (!q.PutSoob(b, sizeof b)) std::this_thread::yield();
    }
  });
  int next = 0;
  std::vector<uint8_t> out;
  while (next < kItems) {
    if (!q.GetSoob(out)) {
      std::this_thread::yield();
      continue;
    }
    q.DeleteSoob();  // the one consumer may peek, then delete
    ASSERT_EQ(out.size(), 4u);
    ASSERT_EQ(out[0] | out[1] << 8 | out[2] << 16, next);
    ++next;
  }
  producer.join();
  EXPECT_FALSE(q.IsSoob());
}

}  // namespace
