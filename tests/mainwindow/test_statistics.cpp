// SPDX-License-Identifier: GPL-3.0-or-later
// Frame bit lengths, rates and bus load.

#include "mainwindow/BusStatistics.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TCanMessage Frame(bool extended, bool remote, uint8_t dlc, uint32_t id, uint8_t fill = 0) {
  TCanMessage m{};
  m.IDType = extended ? 4 : 0;
  m.RTR = remote ? 2 : 0;
  m.DLC = dlc;
  m.ID = id;
  for (uint8_t &b : m.Data)
    b = fill;
  return m;
}

// An all-zero standard frame: SOF, identifier, control field and CRC are 34
// dominant bits (the CRC of zeros is zero), stuffed after every fifth: 6
// stuff bits, then 13 fixed bits.
TEST(FrameBits, AllDominantStandardFrameHasItsStuffBitsCounted) {
  EXPECT_EQ(FrameBits(Frame(false, false, 0, 0)), 34 + 6 + 13);
  // Eight zero bytes: 83 zero bits before the CRC give 16 stuff bits; the
  // CRC may add at most 4 more.
  const int bits = FrameBits(Frame(false, false, 8, 0, 0x00));
  EXPECT_GE(bits, 111 + 16);
  EXPECT_LE(bits, 111 + 16 + 4);
  // Any non-zero RTR is a remote request: no data field on the bus.
  TCanMessage rtr1 = Frame(false, false, 8, 0x123, 0x00);
  rtr1.RTR = 1;
  TCanMessage rtr2 = rtr1;
  rtr2.RTR = 2;
  EXPECT_EQ(FrameBits(rtr1), FrameBits(rtr2));
  EXPECT_LT(FrameBits(rtr1), FrameBits(Frame(false, false, 8, 0x123, 0x00)));
}

// Every frame lies between its unstuffed length and the worst case of
// stuffing, (bits before the CRC end - 1) / 4.
TEST(FrameBits, EveryFrameLiesBetweenUnstuffedAndWorstCaseLength) {
  std::mt19937 rng(12345);
  for (int i = 0; i < 20000; ++i) {
    const bool ext = rng() & 1;
    const bool remote = (rng() % 4) == 0;
    const uint8_t dlc = rng() % 9;
    TCanMessage m = Frame(ext, remote, dlc, rng());
    for (uint8_t &b : m.Data)
      b = static_cast<uint8_t>(rng());
    const int n = remote ? 0 : dlc;
    const int stuffedPart = (ext ? 54 : 34) + 8 * n;
    const int bits = FrameBits(m);
    ASSERT_GE(bits, stuffedPart + 13) << i;
    ASSERT_LE(bits, stuffedPart + 13 + (stuffedPart - 1) / 4) << i;
  }
  // A remote request carries no data bits whatever its length and bytes.
  EXPECT_EQ(FrameBits(Frame(false, true, 8, 0x123, 0xAA)) - FrameBits(Frame(false, true, 8, 0x123, 0x55)), 0);
  // Lengths above 8 carry eight bytes.
  EXPECT_LE(FrameBits(Frame(true, false, 15, 0x1FFFFFFF, 0xFF)), 160);
}

TEST(BusStatistics, RatesAndLoadOverThePeriod) {
  EXPECT_EQ(BitRate(0), 10000);
  EXPECT_EQ(BitRate(4), 125000);
  EXPECT_EQ(BitRate(7), 1000000);
  EXPECT_EQ(BitRate(8), 0);

  TBusStatistics s;
  const TCanMessage zero = Frame(false, false, 0, 0); // 53 bits
  for (int i = 0; i < 100; ++i)
    s.Count(zero, true);
  for (int i = 0; i < 50; ++i)
    s.Count(zero, false);
  TRates r = s.Take(1.0, 10000);
  EXPECT_DOUBLE_EQ(r.RxPerSecond, 100);
  EXPECT_DOUBLE_EQ(r.TxPerSecond, 50);
  EXPECT_DOUBLE_EQ(r.LoadPercent, 150 * 53 * 100.0 / 10000);
  EXPECT_EQ(RatesText(r), "Rx 100/s  Tx 50/s  Load 79.5 %");

  // A new period begins with each reading; over two seconds the rates halve.
  r = s.Take(1.0, 10000);
  EXPECT_EQ(RatesText(r), "Rx 0/s  Tx 0/s  Load 0.0 %");
  for (int i = 0; i < 100; ++i)
    s.Count(zero, true);
  r = s.Take(2.0, 500000);
  EXPECT_DOUBLE_EQ(r.RxPerSecond, 50);
  EXPECT_DOUBLE_EQ(r.LoadPercent, 100 * 53 * 100.0 / (2 * 500000));
  // An unknown bit rate or no elapsed time gives no load rather than a
  // division by zero.
  s.Count(zero, true);
  r = s.Take(1.0, 0);
  EXPECT_DOUBLE_EQ(r.RxPerSecond, 1);
  EXPECT_DOUBLE_EQ(r.LoadPercent, 0);
  s.Count(zero, true);
  r = s.Take(0.0, 10000);
  EXPECT_DOUBLE_EQ(r.RxPerSecond, 0);
}

} // namespace
