// SPDX-License-Identifier: GPL-3.0-or-later
// The DBC reader on any bytes: it never crashes or hangs, every signal it
// keeps fits the 64 bits a value holds, and decoding any frame by what it
// read stays inside the frame.

#include "can/Dbc.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const TDatabase db = TDatabase::Parse(std::string_view(reinterpret_cast<const char *>(data), size));
  const uint8_t frame[8] = {0xA5, 0x5A, 0xFF, 0x00, 0x12, 0x34, 0x56, 0x78};
  for (const TDbcMessage &m : db.Messages) {
    for (const TSignal &s : m.Signals) {
      if (s.Length < 1 || s.Length > 64 || s.StartBit < 0 || s.StartBit > 511)
        abort();
      uint8_t copy[8] = {};
      uint64_t raw = 0;
      if (RawBits(s, frame, 8, raw)) {
        PutRawBits(s, raw, copy);
        uint64_t again = 0;
        if (!RawBits(s, copy, 8, again) || again != raw)
          abort();
      }
      (void)RawFromPhysical(s, Physical(s, raw));
    }
    (void)DecodedLines(db, m.Id, m.Extended, frame, 8);
  }
  for (const TDbcError &e : db.Errors)
    if (e.Line < 1)
      abort();
  return 0;
}
