// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line of molvar-bridge.

#include <optional>
#include <string>
#include <vector>

struct TBridgeOptions {
  std::string Serial;    // empty: the first adapter found
  std::string SetupFile; // empty: defaults and options only
  std::string Database;  // empty: frames only, no signals
  std::optional<int> BitRate;
  std::optional<bool> Termination;
  std::optional<bool> Retransmission;
  bool Loopback = false;
  bool Verbose = false;
  bool Help = false;
  bool Version = false;
  std::string Interface;
};

// Exit codes, also listed by --help and the manual page.
namespace bridgeexit {
constexpr int Stopped = 0;       // stopped by SIGINT or SIGTERM (or --help)
constexpr int Usage = 2;         // the command line is wrong
constexpr int NoAdapter = 3;     // no adapter, or the connection failed
constexpr int NoInterface = 4;   // the CAN interface is missing or unusable
constexpr int BadSetup = 5;      // the set-up file cannot be read
constexpr int AdapterLost = 6;   // the adapter went away while bridging
constexpr int InterfaceLost = 7; // the interface went away while bridging
} // namespace bridgeexit

// Parses the arguments (without the program name). On a mistake returns
// nothing and says what is wrong in error.
std::optional<TBridgeOptions> ParseBridgeOptions(const std::vector<std::string> &args, std::string &error);

// The Speed index of a bit rate in bit/s; nothing for a rate the adapter
// does not offer.
std::optional<int> SpeedOfBitRate(int bitRate);

extern const char *const BridgeUsage;
