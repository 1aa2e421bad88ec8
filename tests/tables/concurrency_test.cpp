// The link thread writes a table while the main thread reads it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "fixtures.h"

namespace {

using tw::TableTest;

TEST_F(TableTest, UpdatesOnOneThreadReadsOnAnother) {
  TBaseClient& t = LoadMixed();
  std::atomic<bool> done{false};
  std::atomic<int> refreshes{0};
  t.OnRefresh = [&](TBaseClient*) { ++refreshes; };
  // The link side: records appended one by one, each followed by a rebuild,
  // then a reset and a fresh load as after a new log-in.
  std::thread link([&] {
    for (int32_t i = 3; i < 400; ++i) {
      const std::string form = tw::Fixed("mixed", 9) + tw::I32(i) + tw::I32(i + 1) +
                               tw::Fixed("n_abs", 16) + tw::I32(1000 + i) + tw::Fixed("p_d", 16) +
                               tw::U8(i % 7 == 0 ? 1 : 0);
      t.PutDataFieldPos(i, reinterpret_cast<const uint8_t*>(form.data()), form.size());
      t.RefreshYes = true;
      t.RefreshData();
      if (i == 200) t.DeletedRecordL(102);
    }
    done = true;
  });
  // The page side: a consistent pass over what is visible, under the lock.
  int passes = 0, bad = 0;
  while (!done || passes < 5) {
    auto lock = t.Lock();
    const int32_t n = t.Count();
    for (int32_t v = 1; v <= n; ++v) {
      FieldGFB* f = t.GetField("n_abs", v);
      const int32_t id = f ? f->GetAsInteger() : -1;
      const bool known = (id >= 101 && id <= 103) || (id >= 1003 && id < 1400);
      const bool deleted = id >= 1003 && (id - 1000) % 7 == 0;
      if (!known || deleted) ++bad;
    }
    ++passes;
  }
  link.join();
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(t.CountRecord, 400);
  EXPECT_GE(refreshes.load(), 397);
  // 397 appended, those with i % 7 == 0 flagged deleted.
  int deleted = 0;
  for (int i = 3; i < 400; ++i) deleted += i % 7 == 0;
  EXPECT_EQ(t.Count(), 2 + 397 - deleted);
}

}  // namespace
