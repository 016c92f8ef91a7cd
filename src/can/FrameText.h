// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text forms of a CAN frame, each with its parser where something reads
// it back: the frame line of the log, the transmit list and set-up files;
// candump's log line, which other CAN tools read and write; the CSV line of
// exports. One place for each, shared by the windows, the set-up reader and
// the command-line tools.

#include "adapter/Vni_if.h"
#include "can/LogLine.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

// Any text to a 32-bit value: hexadecimal digits of either case count, every
// other character counts as the digit 0; digits beyond 32 bits are lost.
uint32_t HexToInt(const QString &text);

// "Rx"/"Tx" (or no) prefix, "Std"/"Ext", the identifier, then the data bytes
// or the remote request text, separated by single TABs.
QString MessageToLine(const QString &prefix, const TCanMessage &msg);

// Fills the record from a stored frame line; never fails, and never gives a
// data length above 8.
void LineToMessage(const QString &text, TCanMessage &msg);

// The text of a remote request field before its data length.
extern const char *const RemoteRequestPrefix;

// candump's log line: "(1700000000.123456) can0 123#1122": wall-clock
// seconds, the interface name, three hexadecimal digits for a standard
// identifier and eight for an extended one, the data bytes; a remote
// request as "#R" followed by its length when it is not zero. At most eight
// bytes, as a CAN frame holds.
QByteArray CandumpLine(const TCanMessage &msg, int64_t wallUs, const char *interfaceName = "can0");

// What a line of a candump log file holds.
enum class TCandumpKind {
  Frame,   // a classic CAN frame, in Msg
  FdFrame, // a CAN FD frame ("##"), which a classic adapter cannot send
  Error,   // an error frame (the error flag in the identifier)
  NotFrame // anything else: a blank line, a comment, a damaged line
};
struct TCandumpRecord {
  TCandumpKind Kind = TCandumpKind::NotFrame;
  int64_t WallUs = 0;    // the stamp, microseconds since the Unix epoch
  std::string Interface; // as the line names it
  TCanMessage Msg{};     // IDType, RTR, DLC, ID and data; command word 0x0501
};
// Reads one line as candump -l, canplayer and our exports write it (an
// optional trailing direction field " T"/" R" is allowed). Never fails:
// what it cannot read is NotFrame.
TCandumpRecord ParseCandumpLine(std::string_view line);

// The CSV header, and a line: seconds since the connection, direction,
// identifier, "std"/"ext", remote 0/1, length, data bytes separated by
// spaces.
extern const char *const CsvHeader;
QByteArray CsvLine(const TLogLine &line);
