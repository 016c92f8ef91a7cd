// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// When the entries of the transmit list with a cycle time are due. Times are
// milliseconds on one clock of the caller's.

#include "TransmitList.h"

#include <vector>

// Every cyclic entry is due at once.
void StartCycles(TTransmitList &list, qint64 nowMs);
// The entries due at nowMs, in list order. Each is next due one cycle
// later; periods missed while the caller was busy are skipped, not sent in
// a burst.
std::vector<size_t> TakeDueEntries(TTransmitList &list, qint64 nowMs);
