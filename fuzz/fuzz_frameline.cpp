// SPDX-License-Identifier: GPL-3.0-or-later
// LineToMessage on any text, and the frame line of what it made: the record
// never holds a length above 8, and its own line reads back to the same frame.

#include "dialogs/UnitEditMsg.h"
#include "can/FrameText.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  TCanMessage m;
  LineToMessage(text, m);
  if (m.DLC > 8 || m.Command != 0x0501 || (m.IDType != 0 && m.IDType != 4) || (m.RTR != 0 && m.RTR != 2))
    abort();
  const QString line = MessageToLine(QString(), m);
  TCanMessage back;
  LineToMessage(line, back);
  if (back.IDType != m.IDType || back.RTR != m.RTR || back.ID != m.ID || back.DLC != m.DLC ||
      std::memcmp(back.Data, m.Data, m.RTR ? 0 : m.DLC) != 0)
    abort();
  if (MessageToLine(QString(), back) != line)
    abort();
  return 0;
}
