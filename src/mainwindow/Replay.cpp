// SPDX-License-Identifier: GPL-3.0-or-later
#include "Replay.h"

namespace {
// A line longer than this is no candump line; it is skipped in pieces.
constexpr qint64 MaxLine = 4096;
} // namespace

bool TReplay::Start(const QString &path, bool fast, bool loop, QString &error) {
  Stop();
  FFile.setFileName(path);
  FPath = path;
  FFast = fast;
  FLoop = loop;
  FSent = FSkipped = 0;
  FHaveNext = false;
  FFramesInFile = false;
  FRoundStartUs = -1;
  if (!FFile.open(QIODevice::ReadOnly)) {
    error = QString("The file \"%1\" could not be read: %2").arg(path, FFile.errorString());
    return false;
  }
  FHaveNext = ReadNext();
  if (!FHaveNext)
    Stop();
  return true;
}

bool TReplay::ReadNext() {
  for (;;) {
    if (FFile.atEnd()) {
      // A loop starts over, unless the file holds no frame at all.
      if (!FLoop || !FFramesInFile || !FFile.seek(0))
        return false;
      FRoundStartUs = -1; // the next round's first frame goes at once
      continue;
    }
    const QByteArray line = FFile.readLine(MaxLine);
    if (line.isEmpty() && !FFile.atEnd())
      return false; // a read error ends the replay
    const bool wholeLine = line.endsWith('\n') || FFile.atEnd();
    std::string_view text(line.constData(), static_cast<size_t>(line.size()));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
      text.remove_suffix(1);
    TCandumpRecord record = wholeLine ? ParseCandumpLine(text) : TCandumpRecord{};
    if (!wholeLine) {
      // The rest of an over-long line, skipped with it.
      while (!FFile.atEnd() && !FFile.readLine(MaxLine).endsWith('\n')) {
      }
    }
    if (record.Kind != TCandumpKind::Frame) {
      // Blank lines separate nothing worth counting.
      if (!text.empty() || !wholeLine)
        ++FSkipped;
      continue;
    }
    FFramesInFile = true;
    FNext = record;
    return true;
  }
}

void TReplay::Run(int64_t nowUs, const std::function<bool(const TCanMessage &)> &send) {
  while (FHaveNext) {
    if (FRoundStartUs < 0) {
      // A round's first frame goes at once; the others keep the file's
      // intervals from it.
      FRoundStartUs = nowUs;
      FFirstStampUs = FNext.WallUs;
    }
    const int64_t due = FRoundStartUs + (FNext.WallUs - FFirstStampUs);
    if (!FFast && due > nowUs)
      return;
    if (!send(FNext.Msg))
      return;
    ++FSent;
    FHaveNext = ReadNext();
  }
  Stop();
}

int TReplay::Percent() const {
  const qint64 size = FFile.size();
  return size > 0 && FFile.isOpen() ? static_cast<int>(FFile.pos() * 100 / size) : 100;
}
