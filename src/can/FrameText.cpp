// SPDX-License-Identifier: GPL-3.0-or-later
// The text forms of a CAN frame and their parsers; see FrameText.h.
#include "can/FrameText.h"

#include "can/Frame.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

uint32_t HexToInt(const QString &text) {
  uint32_t value = 0;
  for (QChar ch : text) {
    const char16_t c = ch.toUpper().unicode();
    uint32_t digit = 0;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    value = value * 16 + digit;
  }
  return value;
}

const char *const RemoteRequestPrefix = "remote request (DLC=";

QString MessageToLine(const QString &prefix, const TCanMessage &msg) {
  char buf[96];
  int n = 0;
  auto put = [&](const char *fmt, auto... args) {
    n += std::snprintf(buf + n, sizeof buf - n, fmt, args...);
  };
  QByteArray p = prefix.toLatin1();
  if (!p.isEmpty() && p.size() < 32)
    put("%s\t", p.constData());
  if (!IsExtended(msg))
    put("Std\t  %03X", static_cast<unsigned>(msg.ID));
  else
    put("Ext\t%05X", static_cast<unsigned>(msg.ID));
  if (IsRemote(msg)) {
    put("\t%s%u)", RemoteRequestPrefix, static_cast<unsigned>(msg.DLC));
  } else {
    // A record holds eight data bytes; a larger length from the adapter
    // shows those eight.
    for (int i = 0; i < FrameLength(msg); ++i)
      put("\t%02X", static_cast<unsigned>(msg.Data[i]));
  }
  QString line = QString::fromLatin1(buf, n);
  if (p.size() >= 32)
    line.prepend(prefix + '\t');
  return line;
}

void LineToMessage(const QString &text, TCanMessage &msg) {
  std::memset(&msg, 0, sizeof msg);
  msg.Command = vnicmd::Transmit;
  const QString remote = QString::fromLatin1(RemoteRequestPrefix);
  int field = 0;
  qsizetype pos = 0;
  bool last = false;
  while (!last) {
    qsizetype tab = text.indexOf('\t', pos);
    QStringView f;
    if (tab < 0) {
      f = QStringView(text).mid(pos);
      last = true;
    } else {
      f = QStringView(text).mid(pos, tab - pos);
      pos = tab + 1;
    }
    if (f.isEmpty())
      continue;
    if (field == 0) {
      msg.IDType = (f == u"Std") ? 0 : 4;
    } else if (field == 1) {
      msg.ID = HexToInt(f.toString());
    } else if (field == 2 && f.startsWith(remote)) {
      msg.RTR = 2;
      const QChar c = f.size() > remote.size() ? f[remote.size()] : QChar();
      // Only the one character after the prefix counts; a record never
      // holds more than 8.
      msg.DLC = (c >= '0' && c <= '9') ? static_cast<uint8_t>(std::min(c.unicode() - '0', 8)) : 0;
      return;
    } else if (field >= 2 && field <= 9) {
      msg.Data[msg.DLC] = static_cast<uint8_t>(HexToInt(f.toString()));
      ++msg.DLC;
    }
    ++field;
  }
}

namespace {
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


namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

// Hexadecimal digits only, at most 8; false on anything else.
bool ParseHex(std::string_view s, uint32_t &value) {
  if (s.empty() || s.size() > 8)
    return false;
  value = 0;
  for (char c : s) {
    const int d = HexDigit(c);
    if (d < 0)
      return false;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  return true;
}

bool ParseDecimal(std::string_view s, int64_t &value, size_t maxDigits) {
  if (s.empty() || s.size() > maxDigits)
    return false;
  value = 0;
  for (char c : s) {
    if (c < '0' || c > '9')
      return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

constexpr uint32_t CandumpErrorFlag = 0x20000000;
} // namespace

TCandumpRecord ParseCandumpLine(std::string_view line) {
  TCandumpRecord r;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
    line.remove_suffix(1);
  // "(seconds.micro)"
  if (line.size() < 3 || line[0] != '(')
    return r;
  const size_t close = line.find(')');
  const size_t dot = line.find('.');
  if (close == std::string_view::npos || dot == std::string_view::npos || dot > close)
    return r;
  int64_t seconds = 0, micro = 0;
  const std::string_view fraction = line.substr(dot + 1, close - dot - 1);
  if (!ParseDecimal(line.substr(1, dot - 1), seconds, 12) || !ParseDecimal(fraction, micro, 6) ||
      fraction.size() != 6)
    return r;
  // " iface "
  std::string_view rest = line.substr(close + 1);
  if (rest.empty() || rest[0] != ' ')
    return r;
  rest.remove_prefix(1);
  const size_t space = rest.find(' ');
  if (space == 0 || space == std::string_view::npos)
    return r;
  const std::string_view iface = rest.substr(0, space);
  // An interface name is printable text without blanks.
  for (char c : iface)
    if (c < 0x21 || c > 0x7E)
      return r;
  std::string_view frame = rest.substr(space + 1);
  // An optional direction field after the frame.
  if (const size_t extra = frame.find(' '); extra != std::string_view::npos) {
    const std::string_view dir = frame.substr(extra + 1);
    if (dir != "T" && dir != "R")
      return r;
    frame = frame.substr(0, extra);
  }
  const size_t hash = frame.find('#');
  if (hash == std::string_view::npos)
    return r;
  const std::string_view id = frame.substr(0, hash);
  std::string_view payload = frame.substr(hash + 1);
  uint32_t value = 0;
  if ((id.size() != 3 && id.size() != 8) || !ParseHex(id, value))
    return r;
  r.WallUs = seconds * 1000000 + micro;
  r.Interface = std::string(iface);
  if (!payload.empty() && payload[0] == '#') {
    r.Kind = TCandumpKind::FdFrame;
    return r;
  }
  TCanMessage &m = r.Msg;
  m.Command = vnicmd::Transmit;
  const bool extended = id.size() == 8;
  if (extended && (value & CandumpErrorFlag)) {
    r.Kind = TCandumpKind::Error;
    return r;
  }
  if (value > (extended ? ExtendedIdMask : StandardIdMask))
    return r;
  m.IDType = extended ? 4 : 0;
  m.ID = value;
  if (!payload.empty() && (payload[0] == 'R' || payload[0] == 'r')) {
    payload.remove_prefix(1);
    uint32_t length = 0;
    if (payload.size() > 1 || (!payload.empty() && (!ParseHex(payload, length) || length > MaxDataLength)))
      return r;
    m.RTR = 2;
    m.DLC = static_cast<uint8_t>(length);
  } else {
    // Data bytes, two digits each, with an optional "." between bytes.
    int count = 0;
    while (!payload.empty()) {
      if (payload[0] == '.') {
        payload.remove_prefix(1);
        continue;
      }
      uint32_t byte = 0;
      if (payload.size() < 2 || count == MaxDataLength || !ParseHex(payload.substr(0, 2), byte))
        return r;
      m.Data[count++] = static_cast<uint8_t>(byte);
      payload.remove_prefix(2);
    }
    m.DLC = static_cast<uint8_t>(count);
  }
  r.Kind = TCandumpKind::Frame;
  return r;
}
