// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogExport.h"

#include "can/Frame.h"

#include <QIODevice>

#include <algorithm>

namespace {
constexpr size_t ProgressEvery = 4096;

void AppendHex(QByteArray &out, uint32_t value, int digits) {
  static const char Hex[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i)
    out += Hex[(value >> (4 * i)) & 0xF];
}

// Seconds and microseconds of a stamp, never negative.
void AppendSeconds(QByteArray &out, int64_t us, int secondsWidth) {
  const uint64_t u = us < 0 ? 0 : static_cast<uint64_t>(us);
  out += QByteArray::number(static_cast<qulonglong>(u / 1000000)).rightJustified(secondsWidth, '0');
  out += '.';
  out += QByteArray::number(static_cast<qulonglong>(u % 1000000)).rightJustified(6, '0');
}
} // namespace

TLogFormat LogFormatForFile(const QString &path) {
  return path.endsWith(".csv", Qt::CaseInsensitive) ? TLogFormat::Csv : TLogFormat::Candump;
}

QByteArray CandumpLine(const TCanMessage &msg, int64_t wallUs, const char *interfaceName) {
  QByteArray out;
  out.reserve(48);
  out += '(';
  AppendSeconds(out, wallUs, 10);
  out += ") ";
  out += interfaceName;
  out += ' ';
  AppendHex(out, MaskedId(msg), IsExtended(msg) ? 8 : 3);
  out += '#';
  if (IsRemote(msg)) {
    out += 'R';
    if (FrameLength(msg) > 0)
      AppendHex(out, FrameLength(msg), 1);
  } else {
    for (int i = 0; i < PayloadLength(msg); ++i)
      AppendHex(out, msg.Data[i], 2);
  }
  return out;
}

const char *const CsvHeader = "Time,Direction,ID,Format,Remote,DLC,Data";

QByteArray CsvLine(const TLogLine &line) {
  const TCanMessage msg = line.Message();
  QByteArray out;
  out.reserve(64);
  AppendSeconds(out, line.TimeUs, 1);
  out += line.Direction == TDirection::Rx ? ",Rx," : ",Tx,";
  AppendHex(out, MaskedId(msg), IsExtended(msg) ? 8 : 3);
  out += IsExtended(msg) ? ",ext," : ",std,";
  out += IsRemote(msg) ? "1," : "0,";
  out += QByteArray::number(FrameLength(msg));
  out += ',';
  for (int i = 0; i < PayloadLength(msg); ++i) {
    if (i > 0)
      out += ' ';
    AppendHex(out, msg.Data[i], 2);
  }
  return out;
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
