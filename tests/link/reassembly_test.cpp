#include "link/reassembly.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

std::vector<uint8_t> Record(zag_ex h, const std::vector<uint8_t>& data, uint8_t marker = 2) {
  std::vector<uint8_t> payload = MakePayload(data.data(), data.size());
  h.sizepacket = static_cast<uint32_t>(payload.size());
  std::vector<uint8_t> dg = BuildDatagram(h, payload.data(), payload.size());
  dg.insert(dg.begin(), marker);
  return dg;
}

// A message cut into packets of `per` bytes, as records.
std::vector<std::vector<uint8_t>> Packets(const std::vector<uint8_t>& msg, uint8_t type,
                                          int64_t count, size_t per = 960) {
  std::vector<std::vector<uint8_t>> out;
  uint32_t all = static_cast<uint32_t>((msg.size() - 1) / per + 1);
  for (uint32_t i = 0; i < all; ++i) {
    zag_ex h;
    h.typepacket = type;
    h.pos = static_cast<uint32_t>(i * per);
    h.Size = static_cast<uint32_t>(msg.size());
    h.count = count;
    h.AllPacket = all;
    h.TPacket = i + 1;
    size_t end = std::min(msg.size(), (i + 1) * per);
    out.push_back(Record(h, std::vector<uint8_t>(msg.begin() + h.pos, msg.begin() + end)));
  }
  return out;
}

std::vector<uint8_t> Bytes(size_t n, uint32_t seed) {
  std::mt19937 r(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(r());
  return v;
}

TEST(Reassembly, MultiPacketTextInAnyOrderWithDuplicates) {
  std::atomic<int64_t> last{0};
  TReassembly r(last);
  std::vector<uint8_t> msg = Bytes(960 * 8 + 5, 1);
  auto packets = Packets(msg, kTypeText, 4);
  ASSERT_EQ(packets.size(), 9u);
  std::mt19937 rng(7);
  std::shuffle(packets.begin(), packets.end(), rng);
  packets.insert(packets.begin() + 3, packets[1]);  // a duplicate before completion
  TAssembled done;
  int completions = 0;
  for (const auto& p : packets) {
    TAssembled a = r.Take(p.data(), p.size());
    if (a.kind == TAssembled::kMessage) {
      done = a;
      ++completions;
    }
  }
  ASSERT_EQ(completions, 1);
  EXPECT_TRUE(done.multi);
  EXPECT_EQ(done.data, msg);
  EXPECT_EQ(last.load(), 5);
  // Arriving again after completion it is dropped.
  EXPECT_EQ(r.Take(packets[0].data(), packets[0].size()).kind, TAssembled::kNothing);
}

TEST(Reassembly, SinglePacketsCompleteAtOnceAndStaleCopiesAreDropped) {
  std::atomic<int64_t> last{0};
  TReassembly r(last);
  std::string text = "{\"$c$\":\"regok\"}";
  std::vector<uint8_t> rec = Record(
      [] {
        zag_ex h;
        h.count = 1;
        h.AllPacket = 1;
        h.TPacket = 1;
        h.Size = 17;
        return h;
      }(),
      std::vector<uint8_t>(text.begin(), text.end()));
  TAssembled a = r.Take(rec.data(), rec.size());
  ASSERT_EQ(a.kind, TAssembled::kMessage);
  EXPECT_FALSE(a.multi);
  EXPECT_EQ(std::string(a.data.begin(), a.data.end()), text);
  EXPECT_EQ(last.load(), 2);
  EXPECT_EQ(r.Take(rec.data(), rec.size()).kind, TAssembled::kNothing);
  // Type 20 is never taken for a duplicate.
  zag_ex h;
  h.typepacket = kTypeLink;
  h.count = 1;
  h.AllPacket = 1;
  h.TPacket = 1;
  std::vector<uint8_t> link = Record(h, {'{', '}'}, kSoobLink);
  EXPECT_EQ(r.Take(link.data(), link.size()).kind, TAssembled::kMessage);
  EXPECT_EQ(r.Take(link.data(), link.size()).kind, TAssembled::kMessage);
}

TEST(Reassembly, MalformedPacketsEndTheConnectionOrAreDropped) {
  struct Case {
    const char* what;
    uint8_t type;
    uint32_t pos, Size, all, tpacket;
    size_t dataLen;
    TAssembled::Kind expect;
  };
  const Case cases[] = {
      {"raw without data", kTypeRaw2, 0, 10, 1, 1, 0, TAssembled::kBadPacket},
      {"raw beyond Size", kTypeRaw3, 960, 1000, 2, 2, 960, TAssembled::kBadPacket},
      {"multi text beyond Size", kTypeText, 960, 1000, 2, 2, 960, TAssembled::kBadPacket},
      {"text Size above 64 MiB", kTypeText, 0, (64u << 20) + 1, 70000, 1, 960,
       TAssembled::kNothing},
      {"AllPacket not matching Size", kTypeText, 0, 2000, 4000000, 1, 960, TAssembled::kNothing},
      {"TPacket beyond AllPacket", kTypeText, 0, 2000, 3, 4, 960, TAssembled::kNothing},
      {"TPacket zero", kTypeRaw2, 0, 2000, 3, 0, 960, TAssembled::kNothing},
  };
  for (const Case& c : cases) {
    std::atomic<int64_t> last{0};
    TReassembly r(last);
    zag_ex h;
    h.typepacket = c.type;
    h.pos = c.pos;
    h.Size = c.Size;
    h.count = 1;
    h.AllPacket = c.all;
    h.TPacket = c.tpacket;
    std::vector<uint8_t> rec = Record(h, std::vector<uint8_t>(c.dataLen, 1));
    TAssembled a = r.Take(rec.data(), rec.size());
    EXPECT_EQ(a.kind, c.expect) << c.what;
    if (c.expect == TAssembled::kBadPacket) {
      EXPECT_EQ(a.log.rfind("-------> ", 0), 0u);
    }
  }
}

TEST(Reassembly, BadRawLogLineListsTheNumbers) {
  std::atomic<int64_t> last{0};
  TReassembly r(last);
  zag_ex h;
  h.typepacket = kTypeRaw2;
  h.pos = 100;
  h.Size = 120;
  h.count = 6;
  h.AllPacket = 1;
  h.TPacket = 1;
  std::vector<uint8_t> rec = Record(h, std::vector<uint8_t>(30, 1));
  TAssembled a = r.Take(rec.data(), rec.size());
  ASSERT_EQ(a.kind, TAssembled::kBadPacket);
  EXPECT_EQ(a.log, "-------> 0 32 100 120 30 1 6 0");
}

TEST(Reassembly, FilePacketsPassThroughUnlessStale) {
  std::atomic<int64_t> last{5};
  TReassembly r(last);
  zag_ex h;
  h.typepacket = kTypeFile;
  h.Size = 3;
  h.count = 5;
  h.AllPacket = 1;
  h.TPacket = 1;
  std::vector<uint8_t> rec = Record(h, {1, 2, 3});
  TAssembled a = r.Take(rec.data(), rec.size());
  ASSERT_EQ(a.kind, TAssembled::kFilePacket);
  EXPECT_EQ(a.data, (std::vector<uint8_t>{1, 2, 3}));
  last = 6;
  EXPECT_EQ(r.Take(rec.data(), rec.size()).kind, TAssembled::kNothing);
}

TEST(Reassembly, ANewerMessageReplacesAnAbandonedPartialOne) {
  std::atomic<int64_t> last{0};
  TReassembly r(last);
  auto old = Packets(Bytes(3000, 2), kTypeRaw2, 3);
  r.Take(old[0].data(), old[0].size());
  std::vector<uint8_t> msg = Bytes(2500, 3);
  TAssembled done;
  for (const auto& p : Packets(msg, kTypeRaw2, 4)) {
    TAssembled a = r.Take(p.data(), p.size());
    if (a.kind == TAssembled::kMessage) done = a;
  }
  EXPECT_EQ(done.data, msg);
  // The rest of the old one is stale now.
  EXPECT_EQ(r.Take(old[1].data(), old[1].size()).kind, TAssembled::kNothing);
}

}  // namespace

namespace {

TEST(Reassembly, PacketCountsMustFitTheAnnouncedSize) {
  struct Case {
    uint32_t Size, all, tpacket;
    bool ok;
  };
  const Case cases[] = {
      {0, 1, 1, true},                       // an empty file: one packet of seeds
      {2000, 3, 2, true},                    // 960 + 960 + 80
      {2000, 40, 1, false},                  // packets of 50 bytes: too many for the size
      {0xFFFFFFFFu, 0xFFFFFFFFu, 1, false},  // would need a 512 MB bitmap
      {100000, 2, 3, false},                 // TPacket beyond AllPacket
      {100000, 0, 0, false},
  };
  for (const Case& c : cases) {
    zag_ex h;
    h.Size = c.Size;
    h.AllPacket = c.all;
    h.TPacket = c.tpacket;
    EXPECT_EQ(TReassembly::Consistent(h), c.ok) << c.Size << " " << c.all;
  }
}

}  // namespace
