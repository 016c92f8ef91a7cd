// SPDX-License-Identifier: GPL-3.0-or-later
// Frame lines (the stored form of transmit list entries) and the
// hexadecimal parser.

#include "GuiHelpers.h"
#include "dialogs/UnitEditMsg.h"
#include "can/FrameText.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TCanMessage Msg(uint8_t idType, uint8_t rtr, uint8_t dlc, uint32_t id, std::vector<uint8_t> data = {}) {
  TCanMessage m{};
  m.IDType = idType;
  m.RTR = rtr;
  m.DLC = dlc;
  m.ID = id;
  for (size_t i = 0; i < data.size() && i < 8; ++i)
    m.Data[i] = data[i];
  return m;
}

TEST(MessageToLine, Examples) {
  EXPECT_EQ(MessageToLine("Rx", Msg(0, 0, 2, 0x123, {0x11, 0x22})), "Rx\tStd\t  123\t11\t22");
  EXPECT_EQ(MessageToLine("Tx", Msg(4, 2, 4, 0x100, {1, 2, 3, 4})), "Tx\tExt\t00100\tremote request (DLC=4)");
  EXPECT_EQ(MessageToLine("", Msg(0, 0, 0, 0x7)), "Std\t  007");
  EXPECT_EQ(MessageToLine("", Msg(4, 0, 1, 0x5, {0x0A})), "Ext\t00005\t0A");
  EXPECT_EQ(MessageToLine("", Msg(4, 0, 0, 0x1FFFFFFF)), "Ext\t1FFFFFFF");
  EXPECT_EQ(MessageToLine("", Msg(0, 0, 0, 0x7FF)), "Std\t  7FF");
  EXPECT_EQ(MessageToLine("", Msg(0, 0, 0, 0xFFFFFFFF)), "Std\t  FFFFFFFF"); // a minimum, not a maximum
  EXPECT_EQ(MessageToLine("", Msg(7, 1, 0, 1)), "Ext\t00001\tremote request (DLC=0)");
}

TEST(MessageToLine, DataLengthAboveEightNeverReadsPastTheRecord) {
  TCanMessage m = Msg(0, 0, 255, 0x1, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(MessageToLine("Rx", m), "Rx\tStd\t  001\t01\t02\t03\t04\t05\t06\t07\t08");
  EXPECT_EQ(MessageToLine("", Msg(0, 2, 15, 1)), "Std\t  001\tremote request (DLC=15)");
}

TEST(LineToMessage, RoundTripsEveryLineItMakes) {
  for (uint8_t kind : {0, 4})
    for (uint8_t rtr : {0, 2})
      for (uint8_t dlc = 0; dlc <= 8; ++dlc) {
        TCanMessage in = Msg(kind, rtr, dlc, kind ? 0x1ABCDEF : 0x5A5, {0xDE, 0xAD, 0xBE, 0xEF, 0, 1, 2, 3});
        if (rtr)
          std::fill(std::begin(in.Data), std::end(in.Data), 0);
        TCanMessage out;
        LineToMessage(MessageToLine("", in), out);
        EXPECT_EQ(out.Command, 0x0501);
        EXPECT_EQ(out.IDType, kind);
        EXPECT_EQ(out.RTR, rtr);
        EXPECT_EQ(out.ID, in.ID);
        EXPECT_EQ(out.DLC, dlc);
        for (int i = 0; i < dlc; ++i)
          EXPECT_EQ(out.Data[i], in.Data[i]);
      }
}

TEST(LineToMessage, EdgeCases) {
  TCanMessage m;
  LineToMessage("std\t  123", m);
  EXPECT_EQ(m.IDType, 4); // only "Std" exactly is standard
  LineToMessage("Std\t\t  123\t\t11", m);
  EXPECT_EQ(m.IDType, 0);
  EXPECT_EQ(m.ID, 0x123u);
  EXPECT_EQ(m.DLC, 1);
  EXPECT_EQ(m.Data[0], 0x11);
  LineToMessage("Std\t  1\t1\t2\t3\t4\t5\t6\t7\t8\t9\tA", m);
  EXPECT_EQ(m.DLC, 8);
  EXPECT_EQ(m.Data[7], 8);
  LineToMessage("Ext\t1\tremote request (DLC=12)", m);
  EXPECT_EQ(m.RTR, 2);
  EXPECT_EQ(m.DLC, 1);
  LineToMessage("Ext\t1\tremote request (DLC=x)", m);
  EXPECT_EQ(m.DLC, 0);
  LineToMessage("Ext\t1\tremote request (DLC=", m);
  EXPECT_EQ(m.DLC, 0);
  LineToMessage("Ext\t1\tremote request (DLC=9)", m);
  EXPECT_EQ(m.DLC, 8); // never above the eight bytes a record holds
  LineToMessage("Std\t1\tG1\t1FF", m);
  EXPECT_EQ(m.Data[0], 0x01);
  EXPECT_EQ(m.Data[1], 0xFF);
  LineToMessage("Std\t1\t01\tremote request (DLC=3)", m);
  EXPECT_EQ(m.RTR, 0); // only the first data field can be the remote text
  EXPECT_EQ(m.DLC, 2);
  LineToMessage("", m);
  EXPECT_EQ(m.IDType, 0);
  EXPECT_EQ(m.ID, 0u);
  EXPECT_EQ(m.DLC, 0);
  EXPECT_EQ(m.Command, 0x0501);
  LineToMessage("Ext\tFFFFFFFFF", m);
  EXPECT_EQ(m.ID, 0xFFFFFFFFu); // not masked
}

TEST(HexToInt, Rules) {
  EXPECT_EQ(HexToInt(""), 0u);
  EXPECT_EQ(HexToInt("0x1F"), 0x1Fu);
  EXPECT_EQ(HexToInt("ffffffff"), 0xFFFFFFFFu);
  EXPECT_EQ(HexToInt("123456789"), 0x23456789u);
  EXPECT_EQ(HexToInt("a"), 0xAu);
  EXPECT_EQ(HexToInt("G"), 0u);
  EXPECT_EQ(HexToInt("1 "), 0x10u);
  EXPECT_EQ(HexToInt(" 1"), 0x1u);
  EXPECT_EQ(HexToInt("1G"), 0x10u);
  EXPECT_EQ(HexToInt("  7FF"), 0x7FFu);
  EXPECT_EQ(HexToInt(QString::fromUtf8("\xC3\xA4""1")), 0x1u); // any other character counts as 0
}

} // namespace

namespace {

TCanMessage CandumpMsg(uint8_t idType, uint8_t rtr, uint8_t dlc, uint32_t id) {
  TCanMessage m{};
  m.Command = 0x0501;
  m.IDType = idType;
  m.RTR = rtr;
  m.DLC = dlc;
  m.ID = id;
  for (int i = 0; i < dlc && !rtr; ++i)
    m.Data[i] = static_cast<uint8_t>(0x3C + 17 * i);
  return m;
}

// Every frame the export writes reads back as the same frame and stamp.
TEST(CandumpLine, EveryWrittenKindReadsBack) {
  int64_t stamp = 1700000000123456;
  for (uint8_t idType : {0, 4})
    for (uint8_t rtr : {0, 2})
      for (uint8_t dlc = 0; dlc <= 8; ++dlc) {
        const TCanMessage m = CandumpMsg(idType, rtr, dlc, idType ? 0x1ABCDEF0 + dlc : 0x700 + dlc);
        const QByteArray line = CandumpLine(m, ++stamp, "vcan3");
        const TCandumpRecord r = ParseCandumpLine(line.toStdString());
        ASSERT_EQ(r.Kind, TCandumpKind::Frame) << line.toStdString();
        EXPECT_EQ(r.WallUs, stamp);
        EXPECT_EQ(r.Interface, "vcan3");
        EXPECT_EQ(std::memcmp(&r.Msg, &m, sizeof m), 0) << line.toStdString();
      }
}

TEST(CandumpLine, OtherToolsLinesAndDamagedOnes) {
  TCandumpRecord r = ParseCandumpLine("(1436509052.249713) vcan0 044#2A366C2BBA T\r\n");
  ASSERT_EQ(r.Kind, TCandumpKind::Frame);
  EXPECT_EQ(r.Msg.DLC, 5);
  EXPECT_EQ(r.Msg.Data[4], 0xBA);
  r = ParseCandumpLine("(0.000001) can0 12345678#11.22.33");
  ASSERT_EQ(r.Kind, TCandumpKind::Frame);
  EXPECT_EQ(r.Msg.IDType, 4);
  EXPECT_EQ(r.Msg.DLC, 3);
  // The number of digits decides the kind, not the value.
  r = ParseCandumpLine("(1.000000) can0 00000123#11");
  ASSERT_EQ(r.Kind, TCandumpKind::Frame);
  EXPECT_EQ(r.Msg.IDType, 4);
  EXPECT_EQ(r.Msg.ID, 0x123u);
  EXPECT_EQ(ParseCandumpLine("(1.000000) can0 123#11").Msg.IDType, 0);
  EXPECT_EQ(ParseCandumpLine("(1.000000) can0 123#r").Msg.RTR, 2);
  EXPECT_EQ(ParseCandumpLine("(1.000000) can0 123##311223344").Kind, TCandumpKind::FdFrame);
  EXPECT_EQ(ParseCandumpLine("(1.000000) can0 20000080#0000000000000000").Kind, TCandumpKind::Error);
  for (const char *bad : {"", "# a comment", "(1.000000) can0", "(1.0) can0 123#11", "(x.000000) can0 123#11",
                          "(1.000000) can0 12#11", "(1.000000) can0 123#1", "(1.000000) can0 800#11",
                          "(1.000000) can0 123#112233445566778899", "(1.000000) can0 123#R9",
                          "(1.000000) can0 123#11 X", "(1.000000)  123#11", "(1.000000) can0 1G3#11",
                          "(1.000000) ca\x01n0 123#11"})
    EXPECT_EQ(ParseCandumpLine(bad).Kind, TCandumpKind::NotFrame) << bad;
}

} // namespace
