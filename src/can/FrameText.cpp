// SPDX-License-Identifier: GPL-3.0-or-later
#include "can/FrameText.h"

#include "can/Frame.h"

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
