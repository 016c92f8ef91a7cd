// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogExport.h"


#include <QIODevice>

#include <algorithm>

namespace {
constexpr size_t ProgressEvery = 4096;
} // namespace

TLogFormat LogFormatForFile(const QString &path) {
  return path.endsWith(".csv", Qt::CaseInsensitive) ? TLogFormat::Csv : TLogFormat::Candump;
}

bool WriteLog(const TFrameLogModel &log, QIODevice &out, TLogFormat format,
              const std::function<bool(size_t written)> &progress) {
  QByteArray chunk;
  auto flush = [&] {
    const bool ok = out.write(chunk) == chunk.size();
    chunk.clear();
    return ok;
  };
  if (format == TLogFormat::Csv) {
    chunk += CsvHeader;
    chunk += '\n';
  }
  // The lines there were when the export began; progress lets events run,
  // so the log is asked again for its size in case it was cleared.
  const size_t count = log.Count();
  for (size_t row = 0; row < count && row < log.Count(); ++row) {
    if (format == TLogFormat::Csv)
      chunk += CsvLine(log.At(row));
    else
      chunk += CandumpLine(log.At(row).Message(), log.WallTimeUs(row));
    chunk += '\n';
    if ((row + 1) % ProgressEvery == 0) {
      if (!flush())
        return false;
      if (progress && !progress(row + 1))
        return false;
    }
  }
  return flush();
}
