// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated adapter's clock: its bus source times frames as a bus of the
// given bit rate and load carries them, and its receive queue is bounded and
// counts what it loses. Times are given to the model, so nothing here
// depends on how fast the test runs.

#include "adapter_model.h"
#include "can/FrameBits.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

SimAdapterModel Started() {
  SimAdapterModel m("B1");
  const uint8_t hello[4] = {0x01, 0x01, 0, 0}, start[4] = {0x01, 0x03, 0x03, 0};
  m.Request(hello, 4);
  m.Request(start, 4);
  return m;
}

// Polls every waiting frame out and returns their lengths on the bus.
std::vector<int> DrainBits(SimAdapterModel &m) {
  std::vector<int> bits;
  const uint8_t poll[4] = {0x00, 0x05, 0, 0};
  for (;;) {
    m.Request(poll, 4);
    auto reply = m.TakeReply();
    if (!reply || reply->size() != 20 || (*reply)[2] == 8)
      return bits;
    TCanMessage msg;
    std::memcpy(&msg, reply->data(), 20);
    bits.push_back(FrameBits(msg));
  }
}

// At 1 Mbit/s a bit lasts 1 us: at full load each frame reaches the adapter
// the microsecond its last bit has passed; at a quarter of the load each
// frame's slot is four times its length.
TEST(SimBus, FramesArriveWhenTheirLastBitHasPassed) {
  for (double load : {100.0, 25.0}) {
    SimAdapterModel m = Started();
    m.rxDepth = 100000;
    m.SetBusSource(1000000, load, 0);
    m.Tick(20000);
    const std::vector<int> bits = DrainBits(m);
    ASSERT_GT(bits.size(), 10u);
    EXPECT_EQ(m.busOffered, static_cast<long>(bits.size()));
    int64_t start = 0;
    for (size_t i = 0; i + 1 < bits.size(); ++i)
      start += static_cast<int64_t>(bits[i] * (100.0 / load));
    const int64_t lastEnd = start + bits.back();
    // The last frame had ended; the one after it had not (its length is at
    // least that of an unstuffed standard frame).
    EXPECT_LE(lastEnd, 20000) << load;
    EXPECT_GT(start + static_cast<int64_t>(bits.back() * (100.0 / load)) + 111 + 13, 20000) << load;
    // Ticking at the same time again brings nothing new.
    m.Tick(20000);
    EXPECT_TRUE(DrainBits(m).empty());
  }
}

// A queue of three: the first three frames wait in order, the others are
// lost and counted; a poll frees a place for the next frame. A stopped
// adapter hears nothing, and a silent stretch costs nothing.
TEST(SimBus, TheReceiveQueueIsBoundedAndCountsWhatItLoses) {
  SimAdapterModel m = Started();
  m.rxDepth = 3;
  SimFrame f{};
  f.bytes[0] = 0x01;
  f.bytes[1] = 0x05;
  f.bytes[5] = 1;
  for (uint8_t id = 1; id <= 5; ++id) {
    f.bytes[8] = id;
    m.HearFrame(f);
  }
  EXPECT_EQ(m.backlog(), 3u);
  EXPECT_EQ(m.rxDropped, 2);
  const uint8_t poll[4] = {0x00, 0x05, 0, 0};
  m.Request(poll, 4);
  EXPECT_EQ(m.TakeReply()->at(8), 1);
  f.bytes[8] = 6;
  m.HearFrame(f);
  EXPECT_EQ(m.backlog(), 3u);
  EXPECT_EQ(m.rxDropped, 2);
  for (uint8_t id : {2, 3, 6}) {
    m.Request(poll, 4);
    EXPECT_EQ(m.TakeReply()->at(8), id);
  }

  SimAdapterModel idle("B2");
  idle.SetBusSource(500000, 50, 0);
  idle.Tick(3600LL * 1000000);
  EXPECT_EQ(idle.busOffered, 0);
  EXPECT_EQ(idle.backlog(), 0u);
}

} // namespace
