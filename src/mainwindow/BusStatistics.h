// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Frame rates and bus load, for the status bar.

#include "adapter/Vni_if.h"

#include <QString>

// Bits a frame occupies on the bus, interframe space included. Counted
// exactly rather than estimated: the bits from start of frame to the end of
// the CRC (the CRC-15 of the frame's own content) with the stuff bits that
// content requires (one after every five equal bits, the stuff bit itself
// counting towards the next run), plus 13 unstuffed bits: CRC delimiter,
// ACK slot and delimiter, 7 end-of-frame and 3 intermission bits. A
// standard data frame of n bytes takes 47 + 8n bits before stuffing, an
// extended one 67 + 8n; a remote request counts as n = 0.
int FrameBits(const TCanMessage &msg);

struct TRates {
  double RxPerSecond = 0;
  double TxPerSecond = 0;
  double LoadPercent = 0; // of the bit rate; 0 when it is unknown
};

// Counts frames between two readings.
class TBusStatistics {
public:
  void Count(const TCanMessage &msg, bool received);
  // The rates over the time since the last reading, and a new period begun.
  TRates Take(double seconds, int bitRate);
  void Reset();

private:
  uint64_t FRx = 0;
  uint64_t FTx = 0;
  uint64_t FBits = 0;
};

// "Rx 875/s  Tx 10/s  Load 45.2 %"
QString RatesText(const TRates &rates);
