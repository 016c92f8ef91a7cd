// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A frame as the log keeps it: its shown fields, its direction and its time
// stamp (microseconds since its connection was made). Compact, because a
// log holds millions of them.

#include "adapter/Vni_if.h"

#include <cstdint>
#include <cstring>

enum class TDirection : uint8_t { Rx, Tx };

struct TLogLine {
  uint32_t ID;
  uint8_t IDType;
  uint8_t RTR;
  uint8_t DLC;
  TDirection Direction;
  uint8_t Data[8];
  int64_t TimeUs;

  static TLogLine From(TDirection dir, const TCanMessage &msg, int64_t timeUs = 0) {
    TLogLine l;
    l.TimeUs = timeUs;
    l.ID = msg.ID;
    l.IDType = msg.IDType;
    l.RTR = msg.RTR;
    l.DLC = msg.DLC;
    l.Direction = dir;
    std::memcpy(l.Data, msg.Data, sizeof l.Data);
    return l;
  }
  TCanMessage Message() const {
    TCanMessage m{};
    m.ID = ID;
    m.IDType = IDType;
    m.RTR = RTR;
    m.DLC = DLC;
    std::memcpy(m.Data, Data, sizeof Data);
    return m;
  }
};
static_assert(sizeof(TLogLine) == 24);
