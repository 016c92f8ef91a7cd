// SPDX-License-Identifier: GPL-3.0-or-later
// molvar-bridge: its command line, the frame conversions, and whole runs
// against the simulated adapter with a socket pair standing in for the CAN
// interface.

#include "SimHelpers.h"
#include "comm/UnitComm.h"
#include "bridge/Bridge.h"
#include "transport/Libusbdyn.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <fstream>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

can_frame CanFrame(canid_t id, uint8_t len, std::vector<uint8_t> data = {}) {
  can_frame f{};
  f.can_id = id;
  f.len = len;
  for (size_t i = 0; i < data.size() && i < 8; ++i)
    f.data[i] = data[i];
  return f;
}

std::optional<TBridgeOptions> Parse(std::vector<std::string> args, std::string *error = nullptr) {
  std::string e;
  auto o = ParseBridgeOptions(args, e);
  if (error)
    *error = e;
  return o;
}

TEST(BridgeOptions, EveryOptionInBothSpellings) {
  auto o = Parse({"--serial", "A1", "--setup=x.vni", "-b", "250000", "-l", "-v", "--termination", "off",
                  "--retransmission=on", "vcan0"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->Serial, "A1");
  EXPECT_EQ(o->SetupFile, "x.vni");
  EXPECT_EQ(o->BitRate, 250000);
  EXPECT_TRUE(o->Loopback);
  EXPECT_TRUE(o->Verbose);
  EXPECT_EQ(o->Termination, false);
  EXPECT_EQ(o->Retransmission, true);
  EXPECT_EQ(o->Interface, "vcan0");
  o = Parse({"can1"});
  ASSERT_TRUE(o);
  EXPECT_FALSE(o->BitRate);
  EXPECT_FALSE(o->Loopback);
  EXPECT_TRUE(Parse({"--help"})->Help);
  EXPECT_EQ(Parse({"--", "-odd-name"})->Interface, "-odd-name");
}

TEST(BridgeOptions, MistakesAreNamed) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{}, "no CAN interface"},
      {{"a", "b"}, "more than one"},
      {{"--bitrate", "300000", "vcan0"}, "300000"},
      {{"--bitrate", "500k", "vcan0"}, "500k"},
      {{"--bitrate", "99999999999", "vcan0"}, "99999999999"},
      {{"--bitrate=", "vcan0"}, "bit rate"},
      {{"vcan0", "--serial"}, "--serial needs a value"},
      {{"--serial=", "vcan0"}, "empty"},
      {{"--termination", "maybe", "vcan0"}, "on or off"},
      {{"--loopback=1", "vcan0"}, "takes no value"},
      {{"-x", "vcan0"}, "unknown option -x"},
  };
  for (const Case &c : cases) {
    std::string error;
    EXPECT_FALSE(Parse(c.args, &error)) << c.says;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
  for (int rate : {10000, 20000, 50000, 100000, 125000, 250000, 500000, 1000000})
    EXPECT_TRUE(SpeedOfBitRate(rate)) << rate;
  EXPECT_EQ(SpeedOfBitRate(500000), 6);
}

// The kernel's running total arrives with each record: only its growth
// counts, also across the 32-bit wrap, and a record without growth adds
// nothing.
TEST(BridgeOverflow, TheRunningTotalCountsByItsGrowthAcrossTheWrap) {
  TOverflowCount c;
  EXPECT_EQ(c.Note(0), 0u);
  EXPECT_EQ(c.Note(5), 5u);
  EXPECT_EQ(c.Note(5), 0u);
  EXPECT_EQ(c.Note(12), 7u);
  EXPECT_EQ(c.Lost(), 12u);
  EXPECT_EQ(c.Note(0xFFFFFFFEu), 0xFFFFFFFEu - 12);
  EXPECT_EQ(c.Note(3), 5u); // FFFFFFFE, FFFFFFFF, 0, 1, 2, 3
  EXPECT_EQ(c.Lost(), 0xFFFFFFFEull + 5);
}

TEST(BridgeFrames, EveryKindConvertsBothWays) {
  TCanMessage m{};
  m.IDType = 4;
  m.ID = 0x1ABCDEF0;
  m.DLC = 3;
  m.Data[0] = 1, m.Data[1] = 2, m.Data[2] = 3;
  can_frame f = ToCanFrame(m);
  EXPECT_EQ(f.can_id, 0x1ABCDEF0u | CAN_EFF_FLAG);
  EXPECT_EQ(f.len, 3);
  EXPECT_EQ(f.data[2], 3);
  TCanMessage back = FromCanFrame(f);
  EXPECT_EQ(back.IDType, 4);
  EXPECT_EQ(back.ID, 0x1ABCDEF0u);
  EXPECT_EQ(back.DLC, 3);
  EXPECT_EQ(back.Data[2], 3);

  m = {};
  m.ID = 0x7FF;
  m.RTR = 2;
  m.DLC = 5;
  f = ToCanFrame(m);
  EXPECT_EQ(f.can_id, 0x7FFu | CAN_RTR_FLAG);
  EXPECT_EQ(f.len, 5);
  back = FromCanFrame(f);
  EXPECT_EQ(back.RTR, 2);
  EXPECT_EQ(back.IDType, 0);
  EXPECT_EQ(back.DLC, 5);
  m.RTR = 1; // any non-zero RTR is a remote request
  m.Data[0] = 0x55;
  f = ToCanFrame(m);
  EXPECT_EQ(f.can_id, 0x7FFu | CAN_RTR_FLAG);
  EXPECT_EQ(f.data[0], 0);

  // A length above 8 from the adapter is the eight bytes a frame holds; an
  // identifier wider than its kind is cut to it.
  m = {};
  m.ID = 0xFFFF;
  m.DLC = 12;
  f = ToCanFrame(m);
  EXPECT_EQ(f.can_id, 0x7FFu);
  EXPECT_EQ(f.len, 8);

  f = ToCanFrame(FromCanFrame(CanFrame(0x123, 2, {0x11, 0x22})));
  EXPECT_EQ(CandumpText("vcan0", 7, f), "    vcan0  123   [2]  11 22");
  f.can_id |= CAN_RTR_FLAG;
  EXPECT_EQ(CandumpText("adapter", 7, f), "  adapter  123   [2]  remote request");
  f.can_id = 0x12345 | CAN_EFF_FLAG;
  f.len = 0;
  EXPECT_EQ(CandumpText("can0", 4, f), "  can0  00012345   [0] ");
}

class BridgeRun : public ::testing::Test {
protected:
  void SetUp() override {
    libusbdyn::ResetForTest({"libusb-0.1.so.4"});
    sim_reset();
    NewPair();
    out = std::tmpfile();
    err = std::tmpfile();
  }
  void TearDown() override {
    Stop();
    ClosePair();
    std::fclose(out);
    std::fclose(err);
  }
  void ClosePair() {
    for (int &fd : fds) {
      if (fd >= 0)
        close(fd);
      fd = -1;
    }
  }
  void NewPair() {
    ClosePair();
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
  }
  // The bridge's end of the pair goes to the bridge, which closes it.
  TOpenInterface Pair() {
    return [this](const std::string &, std::string &) {
      const int fd = fds[0];
      fds[0] = -1;
      return fd;
    };
  }
  void Start(TBridgeOptions o) {
    if (o.Interface.empty())
      o.Interface = "vcan0";
    result = std::async(std::launch::async, [this, o] { return RunBridge(o, Pair(), stop, out, err); });
  }
  int Stop() {
    if (!result.valid())
      return -1;
    stop = true;
    return result.get();
  }
  static std::string Text(std::FILE *f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
      s.append(buf, n);
    return s;
  }
  can_frame ReadPeer() {
    can_frame f{};
    pollfd p{fds[1], POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 60000), 1) << "no frame reached the interface";
    EXPECT_EQ(recv(fds[1], &f, sizeof f, 0), static_cast<ssize_t>(sizeof f));
    return f;
  }
  void WaitConnected() {
    ASSERT_TRUE(WaitFor([&] { return Count(Requests(), "01 03 03 00") > 0; }));
  }
  int fds[2] = {-1, -1};
  std::FILE *out = nullptr;
  std::FILE *err = nullptr;
  std::atomic<bool> stop{false};
  std::future<int> result;
};

// The configuration: 500 kbit/s with termination and retransmission on by
// default, then the set-up file's values, then the options over them; the
// filter banks come from the file too.
TEST_F(BridgeRun, ConfigurationFromDefaultsSetupFileAndOptions) {
  sim_add_adapter("A1");
  Start({});
  WaitConnected();
  EXPECT_EQ(Stop(), 0);
  auto reqs = Requests();
  EXPECT_EQ(Count(reqs, "01 04 06 01 01 00 00 00"), 1);
  // Bank 0 lets everything through, the others are off.
  EXPECT_EQ(Count(reqs, "11 05 00 00 00 00 01 00 00 00 00 00 00 00 00 00"), 1);
  EXPECT_EQ(reqs.back(), "00 01 00 00"); // closed with its close command

  sim_reset();
  sim_add_adapter("A1");
  const std::string path = ::testing::TempDir() + "bridge_setup.vni";
  std::ofstream(path) << "[DevConfig]\r\nSpeed=3\r\nTermination=0\r\nLoopbackMode=0\r\n"
                         "[Filter_1]\r\nActive=1\r\nMode=1\r\nIDType=4\r\nID=$123\r\nMask=$456\r\n";
  NewPair();
  stop = false;
  TBridgeOptions o;
  o.SetupFile = path;
  o.Loopback = true;
  o.Retransmission = false;
  Start(o);
  WaitConnected();
  EXPECT_EQ(Stop(), 0);
  reqs = Requests();
  EXPECT_EQ(Count(reqs, "01 04 03 00 00 01 00 00"), 1);
  EXPECT_EQ(Count(reqs, "11 05 00 00 04 01 01 01 23 01 00 00 56 04 00 00"), 1);

  sim_reset();
  sim_add_adapter("A1");
  NewPair();
  stop = false;
  o.BitRate = 1000000;
  Start(o);
  WaitConnected();
  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(Count(Requests(), "01 04 07 00 00 01 00 00"), 1);
}

TEST_F(BridgeRun, FramesCrossBothWaysByteForByteAndAreCounted) {
  sim_add_adapter("A1");
  TBridgeOptions o;
  o.Verbose = true;
  Start(o);
  WaitConnected();
  // Interface to adapter: each kind reaches the wire as the adapter's record.
  const can_frame sent[] = {
      CanFrame(0x123, 2, {0x11, 0x22}),
      CanFrame(0x1ABCDEF0 | CAN_EFF_FLAG, 8, {1, 2, 3, 4, 5, 6, 7, 8}),
      CanFrame(0x7FF | CAN_RTR_FLAG, 4, {}),
  };
  for (const can_frame &f : sent)
    ASSERT_EQ(send(fds[1], &f, sizeof f, 0), static_cast<ssize_t>(sizeof f));
  ASSERT_TRUE(WaitFor([&] { return sim_frames_transmitted("A1") >= 3; }));
  auto reqs = Requests();
  EXPECT_EQ(Count(reqs, "01 05 00 00 00 02 00 00 23 01 00 00 11 22 00 00 00 00 00 00"), 1);
  EXPECT_EQ(Count(reqs, "01 05 04 00 00 08 00 00 F0 DE BC 1A 01 02 03 04 05 06 07 08"), 1);
  EXPECT_EQ(Count(reqs, "01 05 00 02 00 04 00 00 FF 07 00 00 00 00 00 00 00 00 00 00"), 1);

  // Adapter to interface.
  auto rx = FrameBytes(4, 0, 3, 0x1234567, {0xAA, 0xBB, 0xCC});
  sim_inject_frame("A1", rx.data());
  auto rtr = FrameBytes(0, 2, 8, 0x42);
  sim_inject_frame("A1", rtr.data());
  can_frame f = ReadPeer();
  EXPECT_EQ(f.can_id, 0x1234567u | CAN_EFF_FLAG);
  EXPECT_EQ(f.len, 3);
  EXPECT_EQ(f.data[0], 0xAA);
  EXPECT_EQ(f.data[2], 0xCC);
  f = ReadPeer();
  EXPECT_EQ(f.can_id, 0x42u | CAN_RTR_FLAG);
  EXPECT_EQ(f.len, 8);

  EXPECT_EQ(Stop(), 0);
  const std::string log = Text(out);
  EXPECT_NE(log.find("    vcan0  123   [2]  11 22\n"), std::string::npos) << log;
  EXPECT_NE(log.find("  adapter  01234567   [3]  AA BB CC\n"), std::string::npos) << log;
  EXPECT_NE(log.find("adapter -> vcan0: 2 frames, vcan0 -> adapter: 3 frames"), std::string::npos) << log;
  EXPECT_NE(log.find("dropped: 0 (adapter receive queue full), 0 (refused by vcan0), 0 (adapter gone"),
            std::string::npos)
      << log;
}

// With a database, each frame's line is followed by its signals, both ways;
// a damaged database stops the bridge before it opens anything.
TEST_F(BridgeRun, VerboseWithADatabasePrintsEachFramesSignals) {
  sim_add_adapter("A1");
  TBridgeOptions o;
  o.Verbose = true;
  o.Database = MOLVAR_DEMO_DBC;
  Start(o);
  WaitConnected();
  auto rx = FrameBytes(0, 0, 3, 0x3E8, {0x01, 0x41, 0x3A});
  sim_inject_frame("A1", rx.data());
  ReadPeer();
  const can_frame gear = CanFrame(0x2F0, 4, {0x03, 0x03, 0, 0});
  ASSERT_EQ(send(fds[1], &gear, sizeof gear, 0), static_cast<ssize_t>(sizeof gear));
  ASSERT_TRUE(WaitFor([] { return sim_frames_transmitted("A1") >= 1; }));
  EXPECT_EQ(Stop(), 0);
  const std::string log = Text(out);
  EXPECT_NE(log.find("  adapter  3E8   [3]  01 41 3A\n3E8 Temperatures Page 1\n3E8 Temperatures IntakeTemp 25 degC\n"
                     "3E8 Temperatures AmbientTemp 18 degC\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("    vcan0  2F0   [4]  03 03 00 00\n2F0 Transmission Gear 3\n2F0 Transmission Selector 3\n"),
            std::string::npos)
      << log;

  QTemporaryDir dir;
  QFile bad(dir.filePath("bad.dbc"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("BO_ 1 A: 8 X\n SG_ S 0|8@1+ (1,0) [0|1] \"\" X\n");
  bad.close();
  o.Database = bad.fileName().toStdString();
  stop = false;
  Start(o);
  EXPECT_EQ(result.get(), bridgeexit::BadSetup);
  EXPECT_NE(Text(err).find("bad.dbc:2: SG_"), std::string::npos) << Text(err);
}

// Records that are not classic data or remote frames are not sent on.
TEST_F(BridgeRun, ErrorFramesAndOddRecordsAreIgnoredAndCounted) {
  sim_add_adapter("A1");
  Start({});
  WaitConnected();
  const can_frame error = CanFrame(CAN_ERR_FLAG | 0x4, 8, {});
  ASSERT_EQ(send(fds[1], &error, sizeof error, 0), static_cast<ssize_t>(sizeof error));
  const char odd[5] = {1, 2, 3, 4, 5};
  ASSERT_EQ(send(fds[1], odd, sizeof odd, 0), 5);
  const can_frame tooLong = CanFrame(0x1, 15, {});
  ASSERT_EQ(send(fds[1], &tooLong, sizeof tooLong, 0), static_cast<ssize_t>(sizeof tooLong));
  const can_frame good = CanFrame(0x5, 1, {0x55});
  ASSERT_EQ(send(fds[1], &good, sizeof good, 0), static_cast<ssize_t>(sizeof good));
  ASSERT_TRUE(WaitFor([&] { return sim_frames_transmitted("A1") >= 1; }));
  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(sim_frames_transmitted("A1"), 1);
  EXPECT_NE(Text(out).find("3 error or malformed frames ignored"), std::string::npos) << Text(out);
}

// An interface that takes nothing more: the frames it refuses are counted,
// so the two counts add up to every frame the adapter delivered.
TEST_F(BridgeRun, FramesTheInterfaceRefusesAreCountedNotLostSilently) {
  sim_add_adapter("A1");
  sim_set_rx_queue_depth("A1", 300);
  const int small = 2048;
  setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  Start({});
  WaitConnected();
  for (int i = 0; i < 300; ++i) {
    auto f = FrameBytes(0, 0, 1, i & 0x7FF, {static_cast<uint8_t>(i)});
    sim_inject_frame("A1", f.data());
  }
  ASSERT_TRUE(WaitFor([&] { return sim_frames_delivered("A1") >= 300; }));
  EXPECT_EQ(Stop(), 0);
  const std::string text = Text(out);
  unsigned long long fromAdapter = 0, toAdapter = 0, queueFull = 0, refused = 0;
  ASSERT_EQ(std::sscanf(text.c_str(),
                        "molvar-bridge: adapter -> vcan0: %llu frames, vcan0 -> adapter: %llu frames\n"
                        "molvar-bridge: dropped: %llu (adapter receive queue full), %llu (refused by vcan0)",
                        &fromAdapter, &toAdapter, &queueFull, &refused),
            4)
      << text;
  EXPECT_GT(refused, 0u);
  EXPECT_EQ(fromAdapter + refused + queueFull, 300u);
}

// An adapter that cannot send: the bridge takes no more than its bound from
// the interface, and once the adapter sends again every frame the interface
// took goes out, in order.
TEST_F(BridgeRun, StuckAdapterBoundsTheQueueAndLosesNothing) {
  sim_add_adapter("A1");
  sim_set_transmit_status("A1", 0);
  const int big = 1 << 20;
  setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
  setsockopt(fds[0], SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
  Start({});
  WaitConnected();
  int written = 0;
  for (int i = 0; i < 3000; ++i) {
    const can_frame f = CanFrame(i & 0x7FF, 2, {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)});
    if (send(fds[1], &f, sizeof f, MSG_DONTWAIT) != static_cast<ssize_t>(sizeof f))
      break;
    ++written;
  }
  ASSERT_GT(written, static_cast<int>(TDevComm::TransmitWaitingBound) + 100);
  // What one frame waiting in the pair counts for in the sender's queue.
  int probe[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, probe), 0);
  const can_frame one = CanFrame(1, 0);
  ASSERT_EQ(send(probe[1], &one, sizeof one, 0), static_cast<ssize_t>(sizeof one));
  int perFrame = 0;
  ASSERT_EQ(ioctl(probe[1], TIOCOUTQ, &perFrame), 0);
  close(probe[0]);
  close(probe[1]);
  ASSERT_GT(perFrame, 0);
  // The bridge takes frames until exactly its bound waits for the adapter,
  // and the rest stays in the interface.
  const int rest = (written - static_cast<int>(TDevComm::TransmitWaitingBound)) * perFrame;
  int pending = 0;
  do {
    ASSERT_EQ(ioctl(fds[1], TIOCOUTQ, &pending), 0);
  } while (pending > rest);
  // A hundred more rounds of the communication thread (each retries the
  // refused frame once, and takes a hand-over if one is offered): the
  // bridge has had every chance to take more, and must not have.
  const int attempts = CountPrefix(Requests(), "01 05");
  ASSERT_TRUE(WaitFor([&] { return CountPrefix(Requests(), "01 05") >= attempts + 100; }));
  ASSERT_EQ(ioctl(fds[1], TIOCOUTQ, &pending), 0);
  EXPECT_EQ(pending, rest);

  sim_set_transmit_status("A1", 1);
  ASSERT_TRUE(WaitFor([&] { return sim_frames_transmitted("A1") >= written; }));
  EXPECT_EQ(Stop(), 0);
  std::vector<int> sent;
  for (const auto &w : Trace())
    if (w.out && w.bytes.size() == 20 && w.bytes[0] == 0x01 && w.bytes[1] == 0x05 && w.result > 0)
      sent.push_back(w.bytes[12] | (w.bytes[13] << 8));
  // Refused attempts repeat the head; the distinct frames come in order.
  sent.erase(std::unique(sent.begin(), sent.end()), sent.end());
  ASSERT_EQ(static_cast<int>(sent.size()), written);
  for (int i = 0; i < written; ++i)
    ASSERT_EQ(sent[i], i);
  EXPECT_NE(Text(out).find("vcan0 -> adapter: " + std::to_string(written) + " frames"), std::string::npos) << Text(out);
}

// An adapter that accepts nothing: the frames taken from the interface are
// not counted as sent, but as dropped, not accepted before the end.
TEST_F(BridgeRun, FramesTheAdapterNeverAcceptedAreCountedAsDropped) {
  sim_add_adapter("A1");
  sim_set_transmit_status("A1", 0);
  Start({});
  WaitConnected();
  for (int i = 0; i < 5; ++i) {
    const can_frame f = CanFrame(0x100 + i, 1, {static_cast<uint8_t>(i)});
    ASSERT_EQ(send(fds[1], &f, sizeof f, 0), static_cast<ssize_t>(sizeof f));
  }
  // Every frame has left the interface, and the first has been refused.
  int pending = 1;
  while (pending > 0 || CountPrefix(Requests(), "01 05") < 3)
    ASSERT_EQ(ioctl(fds[1], TIOCOUTQ, &pending), 0);
  EXPECT_EQ(Stop(), 0);
  const std::string text = Text(out);
  EXPECT_NE(text.find("vcan0 -> adapter: 0 frames"), std::string::npos) << text;
  EXPECT_NE(text.find("5 (not accepted by the adapter before the end)"), std::string::npos) << text;
  EXPECT_EQ(sim_frames_transmitted("A1"), 0);
}

TEST_F(BridgeRun, MissingAdapterUnknownSerialAndUnreadableSetupAreReported) {
  EXPECT_EQ(RunBridge(*Parse({"vcan0"}), Pair(), stop, out, err), bridgeexit::NoAdapter);
  EXPECT_NE(Text(err).find("no adapter found"), std::string::npos);

  sim_add_adapter("A1");
  sim_add_adapter("B2");
  NewPair();
  EXPECT_EQ(RunBridge(*Parse({"-s", "C3", "vcan0"}), Pair(), stop, out, err), bridgeexit::NoAdapter);
  EXPECT_NE(Text(err).find("no adapter with serial number C3 (found: A1, B2)"), std::string::npos) << Text(err);

  sim_set_handshake_status("B2", 0);
  NewPair();
  EXPECT_EQ(RunBridge(*Parse({"-s", "B2", "vcan0"}), Pair(), stop, out, err), bridgeexit::NoAdapter);
  EXPECT_NE(Text(err).find("the connection to adapter B2 failed"), std::string::npos) << Text(err);

  for (const std::string &setup : {std::string("/nonexistent/x.vni"), ::testing::TempDir(), std::string("/etc/passwd")}) {
    EXPECT_EQ(RunBridge(*Parse({"--setup", setup, "vcan0"}), Pair(), stop, out, err), bridgeexit::BadSetup);
    EXPECT_NE(Text(err).find(setup), std::string::npos) << Text(err);
  }
  EXPECT_NE(Text(err).find("/etc/passwd is no set-up file"), std::string::npos) << Text(err);
  for (const std::string &db : {::testing::TempDir(), std::string("/etc/passwd")}) {
    EXPECT_EQ(RunBridge(*Parse({"--database", db, "vcan0"}), Pair(), stop, out, err), bridgeexit::BadSetup);
    EXPECT_NE(Text(err).find(db + " is no CAN database"), std::string::npos) << Text(err);
  }
  auto failing = [](const std::string &name, std::string &error) {
    error = "there is no interface " + name;
    return -1;
  };
  EXPECT_EQ(RunBridge(*Parse({"vcan7"}), failing, stop, out, err), bridgeexit::NoInterface);
  EXPECT_NE(Text(err).find("there is no interface vcan7"), std::string::npos);
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(BridgeRun, UnpluggedAdapterOrClosedInterfaceEndTheRun) {
  sim_add_adapter("A1");
  Start({});
  WaitConnected();
  // Unplugged while frames flow: the frames stop, and then the adapter is
  // looked for and missed.
  sim_set_flood("A1", 1);
  ASSERT_TRUE(WaitFor([] { return sim_frames_delivered("A1") > 100; }));
  sim_unplug("A1");
  EXPECT_EQ(result.get(), bridgeexit::AdapterLost);
  EXPECT_NE(Text(err).find("the adapter A1 went away"), std::string::npos) << Text(err);
  EXPECT_EQ(sim_open_handles(), 0);

  sim_reset();
  sim_add_adapter("A1");
  NewPair();
  Start({});
  WaitConnected();
  close(fds[1]);
  fds[1] = -1;
  EXPECT_EQ(result.get(), bridgeexit::InterfaceLost);
  EXPECT_EQ(Requests().back(), "00 01 00 00");
}

} // namespace
