// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogRecorder.h"

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace {
// Written before a second has passed when this many have collected.
constexpr size_t WriteAtLines = 4096;

// Writes until everything is written or the system refuses; the count
// written, and the refusal's errno. The system's own reason is what a user
// needs ("No space left on device"), which a short write through QFile loses.
qint64 WriteAll(int fd, const QByteArray &bytes, int &reason) {
  qint64 done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      reason = n < 0 ? errno : ENOSPC;
      break;
    }
    done += n;
  }
  return done;
}
} // namespace

bool TLogRecorder::Start(const QString &path, QString &error) {
  if (FFile.isOpen())
    Stop(error);
  FFile.setFileName(path);
  FPath = path;
  FFrames = FWrittenFrames = FBytes = 0;
  FLastWallUs = INT64_MIN;
  FLines.clear();
  FPending.clear();
  FFormat = LogFormatForFile(path);
  if (!FFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
    return Fail(error, FFile.errorString());
  FPending = LogFileHeader(FFormat);
  FSinceWrite.start();
  return Flush(error, true);
}

void TLogRecorder::Add(const TLogLine &line, int64_t wallUs) {
  if (!FFile.isOpen())
    return;
  FLines.push_back({line, wallUs});
  ++FFrames;
}

bool TLogRecorder::Flush(QString &error, bool force) {
  if (!FFile.isOpen())
    return true;
  if (!force && FLines.size() < WriteAtLines && FSinceWrite.elapsed() < 1000)
    return true;
  FSinceWrite.restart();
  // In time order: a frame sent is taken when the adapter accepted it, after
  // frames received before then may have been. One that still comes later
  // than lines already written takes the time of the last of them, so that
  // the file's stamps never go backwards.
  std::stable_sort(FLines.begin(), FLines.end(), [](const auto &a, const auto &b) { return a.second < b.second; });
  for (const auto &[line, wallUs] : FLines) {
    FLastWallUs = std::max(FLastWallUs, wallUs);
    TLogLine stamped = line;
    stamped.TimeUs += FLastWallUs - wallUs;
    FPending += LogFileLine(stamped, FLastWallUs, FFormat);
  }
  FLines.clear();
  if (!FPending.isEmpty()) {
    int reason = 0;
    const qint64 written = WriteAll(FFile.handle(), FPending, reason);
    if (written != FPending.size()) {
      // A line cut off by the full disk goes; the complete ones stay.
      if (written > 0 && ::ftruncate(FFile.handle(), static_cast<off_t>(FBytes)) != 0)
        return Fail(error, qt_error_string(reason) + ", and the last line stays cut off");
      return Fail(error, qt_error_string(reason));
    }
    FBytes += static_cast<uint64_t>(written);
    FWrittenFrames = FFrames;
    FPending.clear();
  }
  // On the disk, not only in the system's cache.
  if (::fdatasync(FFile.handle()) != 0 && errno != EINVAL && errno != EROFS)
    return Fail(error, qt_error_string(errno));
  return true;
}

bool TLogRecorder::Stop(QString &error) {
  const bool ok = Flush(error, true);
  FFile.close();
  FLines.clear();
  FPending.clear();
  return ok;
}

bool TLogRecorder::Fail(QString &error, const QString &reason) {
  error = QString("Recording to \"%1\" stopped: %2").arg(FPath, reason);
  // What was written stays; nothing more is collected.
  FFile.close();
  FLines.clear();
  FPending.clear();
  return false;
}
