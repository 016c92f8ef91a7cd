// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recording: every frame written to a file as it comes, in the export's
// formats, in time order. Lines are collected and written whole, and the file is synced to
// the disk at least once a second, so that a recording cut short by a crash
// or a power loss is valid up to its last complete line; memory stays that
// of one second's lines however long it runs.

#include "LogExport.h"

#include <QElapsedTimer>
#include <QFile>

#include <cstdint>
#include <utility>
#include <vector>

class TLogRecorder {
public:
  // Creates (or replaces) the file; false with the reason naming it.
  bool Start(const QString &path, QString &error);
  bool Recording() const { return FFile.isOpen(); }
  const QString &Path() const { return FPath; }
  // Frames and bytes in the file so far.
  uint64_t Frames() const { return FWrittenFrames; }
  uint64_t Bytes() const { return FBytes; }

  void Add(const TLogLine &line, int64_t wallUs);
  // Writes what was collected when a second has passed since the last
  // write (or always, with force). False, with the reason naming the file,
  // when the disk refused it: the recording has then stopped, and the lines
  // written before stay in the file.
  bool Flush(QString &error, bool force = false);
  // Writes the rest and closes the file; false as Flush.
  bool Stop(QString &error);

private:
  bool Fail(QString &error, const QString &reason);

  QFile FFile;
  QString FPath;
  TLogFormat FFormat = TLogFormat::Candump;
  std::vector<std::pair<TLogLine, int64_t>> FLines; // collected, with their wall-clock times
  int64_t FLastWallUs = INT64_MIN; // of the last line written
  QByteArray FPending; // the text being written
  QElapsedTimer FSinceWrite;
  uint64_t FFrames = 0; // collected
  uint64_t FWrittenFrames = 0;
  uint64_t FBytes = 0;
};
