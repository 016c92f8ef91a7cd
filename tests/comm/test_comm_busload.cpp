// SPDX-License-Identifier: GPL-3.0-or-later
// The communication thread on a busy bus at the adapter's own queue depth.
// Run alone (the thread's pace is what is tested, and other tests' busy
// waits would take its processor time); waits are for conditions, asleep.

#include "SimHelpers.h"
#include "comm/UnitComm.h"
#include "transport/Libusbdyn.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// Sleeps between looks, so that the thread under test has the processor.
template <typename F> [[nodiscard]] bool WaitAsleep(F cond) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A fifth of 500 kbit/s: a round that only received is followed by the next
// at once, so the adapter's queue never overflows and every frame on the bus
// arrives. (Pausing after such rounds keeps up with about half this.)
TEST(CommBusLoad, AModeratelyBusyBusLosesNothingAtTheDefaultQueueDepth) {
  libusbdyn::ResetForTest({"libusb-0.1.so.4"});
  sim_reset();
  sim_add_adapter("A1");
  TVNI vni;
  TDevComm comm(&vni, "A1");
  ASSERT_TRUE(comm.SendStart());
  ASSERT_TRUE(WaitAsleep([] { return Count(Requests(), "01 03 03 00") == 1; }));
  sim_set_bus_load(500000, 20);
  long received = 0;
  TCanMessage m{};
  auto drain = [&] {
    while (comm.ReceiveMessage(m))
      ++received;
  };
  ASSERT_TRUE(WaitAsleep([&] {
    drain();
    return sim_bus_offered("A1") >= 3000;
  }));
  sim_set_bus_load(500000, 0);
  const long offered = sim_bus_offered("A1");
  ASSERT_TRUE(WaitAsleep([&] {
    drain();
    return received + sim_rx_dropped("A1") >= offered;
  }));
  EXPECT_EQ(sim_rx_dropped("A1"), 0) << received << " of " << offered << " received";
  EXPECT_EQ(received, offered);
  EXPECT_EQ(comm.DroppedFrames(), 0u);
}

} // namespace
