// SPDX-License-Identifier: GPL-3.0-or-later
// The transport's ceiling in the rig: opens the adapter, starts it and sends
// receive polls back to back, with no pause and no thread, for the given
// seconds or until SIGTERM. Prints the frames received and the polls sent.
//   rig_poller SERIAL SECONDS

#include "adapter/Vni_if.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {
std::atomic<bool> Stop{false};
}

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: rig_poller SERIAL SECONDS\n");
    return 2;
  }
  TVNI vni;
  bool open = false;
  for (int i = 0; i < 100 && !(open = vni.Open(argv[1])); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (!open || !vni.Start(true, true)) {
    std::fprintf(stderr, "rig_poller: cannot open and start %s\n", argv[1]);
    return 1;
  }
  // A poll cut off by the signal would leave its reply in the adapter for
  // the next client to read: the poll under way is finished first.
  std::signal(SIGTERM, [](int) { Stop = true; });
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[2]));
  long frames = 0, polls = 0;
  TCanMessage m{};
  while (!Stop && std::chrono::steady_clock::now() < end) {
    ++polls;
    if (vni.ReceiveFrame(&m) && m.IDType != vnicmd::NoFrame)
      ++frames;
  }
  vni.Close();
  std::printf("frames %ld polls %ld\n", frames, polls);
  return 0;
}
