// SPDX-License-Identifier: GPL-3.0-or-later
#include "FrameBits.h"

#include "Frame.h"

#include <algorithm>
#include <array>

namespace {
// The bits of a frame from start of frame up to the CRC, and the CRC-15
// (polynomial 0x4599) computed over them as they are appended.
class TFrameBits {
public:
  void Add(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      const int bit = (value >> i) & 1;
      FBits[FCount++] = static_cast<uint8_t>(bit);
      const int feedback = bit ^ ((FCrc >> 14) & 1);
      FCrc = (FCrc << 1) & 0x7FFF;
      if (feedback)
        FCrc ^= 0x4599;
    }
  }
  void AddCrc() { Add(FCrc, 15); }
  int StuffBits() const {
    int stuffed = 0;
    int run = 0;
    int last = -1;
    for (int i = 0; i < FCount; ++i) {
      run = FBits[i] == last ? run + 1 : 1;
      last = FBits[i];
      if (run == 5) {
        ++stuffed;
        last = !last; // the stuff bit starts the next run
        run = 1;
      }
    }
    return stuffed;
  }
  int Count() const { return FCount; }

private:
  std::array<uint8_t, 160> FBits{};
  int FCount = 0;
  uint16_t FCrc = 0;
};
constexpr int UnstuffedTail = 1 + 1 + 1 + 7 + 3;
} // namespace

int FrameBits(const TCanMessage &msg) {
  const bool extended = IsExtended(msg);
  const bool remote = IsRemote(msg);
  const int dlcField = std::min<int>(msg.DLC, 15);
  const int bytes = PayloadLength(msg);
  TFrameBits f;
  f.Add(0, 1); // start of frame
  if (extended) {
    const uint32_t id = MaskedId(msg);
    f.Add(id >> 18, 11);
    f.Add(1, 1); // substitute remote request
    f.Add(1, 1); // identifier extension
    f.Add(id & 0x3FFFF, 18);
    f.Add(remote, 1);
    f.Add(0, 2); // r1, r0
  } else {
    f.Add(MaskedId(msg), 11);
    f.Add(remote, 1);
    f.Add(0, 2); // identifier extension, r0
  }
  f.Add(dlcField, 4);
  for (int i = 0; i < bytes; ++i)
    f.Add(msg.Data[i], 8);
  f.AddCrc();
  return f.Count() + f.StuffBits() + UnstuffedTail;
}

