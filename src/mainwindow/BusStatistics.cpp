// SPDX-License-Identifier: GPL-3.0-or-later
// Frame rates and the bus load from each frame's exact length on the bus.
#include "BusStatistics.h"

#include "can/FrameBits.h"

void TBusStatistics::Count(const TCanMessage &msg, bool received) {
  ++(received ? FRx : FTx);
  FBits += FrameBits(msg);
}

TRates TBusStatistics::Take(double seconds, int bitRate) {
  TRates r;
  if (seconds > 0) {
    r.RxPerSecond = FRx / seconds;
    r.TxPerSecond = FTx / seconds;
    if (bitRate > 0)
      r.LoadPercent = 100.0 * FBits / (seconds * bitRate);
  }
  Reset();
  return r;
}

void TBusStatistics::Reset() { FRx = FTx = FBits = 0; }

QString RatesText(const TRates &rates) {
  return QString("Rx %1/s  Tx %2/s  Load %3 %")
      .arg(qRound64(rates.RxPerSecond))
      .arg(qRound64(rates.TxPerSecond))
      .arg(rates.LoadPercent, 0, 'f', 1);
}
