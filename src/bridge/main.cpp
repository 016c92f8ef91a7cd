// SPDX-License-Identifier: GPL-3.0-or-later
// molvar-bridge: an adapter as a SocketCAN interface's peer. See --help.

#include "Bridge.h"

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {
std::atomic<bool> StopRequested{false};
extern "C" void OnStopSignal(int) { StopRequested.store(true); }
} // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = ParseBridgeOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "molvar-bridge: %s\nTry 'molvar-bridge --help'.\n", error.c_str());
    return bridgeexit::Usage;
  }
  if (options->Help) {
    std::fputs(BridgeUsage, stdout);
    return bridgeexit::Stopped;
  }
  if (options->Version) {
    std::printf("molvar-bridge %s\n", MOLVAR_VERSION);
    return bridgeexit::Stopped;
  }
  // No SA_RESTART: a signal ends the wait it interrupts, and the loop looks
  // at the flag at least every millisecond anyway.
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  return RunBridge(*options, OpenCanInterface, StopRequested, stdout, stderr);
}
