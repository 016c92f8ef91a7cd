// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Frame rates and bus load, for the status bar.

#include "adapter/Vni_if.h"
#include "can/FrameBits.h"

#include <QString>


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
