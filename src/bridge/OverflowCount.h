// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Frames a socket lost to a full receive buffer. The kernel hands each
// record over with its running total for the socket (SO_RXQ_OVFL), which
// starts at 0 when the socket is opened and wraps at 32 bits; what counts is
// the growth between records.

#include <cstdint>

class TOverflowCount {
public:
  // Takes the total a record carried; returns the frames lost since the
  // record before.
  uint64_t Note(uint32_t total) {
    const uint32_t lost = total - FSeen; // modulo 2^32, so a wrap is growth too
    FSeen = total;
    FLost += lost;
    return lost;
  }
  uint64_t Lost() const { return FLost; }

private:
  uint32_t FSeen = 0;
  uint64_t FLost = 0;
};
