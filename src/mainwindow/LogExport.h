// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing the frame log to files other tools read: candump's log format
// (replayed by canplayer, read by Wireshark and most CAN tools) and CSV.

#include "LineModels.h"
#include "can/FrameText.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;
class QWidget;

enum class TLogFormat { Candump, Csv };

// CSV for a ".csv" file, candump's format for any other.
TLogFormat LogFormatForFile(const QString &path);

// One line of a log file, its end included; wallUs is the line's wall-clock
// time (candump's stamp).
QByteArray LogFileLine(const TLogLine &line, int64_t wallUs, TLogFormat format);
// What a log file begins with.
QByteArray LogFileHeader(TLogFormat format);


// Writes every line of the log. Progress is told every few thousand lines
// with the count written so far; when it returns false the export stops and
// false is returned. False too when the device refuses a write.
bool WriteLog(const TFrameLogModel &log, QIODevice &out, TLogFormat format,
              const std::function<bool(size_t written)> &progress = {});

// Writes the log to the file in the format its name asks for, all or
// nothing: the file is replaced only when the whole log is written. A large
// log shows its progress over parent and can be cancelled. False when the
// file was not written: with the reason, naming the file, in error, or with
// error empty when the user cancelled.
bool ExportLogFile(QWidget *parent, const TFrameLogModel &log, const QString &path, QString &error);
