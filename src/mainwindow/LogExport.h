// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing the frame log to files other tools read: candump's log format
// (replayed by canplayer, read by Wireshark and most CAN tools) and CSV.

#include "LineModels.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

enum class TLogFormat { Candump, Csv };

// CSV for a ".csv" file, candump's format for any other.
TLogFormat LogFormatForFile(const QString &path);

// "(1700000000.123456) can0 123#1122": wall-clock seconds, the interface
// name, three hexadecimal digits for a standard identifier and eight for an
// extended one, the data bytes; a remote request as "#R" followed by its
// length when it is not zero. At most eight bytes, as a CAN frame holds.
QByteArray CandumpLine(const TCanMessage &msg, int64_t wallUs, const char *interfaceName = "can0");

// The CSV header, and a line: seconds since the connection, direction,
// identifier, "std"/"ext", remote 0/1, length, data bytes separated by
// spaces.
extern const char *const CsvHeader;
QByteArray CsvLine(const TLogLine &line);

// Writes every line of the log. Progress is told every few thousand lines
// with the count written so far; when it returns false the export stops and
// false is returned. False too when the device refuses a write.
bool WriteLog(const TFrameLogModel &log, QIODevice &out, TLogFormat format,
              const std::function<bool(size_t written)> &progress = {});
