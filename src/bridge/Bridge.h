// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge between an adapter and a SocketCAN interface: frames from the
// adapter's communication thread are written to the interface's socket,
// frames read from the socket are handed to the thread for transmission.

#include "BridgeOptions.h"
#include "adapter/Vni_if.h"
#include "OverflowCount.h"
#include "can/Dbc.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <linux/can.h>

class TDevComm;

// Every frame taken from the interface is accepted by the adapter or
// dropped for one of two reasons:
//   taken = ToAdapter + DroppedHandOver + DroppedNotAccepted.
struct TBridgeCounters {
  uint64_t FromAdapter = 0;        // frames written to the interface
  uint64_t ToAdapter = 0;          // frames the adapter accepted
  uint64_t DroppedQueueFull = 0;   // the communication thread's receive queue was full
  uint64_t DroppedInterface = 0;   // the interface refused a frame
  uint64_t DroppedHandOver = 0;    // the adapter was gone before it took a frame
  uint64_t DroppedNotAccepted = 0; // handed over, not accepted before the end
  uint64_t DroppedOverflow = 0;    // the socket's receive buffer overflowed
  uint64_t IgnoredFrames = 0;      // error frames and records of another size
};

// A CAN frame record as SocketCAN carries it, and back.
can_frame ToCanFrame(const TCanMessage &msg);
TCanMessage FromCanFrame(const can_frame &frame);
// candump's default line: "  vcan0  123   [2]  11 22", the source name
// padded to width.
std::string CandumpText(const std::string &source, int width, const can_frame &frame);

class TBridge {
public:
  // fd: a socket carrying struct can_frame records, one per datagram; owned
  // by the caller. Log lines go to log (verbose only) and errors to err.
  TBridge(TVNI &adapter, int fd, std::string interfaceName, bool verbose, std::FILE *log, std::FILE *err);
  ~TBridge();

  // Opens the adapter through its communication thread and sends the
  // configuration, the filter banks and the start command. False when the
  // adapter cannot be opened.
  bool Connect(const std::string &serial, const TDeviceConfig &config, const TFilterTable &filters);
  // Copies frames both ways until stop is set (returns bridgeexit::Stopped)
  // or the adapter or the interface is lost.
  int Run(const std::atomic<bool> &stop);
  // Passes on what the adapter had delivered, counts what it never accepted,
  // and closes it with its close command.
  void Disconnect();

  const TBridgeCounters &Counters() const { return FCounters; }
  // With verbose, each frame's signals by this database follow its line.
  void SetDatabase(std::shared_ptr<const TDatabase> db) { FDatabase = std::move(db); }
  std::string CountersText() const;

private:
  // Writes what the adapter delivered to the interface, and empties FOut.
  void ToInterface();
  bool FromInterface();
  void NoteDrops();
  void LogFrame(const std::string &interfaceName, const can_frame &f);

  TVNI &FAdapter;
  int FFd;
  std::string FInterface;
  bool FVerbose;
  std::FILE *FLog;
  std::FILE *FErr;
  int FNameWidth;
  std::unique_ptr<TDevComm> FComm;
  TBridgeCounters FCounters;
  std::vector<can_frame> FOut; // delivered by the adapter, for the interface
  TOverflowCount FOverflow;
  uint64_t FReportedDrops = 0;
  std::shared_ptr<const TDatabase> FDatabase;
};

// The whole program once the command line is read: set-up file, interface,
// adapter, bridging until stop, counters. openInterface opens the named
// interface and returns its socket, or -1 with a message in its error
// argument. Returns the exit code.
using TOpenInterface = std::function<int(const std::string &name, std::string &error)>;
int RunBridge(const TBridgeOptions &options, const TOpenInterface &openInterface, const std::atomic<bool> &stop,
              std::FILE *out, std::FILE *err);

// Opens a raw CAN socket bound to the interface.
int OpenCanInterface(const std::string &name, std::string &error);
