// SPDX-License-Identifier: GPL-3.0-or-later
// The adapter's command protocol, asserted byte for byte on the wire.

#include "SimHelpers.h"
#include "adapter/Vni_if.h"
#include "transport/Libusbdyn.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

class Vni : public ::testing::Test {
protected:
  void SetUp() override {
    libusbdyn::ResetForTest({"libusb-0.1.so.4"});
    sim_reset();
    sim_add_adapter("A1");
  }
};

TEST_F(Vni, WholeConnectionProducesTheExpectedWireTrace) {
  sim_set_info("A1", 0, 0x0105);
  TVNI vni;
  ASSERT_TRUE(vni.Open("A1"));
  TDeviceInfo info{};
  ASSERT_TRUE(vni.ReadDeviceInfo(&info));
  TDeviceConfig config{};
  config.Speed = 6;
  config.Termination = 1;
  config.Retransmission = 1;
  ASSERT_TRUE(vni.WriteConfig(&config));
  TFilterTable filters = DefaultFilterTable();
  for (auto &f : filters)
    ASSERT_TRUE(vni.WriteFilter(&f));
  ASSERT_TRUE(vni.Start(true, true));
  TCanMessage rx{};
  EXPECT_FALSE(vni.ReceiveFrame(&rx));
  TCanMessage tx{};
  tx.ID = 0x123;
  tx.DLC = 2;
  tx.Data[0] = 0x11;
  tx.Data[1] = 0x22;
  ASSERT_TRUE(vni.TransmitFrame(&tx));
  vni.Close();

  std::vector<std::string> expected;
  auto out = [&](const std::string &s) { expected.push_back("> " + s); };
  auto in = [&](const std::string &s) { expected.push_back("< " + s); };
  out("01 01 00 00");
  in("01 01 01 00");
  out("00 02 00 00");
  in("00 02 00 00 05 01 00 00 41 31" + std::string(54 * 3, ' ')); // placeholder, checked below
  out("01 04 06 01 01 00 00 00");
  out("11 05 00 00 00 00 01 00 00 00 00 00 00 00 00 00");
  in("11 05 01 00");
  for (int bank = 1; bank < 14; ++bank) {
    char b[64];
    std::snprintf(b, sizeof b, "11 05 00 00 00 %02X 00 00 00 00 00 00 00 00 00 00", bank);
    out(b);
    in("11 05 01 00");
  }
  out("01 03 03 00");
  out("00 05 00 00");
  in("00 05 08 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
  out("01 05 00 00 00 02 00 00 23 01 00 00 11 22 00 00 00 00 00 00");
  in("01 05 01 00");
  out("00 01 00 00");

  std::vector<std::string> actual;
  for (const auto &w : Trace())
    actual.push_back((w.out ? "> " : "< ") + Hex(w.bytes));
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    if (i == 3)
      continue;
    EXPECT_EQ(actual[i], expected[i]) << "at " << i;
  }
  std::vector<uint8_t> infoRecord(64, 0);
  infoRecord[1] = 0x02;
  infoRecord[4] = 0x05;
  infoRecord[5] = 0x01;
  infoRecord[8] = 'A';
  infoRecord[9] = '1';
  EXPECT_EQ(actual[3], "< " + Hex(infoRecord));
  EXPECT_EQ(info.Command, 0x0200);
  EXPECT_EQ(info.Firmware, 0x0105);
  EXPECT_EQ(DeviceInfoSerial(info), "A1");
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(Vni, HandshakeRefusedReleasesTheDeviceWithoutClosing) {
  sim_set_handshake_status("A1", 0);
  TVNI vni;
  EXPECT_FALSE(vni.Open("A1"));
  EXPECT_FALSE(vni.IsOpen());
  EXPECT_EQ(Requests(), std::vector<std::string>{"01 01 00 00"});
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(Vni, HandshakeWithoutReplyOrWithShortReplyIsConsent) {
  sim_set_handshake_status("A1", -1);
  TVNI vni;
  EXPECT_TRUE(vni.Open("A1"));
  vni.Close();
  sim_set_handshake_status("A1", 0);
  const uint8_t shortReply[3] = {0x01, 0x01, 0x00};
  sim_set_next_reply(shortReply, 3);
  EXPECT_TRUE(vni.Open("A1"));
}

TEST_F(Vni, HandshakeThatCannotBeWrittenFails) {
  TVNI vni;
  sim_set_write_failures(3, -EIO);
  EXPECT_FALSE(vni.Open("A1"));
  EXPECT_FALSE(vni.IsOpen());
  EXPECT_EQ(sim_open_handles(), 0);
}

// A client that died between a request and its reply leaves the reply in
// the adapter; the next connection succeeds on its first try all the same.
TEST_F(Vni, AReplyLeftUnreadByAnEarlierClientDoesNotFailTheNextConnection) {
  TVNI vni;
  const uint8_t refusedTransmit[4] = {0x01, 0x05, 0x00, 0x00};
  sim_leave_unread_reply("A1", refusedTransmit, 4);
  ASSERT_TRUE(vni.Open("A1"));
  EXPECT_EQ(Requests(), (std::vector<std::string>{"01 01 00 00", "01 01 00 00"}));
  TDeviceInfo info{};
  EXPECT_TRUE(vni.ReadDeviceInfo(&info));
  EXPECT_EQ(DeviceInfoSerial(info), "A1");
  vni.Close();
  // A poll's frame record left waiting: longer than the handshake's reply.
  auto frame = FrameBytes(0, 0, 1, 0x123, {0x42});
  sim_leave_unread_reply("A1", frame.data(), static_cast<int>(frame.size()));
  ASSERT_TRUE(vni.Open("A1"));
  EXPECT_TRUE(vni.ReadDeviceInfo(&info));
  EXPECT_EQ(DeviceInfoSerial(info), "A1");
  vni.Close();
  // An adapter that takes no request while a reply waits: the write times out.
  sim_set_write_failures(3, -ETIMEDOUT);
  EXPECT_TRUE(vni.Open("A1"));
}

TEST_F(Vni, ReceivePollResults) {
  TVNI vni;
  ASSERT_TRUE(vni.Open("A1"));
  ASSERT_TRUE(vni.Start(true, true));
  TCanMessage m{};
  for (uint8_t kind : {0, 4}) {
    auto f = FrameBytes(kind, 0, 3, 0x7FF, {1, 2, 3});
    sim_inject_frame("A1", f.data());
    ASSERT_TRUE(vni.ReceiveFrame(&m));
    EXPECT_EQ(m.IDType, kind);
    EXPECT_EQ(m.ID, 0x7FFu);
    EXPECT_EQ(m.DLC, 3);
    EXPECT_EQ(m.Data[2], 3);
  }
  EXPECT_FALSE(vni.ReceiveFrame(&m)); // no frame marker
  const uint8_t shortReply[10] = {0, 5, 0};
  sim_set_next_reply(shortReply, 10);
  EXPECT_FALSE(vni.ReceiveFrame(&m));
  std::vector<uint8_t> longReply(40, 0);
  sim_set_next_reply(longReply.data(), 40);
  EXPECT_FALSE(vni.ReceiveFrame(&m)); // the library reports an overflow
  EXPECT_TRUE(vni.IsOpen());
}

TEST_F(Vni, TransmitAndFilterAcceptOnlyStatusOne) {
  TVNI vni;
  ASSERT_TRUE(vni.Open("A1"));
  TCanMessage m{};
  TFilterBank f{};
  for (int status : {0, 2, 1}) {
    sim_set_transmit_status("A1", status);
    sim_set_filter_status("A1", status);
    EXPECT_EQ(vni.TransmitFrame(&m), status == 1);
    EXPECT_EQ(vni.WriteFilter(&f), status == 1);
  }
  sim_set_read_failures(1, -ETIMEDOUT);
  EXPECT_FALSE(vni.TransmitFrame(&m)); // a lost reply counts as refused
}

TEST_F(Vni, ClosedAdapterSendsNothingButStillStampsCommandWords) {
  TVNI vni;
  TCanMessage m{};
  TDeviceConfig c{};
  TFilterBank f{};
  TDeviceInfo i{};
  EXPECT_FALSE(vni.TransmitFrame(&m));
  EXPECT_FALSE(vni.WriteConfig(&c));
  EXPECT_FALSE(vni.WriteFilter(&f));
  EXPECT_FALSE(vni.ReceiveFrame(&m));
  EXPECT_FALSE(vni.ReadDeviceInfo(&i));
  EXPECT_FALSE(vni.Start(true, true));
  vni.Close();
  EXPECT_EQ(m.Command, 0x0501);
  EXPECT_EQ(c.Command, 0x0401);
  EXPECT_EQ(f.Command, 0x0511);
  EXPECT_EQ(sim_trace_count(), 0);
}

TEST_F(Vni, StartSwitchesAndCloseEvenWhenItsWriteFails) {
  TVNI vni;
  ASSERT_TRUE(vni.Open("A1"));
  sim_trace_clear();
  vni.Start(true, false);
  vni.Start(true, true);
  EXPECT_EQ(Requests(), (std::vector<std::string>{"01 03 01 00", "01 03 03 00"}));
  sim_trace_clear();
  sim_set_write_failures(3, -EIO);
  vni.Close();
  EXPECT_FALSE(vni.IsOpen());
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(Vni, DestroyingAnOpenAdapterSendsClose) {
  {
    TVNI vni;
    ASSERT_TRUE(vni.Open("A1"));
    sim_trace_clear();
  }
  EXPECT_EQ(Requests(), std::vector<std::string>{"00 01 00 00"});
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(Vni, DeviceInfoFailsOnlyOnShortReplyOrUnsentRequest) {
  TVNI vni;
  ASSERT_TRUE(vni.Open("A1"));
  TDeviceInfo i{};
  const uint8_t shortInfo[32] = {0x00, 0x02};
  sim_set_next_reply(shortInfo, 32);
  EXPECT_FALSE(vni.ReadDeviceInfo(&i));
  // A record without a terminating zero is read, and its serial number text
  // never goes past the record.
  uint8_t full[64];
  std::memset(full, 'Z', 64);
  full[0] = 0x00;
  full[1] = 0x02;
  sim_set_info_raw("A1", full);
  ASSERT_TRUE(vni.ReadDeviceInfo(&i));
  EXPECT_EQ(DeviceInfoSerial(i), std::string(56, 'Z'));
}

// The time-out of every transfer of a connection as the caller gives it,
// and the 1 ms pause before the replies of the handshake and the
// information request.
TEST_F(Vni, EachTransferHasItsTimeOutAndTheRepliesThatNeedItTheirPause) {
  TVNI vni;
  ASSERT_TRUE(vni.Open("A1"));
  TDeviceInfo info{};
  ASSERT_TRUE(vni.ReadDeviceInfo(&info));
  TDeviceConfig config{};
  ASSERT_TRUE(vni.WriteConfig(&config));
  TFilterBank bank = DefaultFilterTable()[0];
  ASSERT_TRUE(vni.WriteFilter(&bank));
  ASSERT_TRUE(vni.Start(true, true));
  TCanMessage m{};
  vni.ReceiveFrame(&m);
  ASSERT_TRUE(vni.TransmitFrame(&m));
  vni.Close();
  std::vector<std::string> seen;
  for (const auto &w : Trace()) {
    std::string line = (w.out ? "w " : "r ") + std::to_string(w.timeoutMs);
    if (w.out)
      line += " " + Hex({w.bytes[0], w.bytes[1]});
    seen.push_back(line);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"w 10 01 01", "r 10", "w 10 00 02", "r 100", "w 10 01 04", "w 100 11 05",
                                            "r 100", "w 10 01 03", "w 10 00 05", "r 100", "w 10 01 05", "r 100",
                                            "w 10 00 01"}));
  const auto t = Trace();
  EXPECT_GE(t[1].afterWriteUs, 1000); // handshake reply
  EXPECT_GE(t[3].afterWriteUs, 1000); // information record
}

// Replies that come late: within the time-out they are read, later they
// count as not come (a refused handshake becomes consent, a late
// acceptance a refusal).
TEST_F(Vni, RepliesAreWaitedForUpToTheirTimeOut) {
  TVNI vni;
  // The handshake's reply time-out is 10 ms.
  sim_set_handshake_status("A1", 0);
  sim_set_reply_latency_us("A1", 0x0101, 5000);
  EXPECT_FALSE(vni.Open("A1"));
  sim_set_reply_latency_us("A1", 0x0101, 500000);
  ASSERT_TRUE(vni.Open("A1"));
  // The other replies have 100 ms.
  auto late = [](uint16_t command, int us) { sim_set_reply_latency_us("A1", command, us); };
  TDeviceInfo info{};
  late(0x0200, 50000);
  EXPECT_TRUE(vni.ReadDeviceInfo(&info));
  late(0x0200, 1000000);
  EXPECT_FALSE(vni.ReadDeviceInfo(&info));
  TFilterBank bank = DefaultFilterTable()[0];
  late(0x0511, 50000);
  EXPECT_TRUE(vni.WriteFilter(&bank));
  late(0x0511, 1000000);
  EXPECT_FALSE(vni.WriteFilter(&bank));
  ASSERT_TRUE(vni.Start(true, true));
  auto frame = FrameBytes(0, 0, 1, 0x123, {0x42});
  TCanMessage m{};
  late(0x0500, 50000);
  sim_inject_frame("A1", frame.data());
  EXPECT_TRUE(vni.ReceiveFrame(&m));
  EXPECT_EQ(m.ID, 0x123u);
  late(0x0500, 1000000);
  sim_inject_frame("A1", frame.data());
  EXPECT_FALSE(vni.ReceiveFrame(&m));
  late(0x0501, 50000);
  EXPECT_TRUE(vni.TransmitFrame(&m));
  late(0x0501, 1000000);
  EXPECT_FALSE(vni.TransmitFrame(&m));
}

TEST_F(Vni, CommandTableHoldsTheNineBareCommands) {
  std::vector<std::string> words;
  for (const auto &c : CommandTable)
    words.push_back(Hex({static_cast<uint8_t>(c.Command), static_cast<uint8_t>(c.Command >> 8),
                         static_cast<uint8_t>(c.Parameter), static_cast<uint8_t>(c.Parameter >> 8)}));
  EXPECT_EQ(words, (std::vector<std::string>{"01 01 00 00", "00 01 00 00", "00 03 00 00", "01 03 00 00",
                                             "00 02 00 00", "00 04 00 00", "00 05 00 00", "21 05 00 00",
                                             "00 FF 00 00"}));
}

} // namespace
