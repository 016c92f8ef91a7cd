// SPDX-License-Identifier: GPL-3.0-or-later
// molvar-bridge's command line and its help text.
#include "BridgeOptions.h"

#include "adapter/Vni_if.h"

#include <cstdlib>

const char *const BridgeUsage =
    "Usage: molvar-bridge [OPTION]... IFACE\n"
    "Connects a Molvar USB-to-CAN adapter to the SocketCAN interface IFACE\n"
    "(a vcan interface or any CAN interface that is up) and copies frames both\n"
    "ways until it is stopped with SIGINT (Ctrl+C) or SIGTERM.\n"
    "\n"
    "  -s, --serial S         the adapter with serial number S (default: the first)\n"
    "  -f, --setup FILE.vni   bit rate, switches and the 14 filter banks from a\n"
    "                         set-up file saved by Molvar\n"
    "  -b, --bitrate RATE     bit rate in bit/s: 10000, 20000, 50000, 100000,\n"
    "                         125000, 250000, 500000 or 1000000 (default: the\n"
    "                         set-up file's, else 500000)\n"
    "  -l, --loopback         adapter loopback mode on\n"
    "      --termination on|off     bus termination (default: on)\n"
    "      --retransmission on|off  automatic retransmission (default: on)\n"
    "  -v, --verbose          print each frame in candump's format, and drops as\n"
    "                         they happen\n"
    "      --database FILE.dbc  with --verbose, after each frame its signals as\n"
    "                         molvar-decode prints them\n"
    "  -h, --help             print this help and exit\n"
    "      --version          print the version and exit\n"
    "\n"
    "Options override the set-up file. Without a set-up file every filter bank\n"
    "but the first is off and the first lets every frame through.\n"
    "\n"
    "Frames from the adapter are written to IFACE with their identifier type,\n"
    "remote flag and length; frames other programs write to IFACE go to the\n"
    "adapter. On exit the counters are printed: frames each way and frames\n"
    "dropped (adapter receive queue full, IFACE refusing a frame, the adapter\n"
    "gone before taking a frame, a frame the adapter had not accepted when the\n"
    "bridge stopped, IFACE's receive buffer overflowing). Frames count as sent\n"
    "to the adapter once it has accepted them.\n"
    "\n"
    "Exit status:\n"
    "  0  stopped by SIGINT or SIGTERM; the adapter was closed\n"
    "  2  wrong command line\n"
    "  3  no adapter found, or the connection to it failed\n"
    "  4  IFACE does not exist, is down, or CAN sockets are not available\n"
    "  5  the set-up file or the database cannot be read\n"
    "  6  the adapter went away while bridging\n"
    "  7  IFACE went away while bridging\n";

std::optional<int> SpeedOfBitRate(int bitRate) {
  for (int speed = 0; speed < SpeedCount; ++speed)
    if (BitRate(static_cast<uint8_t>(speed)) == bitRate)
      return speed;
  return std::nullopt;
}

namespace {
std::optional<bool> OnOff(const std::string &v) {
  if (v == "on")
    return true;
  if (v == "off")
    return false;
  return std::nullopt;
}
} // namespace

std::optional<TBridgeOptions> ParseBridgeOptions(const std::vector<std::string> &args, std::string &error) {
  TBridgeOptions o;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    std::string value;
    bool hasValue = false;
    // "--name=value" as well as "--name value".
    if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
      value = a.substr(a.find('=') + 1);
      a = a.substr(0, a.find('='));
      hasValue = true;
    }
    auto takeValue = [&]() -> bool {
      if (hasValue)
        return true;
      if (i + 1 >= args.size()) {
        error = "option " + a + " needs a value";
        return false;
      }
      value = args[++i];
      return true;
    };
    if (a == "-s" || a == "--serial") {
      if (!takeValue())
        return std::nullopt;
      if (value.empty()) {
        error = "the serial number is empty";
        return std::nullopt;
      }
      o.Serial = value;
    } else if (a == "-f" || a == "--setup") {
      if (!takeValue())
        return std::nullopt;
      o.SetupFile = value;
    } else if (a == "--database") {
      if (!takeValue())
        return std::nullopt;
      o.Database = value;
    } else if (a == "-b" || a == "--bitrate") {
      if (!takeValue())
        return std::nullopt;
      char *end = nullptr;
      const long rate = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || rate <= 0 || rate > 1000000 || !SpeedOfBitRate(static_cast<int>(rate))) {
        error = "bit rate \"" + value + "\" is not one the adapter offers (10000, 20000, 50000, 100000, "
                "125000, 250000, 500000, 1000000)";
        return std::nullopt;
      }
      o.BitRate = static_cast<int>(rate);
    } else if (a == "--termination" || a == "--retransmission") {
      if (!takeValue())
        return std::nullopt;
      const auto v = OnOff(value);
      if (!v) {
        error = a + " takes on or off, not \"" + value + "\"";
        return std::nullopt;
      }
      (a == "--termination" ? o.Termination : o.Retransmission) = *v;
    } else if (hasValue) {
      error = "option " + a + " takes no value";
      return std::nullopt;
    } else if (a == "-l" || a == "--loopback") {
      o.Loopback = true;
    } else if (a == "-v" || a == "--verbose") {
      o.Verbose = true;
    } else if (a == "-h" || a == "--help") {
      o.Help = true;
    } else if (a == "--version") {
      o.Version = true;
    } else if (a == "--") {
      positional.insert(positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown option " + a;
      return std::nullopt;
    } else {
      positional.push_back(a);
    }
  }
  if (o.Help || o.Version)
    return o;
  if (positional.size() != 1) {
    error = positional.empty() ? "no CAN interface given" : "more than one CAN interface given";
    return std::nullopt;
  }
  o.Interface = positional[0];
  return o;
}
