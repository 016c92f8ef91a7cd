// SPDX-License-Identifier: GPL-3.0-or-later
// HexToInt on any text agrees with a plain reference.

#include "dialogs/UnitEditMsg.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  uint32_t expected = 0;
  for (QChar c : text) {
    const char16_t u = c.unicode();
    uint32_t d = 0;
    if (u >= '0' && u <= '9')
      d = u - '0';
    else if (u >= 'a' && u <= 'f')
      d = u - 'a' + 10;
    else if (u >= 'A' && u <= 'F')
      d = u - 'A' + 10;
    expected = expected * 16 + d;
  }
  if (HexToInt(text) != expected)
    abort();
  return 0;
}
