// SPDX-License-Identifier: GPL-3.0-or-later
// The communication thread and its three hand-overs against the simulated
// adapter. Waits are for conditions, never for lengths of time.

#include "SimHelpers.h"
#include "comm/UnitComm.h"
#include "transport/Libusbdyn.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {

TCanMessage *Frame(uint32_t id, uint8_t dlc = 1) {
  auto *m = new TCanMessage{};
  m->ID = id;
  m->DLC = dlc;
  m->Data[0] = static_cast<uint8_t>(id);
  return m;
}

class Comm : public ::testing::Test {
protected:
  void SetUp() override {
    libusbdyn::ResetForTest({"libusb-0.1.so.4"});
    sim_reset();
    sim_add_adapter("A1");
  }
  TVNI vni;
};

TEST_F(Comm, ConstructionOpensAndReadsDeviceInfo) {
  sim_set_info("A1", 0, 0x0210);
  TDevComm comm(&vni, "A1");
  EXPECT_TRUE(vni.IsOpen());
  EXPECT_EQ(comm.DeviceInfo().Command, 0x0200);
  EXPECT_EQ(comm.DeviceInfo().Firmware, 0x0210);
}

TEST_F(Comm, FailedOpenLeavesInfoAbsentAndDestroysCleanly) {
  sim_set_handshake_status("A1", 0);
  auto *comm = new TDevComm(&vni, "A1");
  EXPECT_FALSE(vni.IsOpen());
  EXPECT_EQ(comm->DeviceInfo().Command, 0);
  delete comm;
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(Comm, FailedInfoReadClearsTheCommandWord) {
  sim_fail_transfer(4, -EIO); // the information reply
  TDevComm comm(&vni, "A1");
  EXPECT_TRUE(vni.IsOpen());
  EXPECT_EQ(comm.DeviceInfo().Command, 0);
}

TEST_F(Comm, DestructionRightAfterConstructionClosesTheAdapter) {
  for (int i = 0; i < 20; ++i) {
    sim_trace_clear();
    delete new TDevComm(&vni, "A1");
    EXPECT_FALSE(vni.IsOpen());
    auto reqs = Requests();
    ASSERT_FALSE(reqs.empty());
    EXPECT_EQ(reqs.back(), "00 01 00 00");
  }
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(Comm, ReceivedFramesAreOfferedInOrderOnePerCall) {
  TDevComm comm(&vni, "A1");
  ASSERT_TRUE(comm.SendStart());
  ASSERT_TRUE(WaitFor([] { return Count(Requests(), "01 03 03 00") == 1; }));
  for (uint32_t id = 1; id <= 50; ++id) {
    auto f = FrameBytes(0, 0, 1, id, {static_cast<uint8_t>(id)});
    sim_inject_frame("A1", f.data());
  }
  TCanMessage m{};
  for (uint32_t id = 1; id <= 50; ++id) {
    ASSERT_TRUE(WaitFor([&] { return comm.ReceiveMessage(m); }));
    EXPECT_EQ(m.ID, id); // one per call, whatever batches the thread offers them in
  }
  EXPECT_EQ(comm.DroppedFrames(), 0u);
}

// With nothing waiting, a call returns false and leaves the caller's record
// alone; each frame is handed out once.
TEST_F(Comm, NothingWaitingLeavesTheRecordAloneAndNoFrameComesTwice) {
  TDevComm comm(&vni, "A1");
  ASSERT_TRUE(comm.SendStart());
  ASSERT_TRUE(WaitFor([] { return Count(Requests(), "01 03 03 00") == 1; }));
  TCanMessage untouched{};
  untouched.ID = 0xABC;
  EXPECT_FALSE(comm.ReceiveMessage(untouched));
  EXPECT_EQ(untouched.ID, 0xABCu);
  auto f1 = FrameBytes(0, 0, 1, 0x10), f2 = FrameBytes(0, 0, 1, 0x20);
  sim_inject_frame("A1", f1.data());
  sim_inject_frame("A1", f2.data());
  TCanMessage m{};
  ASSERT_TRUE(WaitFor([&] { return comm.ReceiveMessage(m); }));
  EXPECT_EQ(m.ID, 0x10u);
  ASSERT_TRUE(WaitFor([&] { return comm.ReceiveMessage(m); }));
  EXPECT_EQ(m.ID, 0x20u);
  // Both taken; the thread polls on and finds nothing more.
  const long polls = CountPrefix(Requests(), "00 05");
  ASSERT_TRUE(WaitFor([&] { return CountPrefix(Requests(), "00 05") > polls + 10; }));
  EXPECT_FALSE(comm.ReceiveMessage(untouched));
  EXPECT_EQ(untouched.ID, 0xABCu);
}

// A thread the system cannot start (here: a stack size it refuses) counts
// as finished: hand-overs return at once, the record handed over is freed,
// and destruction neither waits nor leaves the adapter open.
TEST_F(Comm, ThreadThatNeverStartedNeitherHangsNorLeaks) {
  auto *comm = new TDevComm(&vni, "A1", TDevComm::ReceiveQueueBound, 1);
  EXPECT_TRUE(comm->Finished());
  EXPECT_FALSE(comm->TransmitMessage(Frame(1)));
  EXPECT_FALSE(comm->SendStart());
  EXPECT_FALSE(comm->SendFilter(TFilterBank{}));
  TCanMessage m{};
  EXPECT_FALSE(comm->ReceiveMessage(m));
  delete comm;
  EXPECT_FALSE(vni.IsOpen());
  EXPECT_EQ(sim_open_handles(), 0);
}

// Stopping the loop keeps what the thread had received: every frame comes
// out once, in order, after the stop.
TEST_F(Comm, StopKeepsTheFramesNotYetTaken) {
  TDevComm comm(&vni, "A1");
  ASSERT_TRUE(comm.SendStart());
  ASSERT_TRUE(WaitFor([] { return Count(Requests(), "01 03 03 00") == 1; }));
  for (uint32_t id = 0; id < 40; ++id) {
    auto f = FrameBytes(0, 0, 0, id);
    sim_inject_frame("A1", f.data());
  }
  TCanMessage m{};
  ASSERT_TRUE(WaitFor([&] { return comm.ReceiveMessage(m); }));
  std::vector<uint32_t> ids{m.ID};
  ASSERT_TRUE(WaitFor([&] { return comm.ReceivedFrames() == 40; }));
  comm.Stop();
  while (comm.ReceiveMessage(m))
    ids.push_back(m.ID);
  ASSERT_EQ(ids.size(), 40u);
  for (uint32_t i = 0; i < 40; ++i)
    EXPECT_EQ(ids[i], i);
  EXPECT_FALSE(comm.TransmitMessage(Frame(1)));
}

TEST_F(Comm, TransmittedFramesReachTheAdapterInOrder) {
  TDevComm comm(&vni, "A1");
  for (uint32_t id = 1; id <= 30; ++id)
    ASSERT_TRUE(comm.TransmitMessage(Frame(id)));
  ASSERT_TRUE(WaitFor([] { return sim_frames_transmitted("A1") == 30; }));
  std::vector<uint32_t> ids;
  for (const auto &w : Trace())
    if (w.out && w.bytes.size() == 20)
      ids.push_back(w.bytes[8] | (w.bytes[9] << 8));
  ASSERT_EQ(ids.size(), 30u);
  for (uint32_t i = 0; i < 30; ++i)
    EXPECT_EQ(ids[i], i + 1);
}

// More frames than the hand-over ring holds, handed over while the thread
// sits in a slow transfer: the sender waits for room, and no waiting frame
// is overwritten.
TEST_F(Comm, AFullHandOverRingWaitsAndOverwritesNothing) {
  constexpr uint32_t count = TDevComm::TransmitHandOverRing + 500;
  TDevComm comm(&vni, "A1");
  ASSERT_TRUE(comm.SendStart());
  ASSERT_TRUE(WaitFor([] { return Count(Requests(), "01 03 03 00") == 1; }));
  // Held from here: the thread's next transfer starts after the delay is
  // set, so it takes it.
  sim_set_transfer_delay_us(50000);
  const long entered = sim_transfers_entered();
  ASSERT_TRUE(WaitFor([&] { return sim_transfers_entered() > entered; }));
  std::atomic<uint32_t> handed{0};
  std::thread sender([&] {
    for (uint32_t id = 0; id < count; ++id, ++handed)
      ASSERT_TRUE(comm.TransmitMessage(Frame(id)));
  });
  ASSERT_TRUE(WaitFor([&] { return handed >= TDevComm::TransmitHandOverRing; }));
  sim_set_transfer_delay_us(0);
  sender.join();
  ASSERT_TRUE(WaitFor([] { return sim_frames_transmitted("A1") == count; }));
  uint32_t expected = 0;
  for (const auto &w : Trace()) {
    if (w.out && w.bytes.size() == 20 && w.bytes[0] == 0x01 && w.bytes[1] == 0x05) {
      ASSERT_EQ(static_cast<uint32_t>(w.bytes[8] | (w.bytes[9] << 8)), expected++);
    }
  }
  EXPECT_EQ(expected, count);
}

TEST_F(Comm, RefusedFrameBlocksTheQueueUntilAccepted) {
  sim_set_transmit_status("A1", 0);
  TDevComm comm(&vni, "A1");
  ASSERT_TRUE(comm.TransmitMessage(Frame(0x111)));
  ASSERT_TRUE(comm.TransmitMessage(Frame(0x222)));
  ASSERT_TRUE(WaitFor([] { return CountPrefix(Requests(), "01 05 00 00 00 01 00 00 11 01") >= 5; }));
  EXPECT_EQ(CountPrefix(Requests(), "01 05 00 00 00 01 00 00 22 02"), 0);
  sim_set_transmit_status("A1", 1);
  ASSERT_TRUE(WaitFor([] { return sim_frames_transmitted("A1") == 2; }));
  auto reqs = Requests();
  EXPECT_EQ(CountPrefix(reqs, "01 05 00 00 00 01 00 00 22 02"), 1);
}

TEST_F(Comm, FourteenFiltersReachTheAdapterInCallOrder) {
  TDevComm comm(&vni, "A1");
  TFilterTable table = DefaultFilterTable();
  for (const auto &f : table)
    ASSERT_TRUE(comm.SendFilter(f));
  EXPECT_EQ(table[3].Command, 0); // the caller's records stay untouched
  ASSERT_TRUE(WaitFor([] { return CountPrefix(Requests(), "11 05") == 14; }));
  std::vector<int> banks;
  for (const auto &r : Requests())
    if (r.rfind("11 05", 0) == 0)
      banks.push_back(std::stoi(r.substr(15, 2), nullptr, 16));
  for (int i = 0; i < 14; ++i)
    EXPECT_EQ(banks[i], i);
}

TEST_F(Comm, ConfigurationAndStartAreSent) {
  TDevComm comm(&vni, "A1");
  TDeviceConfig c{};
  c.Speed = 7;
  c.LoopbackMode = 1;
  ASSERT_TRUE(comm.SendDeviceConfig(c));
  ASSERT_TRUE(comm.SendStart());
  ASSERT_TRUE(WaitFor([] { return Count(Requests(), "01 03 03 00") == 1; }));
  EXPECT_EQ(Count(Requests(), "01 04 07 00 00 01 00 00"), 1);
  EXPECT_EQ(c.Command, 0);
}

TEST_F(Comm, DestructionWithFramesQueuedEverywhereFreesThem) {
  sim_set_transmit_status("A1", 0);
  auto *comm = new TDevComm(&vni, "A1");
  ASSERT_TRUE(comm->SendStart());
  ASSERT_TRUE(WaitFor([] { return Count(Requests(), "01 03 03 00") == 1; }));
  for (uint32_t id = 1; id <= 10; ++id) {
    auto f = FrameBytes(4, 0, 0, id);
    sim_inject_frame("A1", f.data());
    ASSERT_TRUE(comm->TransmitMessage(Frame(id)));
  }
  ASSERT_TRUE(WaitFor([&] { return comm->ReceiveBacklog() >= 5; }));
  TCanMessage m{};
  ASSERT_TRUE(WaitFor([&] { return comm->ReceiveMessage(m); })); // one taken, others offered and queued
  delete comm; // leak checks run under the sanitizer build
  EXPECT_FALSE(vni.IsOpen());
}

TEST_F(Comm, HandOversReturnOnceTheAdapterIsClosedUnderneath) {
  TDevComm comm(&vni, "A1");
  vni.Close(); // as the presence check does after a removal
  sim_trace_clear();
  EXPECT_FALSE(comm.TransmitMessage(Frame(1))); // freed by the hand-over
  EXPECT_FALSE(comm.SendStart());
  EXPECT_FALSE(comm.SendFilter(TFilterBank{}));
  EXPECT_FALSE(comm.SendDeviceConfig(TDeviceConfig{}));
  TCanMessage m{};
  EXPECT_FALSE(comm.ReceiveMessage(m));
  EXPECT_EQ(sim_trace_count(), 0); // no further traffic at all
}

TEST_F(Comm, AdapterUnpluggedDuringHeavyTrafficIsNeverReleasedUnderATransfer) {
  sim_set_flood("A1", 1);
  sim_set_transfer_delay_us(200);
  TDevComm comm(&vni, "A1");
  ASSERT_TRUE(comm.SendStart());
  for (uint32_t id = 0; id < 200; ++id)
    comm.TransmitMessage(Frame(id));
  ASSERT_TRUE(WaitFor([&] { return comm.ReceivedFrames() > 50; }));
  sim_unplug("A1");
  EXPECT_TRUE(vni.CheckRemoved());
  EXPECT_FALSE(vni.IsOpen());
  sim_set_transfer_delay_us(0);
  // A transfer on a released handle would show as an invalid-handle result.
  for (const auto &w : Trace())
    EXPECT_NE(w.result, -EINVAL);
  EXPECT_FALSE(comm.TransmitMessage(Frame(999)));
}

TEST_F(Comm, FramesBeyondTheBoundAreDroppedAndCountedAndTheRestKeepOrder) {
  sim_set_flood("A1", 1);
  TDevComm comm(&vni, "A1", 10);
  ASSERT_TRUE(comm.SendStart());
  ASSERT_TRUE(WaitFor([&] { return comm.DroppedFrames() > 20; }));
  EXPECT_LE(comm.ReceiveBacklog(), 10u);
  // The flood numbers its frames in data bytes 0 to 3; the first ten were
  // kept in order, whatever came later.
  TCanMessage m{};
  for (uint32_t n = 0; n < 10; ++n) {
    ASSERT_TRUE(WaitFor([&] { return comm.ReceiveMessage(m); }));
    uint32_t seq = (m.Data[0] << 24) | (m.Data[1] << 16) | (m.Data[2] << 8) | m.Data[3];
    EXPECT_EQ(seq, n);
  }
  // Later frames still come in rising order, with gaps where frames were dropped.
  uint32_t last = 9;
  for (int k = 0; k < 5; ++k) {
    ASSERT_TRUE(WaitFor([&] { return comm.ReceiveMessage(m); }));
    uint32_t seq = (m.Data[0] << 24) | (m.Data[1] << 16) | (m.Data[2] << 8) | m.Data[3];
    EXPECT_GT(seq, last);
    last = seq;
  }
}

// Frames moving both ways, rounds back to back: every received frame comes
// out once and in order, every handed-over frame reaches the adapter once
// and in order.
TEST_F(Comm, BusyRoundsKeepOrderAndLoseNothingBothWays) {
  sim_set_rx_queue_depth("A1", 3000);
  TDevComm comm(&vni, "A1");
  ASSERT_TRUE(comm.SendStart());
  ASSERT_TRUE(WaitFor([] { return Count(Requests(), "01 03 03 00") == 1; }));
  for (uint32_t id = 0; id < 3000; ++id) {
    auto f = FrameBytes(4, 0, 4, id, {static_cast<uint8_t>(id >> 24), static_cast<uint8_t>(id >> 16),
                                      static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)});
    sim_inject_frame("A1", f.data());
  }
  std::vector<uint32_t> ids;
  TCanMessage m{};
  for (uint32_t id = 0; id < 500; ++id) {
    ASSERT_TRUE(comm.TransmitMessage(Frame(0x100 + id % 0x100)));
    while (comm.ReceiveMessage(m))
      ids.push_back(m.ID);
  }
  ASSERT_TRUE(WaitFor([&] {
    while (comm.ReceiveMessage(m))
      ids.push_back(m.ID);
    return ids.size() >= 3000 && sim_frames_transmitted("A1") == 500;
  }));
  ASSERT_EQ(ids.size(), 3000u);
  for (uint32_t i = 0; i < 3000; ++i)
    ASSERT_EQ(ids[i], i);
  EXPECT_EQ(comm.DroppedFrames(), 0u);
  std::vector<uint32_t> sent;
  for (const auto &w : Trace())
    if (w.out && w.bytes.size() == 20 && w.bytes[0] == 0x01 && w.bytes[1] == 0x05)
      sent.push_back(w.bytes[8] | (w.bytes[9] << 8));
  ASSERT_EQ(sent.size(), 500u);
  for (uint32_t i = 0; i < 500; ++i)
    ASSERT_EQ(sent[i], 0x100 + i % 0x100);
}

TEST_F(Comm, CallingUntilFalseTakesEveryWaitingFrameInOrder) {
  sim_set_rx_queue_depth("A1", 300);
  TDevComm comm(&vni, "A1");
  ASSERT_TRUE(comm.SendStart());
  ASSERT_TRUE(WaitFor([] { return Count(Requests(), "01 03 03 00") == 1; }));
  for (uint32_t id = 0; id < 300; ++id) {
    auto f = FrameBytes(4, 0, 0, 0x10000 + id);
    sim_inject_frame("A1", f.data());
  }
  ASSERT_TRUE(WaitFor([&] { return comm.ReceivedFrames() == 300; }));
  // Every frame is now with the thread: queued or on offer as one batch.
  std::vector<uint32_t> ids;
  TCanMessage m{};
  int drains = 0;
  while (ids.size() < 300) {
    ASSERT_TRUE(WaitFor([&] { return comm.ReceiveMessage(m); }));
    ids.push_back(m.ID);
    while (comm.ReceiveMessage(m))
      ids.push_back(m.ID);
    ++drains;
  }
  ASSERT_EQ(ids.size(), 300u);
  for (uint32_t i = 0; i < 300; ++i)
    EXPECT_EQ(ids[i], 0x10000 + i);
  EXPECT_LE(drains, 3); // a burst is taken in a batch or two, not frame by frame
  EXPECT_FALSE(comm.ReceiveMessage(m));
  EXPECT_EQ(comm.DroppedFrames(), 0u);
}

} // namespace

// Stamps: each received frame carries the time its poll returned it, which
// lies after it was put on the bus and before it was taken, and the stamps
// never go back in time across several batches.
TEST_F(Comm, ReceivedFramesAreStampedInOrderAcrossBatches) {
  TDevComm comm(&vni, "A1");
  ASSERT_TRUE(comm.SendStart());
  ASSERT_TRUE(WaitFor([] { return Count(Requests(), "01 03 03 00") == 1; }));
  std::vector<TStampedFrame> got;
  for (int batch = 0; batch < 5; ++batch) {
    const int64_t before = comm.ElapsedUs();
    for (uint32_t k = 0; k < 20; ++k) {
      auto f = FrameBytes(0, 0, 1, batch * 20 + k);
      sim_inject_frame("A1", f.data());
    }
    const size_t target = got.size() + 20;
    TStampedFrame frame;
    while (got.size() < target) {
      if (!comm.ReceiveMessage(frame))
        continue;
      EXPECT_GE(frame.TimeUs, before) << "frame " << frame.Msg.ID;
      EXPECT_LE(frame.TimeUs, comm.ElapsedUs());
      got.push_back(frame);
    }
  }
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].Msg.ID, i);
    if (i > 0) {
      EXPECT_GE(got[i].TimeUs, got[i - 1].TimeUs);
    }
  }
}

// Acceptance stamps arrive in hand-over order, one per accepted frame, none
// for a frame the adapter refuses until it accepts it.
TEST_F(Comm, AcceptedFramesAreStampedInHandOverOrder) {
  TDevComm comm(&vni, "A1");
  sim_set_transmit_status("A1", 0); // refused for now
  const int64_t before = comm.ElapsedUs();
  for (uint32_t id = 1; id <= 10; ++id)
    ASSERT_TRUE(comm.TransmitMessage(Frame(id)));
  ASSERT_TRUE(WaitFor([] { return CountPrefix(Requests(), "01 05") >= 3; }));
  TTransmitStamp stamp;
  EXPECT_FALSE(comm.TakeTransmitStamp(stamp));
  const int64_t accepting = comm.ElapsedUs();
  sim_set_transmit_status("A1", 1);
  ASSERT_TRUE(WaitFor([] { return sim_frames_transmitted("A1") == 10; }));
  std::vector<TTransmitStamp> stamps;
  ASSERT_TRUE(WaitFor([&] {
    while (comm.TakeTransmitStamp(stamp))
      stamps.push_back(stamp);
    return stamps.size() == 10;
  }));
  for (uint64_t i = 0; i < 10; ++i) {
    EXPECT_EQ(stamps[i].Seq, i);
    EXPECT_GE(stamps[i].TimeUs, accepting);
    EXPECT_GE(stamps[i].TimeUs, before);
    if (i > 0) {
      EXPECT_GE(stamps[i].TimeUs, stamps[i - 1].TimeUs);
    }
  }
  EXPECT_FALSE(comm.TakeTransmitStamp(stamp));
}

// A caller that sleeps while nothing comes is woken once per arming, by a
// received frame or an acceptance stamp; with something already waiting
// it is told to take that instead.
TEST_F(Comm, AnArmedWakeComesOnceForFramesOrStamps) {
  TDevComm comm(&vni, "A1");
  std::atomic<int> wakes{0};
  comm.SetWake([&] { ++wakes; });
  ASSERT_TRUE(comm.SendStart());
  ASSERT_TRUE(WaitFor([] { return Count(Requests(), "01 03 03 00") == 1; }));
  ASSERT_TRUE(comm.RequestWake());
  auto f = FrameBytes(0, 0, 1, 0x10, {1});
  sim_inject_frame("A1", f.data());
  ASSERT_TRUE(WaitFor([&] { return wakes == 1; }));
  ASSERT_TRUE(WaitFor([&] { return comm.ReceiveBacklog() == 1; }));
  EXPECT_FALSE(comm.RequestWake()) << "a frame is waiting";
  TCanMessage m{};
  ASSERT_TRUE(comm.ReceiveMessage(m));
  EXPECT_EQ(m.ID, 0x10u);

  ASSERT_TRUE(comm.RequestWake());
  ASSERT_TRUE(comm.TransmitMessage(Frame(0x20)));
  ASSERT_TRUE(WaitFor([&] { return wakes == 2; }));
  TTransmitStamp stamp;
  EXPECT_TRUE(comm.TakeTransmitStamp(stamp));

  // Not armed: frames are offered without a wake.
  sim_inject_frame("A1", f.data());
  ASSERT_TRUE(WaitFor([&] { return comm.ReceiveMessage(m); }));
  EXPECT_EQ(wakes, 2);
}
