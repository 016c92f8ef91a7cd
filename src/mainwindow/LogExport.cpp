// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the frame log to candump and CSV files.
#include "LogExport.h"


#include <QApplication>
#include <QIODevice>
#include <QProgressDialog>
#include <QSaveFile>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {
constexpr size_t ProgressEvery = 4096;
} // namespace

TLogFormat LogFormatForFile(const QString &path) {
  return path.endsWith(".csv", Qt::CaseInsensitive) ? TLogFormat::Csv : TLogFormat::Candump;
}

QByteArray LogFileLine(const TLogLine &line, int64_t wallUs, TLogFormat format) {
  QByteArray text = format == TLogFormat::Csv ? CsvLine(line) : CandumpLine(line.Message(), wallUs);
  text += '\n';
  return text;
}

QByteArray LogFileHeader(TLogFormat format) {
  return format == TLogFormat::Csv ? QByteArray(CsvHeader) + '\n' : QByteArray();
}

bool WriteLog(const TFrameLogModel &log, QIODevice &out, TLogFormat format,
              const std::function<bool(size_t written)> &progress) {
  QByteArray chunk;
  auto flush = [&] {
    const bool ok = out.write(chunk) == chunk.size();
    chunk.clear();
    return ok;
  };
  chunk += LogFileHeader(format);
  // The lines there were when the export began; progress lets events run,
  // so the log is asked again for its size in case it was cleared.
  const size_t count = log.Count();
  // In time order. The log shows a frame sent where it was handed over, and
  // stamps it when the adapter accepted it, after frames received meanwhile;
  // the file must not go backwards at such lines.
  std::vector<size_t> order;
  for (size_t row = 1; row < count; ++row)
    if (log.WallTimeUs(row) < log.WallTimeUs(row - 1)) {
      order.resize(count);
      std::iota(order.begin(), order.end(), size_t{0});
      std::stable_sort(order.begin(), order.end(),
                       [&](size_t a, size_t b) { return log.WallTimeUs(a) < log.WallTimeUs(b); });
      break;
    }
  for (size_t i = 0; i < count && i < log.Count(); ++i) {
    const size_t row = order.empty() ? i : order[i];
    if (row >= log.Count())
      break;
    chunk += LogFileLine(log.At(row), log.WallTimeUs(row), format);
    if ((i + 1) % ProgressEvery == 0) {
      if (!flush())
        return false;
      if (progress && !progress(i + 1))
        return false;
    }
  }
  return flush();
}

bool ExportLogFile(QWidget *parent, const TFrameLogModel &log, const QString &path, QString &error) {
  QSaveFile file(path);
  auto refused = [&](const QString &reason) {
    error = QString("The file \"%1\" could not be written: %2").arg(path, reason);
    return false;
  };
  error.clear();
  if (!file.open(QIODevice::WriteOnly))
    return refused(file.errorString());
  const size_t total = log.Count();
  QProgressDialog progress("Exporting the log...", "Cancel", 0, 1000, parent);
  progress.setObjectName("ProgressExport");
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  auto step = [&](size_t written) {
    progress.setValue(static_cast<int>(written * 1000 / std::max<size_t>(total, 1)));
    QApplication::processEvents();
    return !progress.wasCanceled();
  };
  const bool written = WriteLog(log, file, LogFormatForFile(path), step);
  progress.reset();
  if (!written) {
    const bool cancelled = progress.wasCanceled();
    const QString reason = file.errorString();
    file.cancelWriting();
    return cancelled ? false : refused(reason);
  }
  return file.commit() || refused(file.errorString());
}
