// SPDX-License-Identifier: GPL-3.0-or-later
// The cyclic transmit schedule; see CyclicSchedule.h.

#include "CyclicSchedule.h"

void StartCycles(TTransmitList &list, qint64 nowMs) {
  for (size_t i = 0; i < list.Size(); ++i)
    list.At(i).DueMs = nowMs;
}

std::vector<size_t> TakeDueEntries(TTransmitList &list, qint64 nowMs) {
  std::vector<size_t> due;
  for (size_t i = 0; i < list.Size(); ++i) {
    TTransmitEntry &e = list.At(i);
    if (e.CycleMs <= 0 || e.DueMs > nowMs)
      continue;
    due.push_back(i);
    e.DueMs += e.CycleMs;
    if (e.DueMs <= nowMs)
      e.DueMs = nowMs + e.CycleMs;
  }
  return due;
}
