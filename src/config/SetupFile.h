// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A set-up as ".vni" files and the settings file store it: the device
// configuration, the filter table and the transmit list with its cycle times.

#include "adapter/Vni_if.h"

#include <QStringList>

#include <vector>

class TIniFile;

// The most frames a set-up can bring into the transmit list. A count beyond
// it (only a damaged or hand-edited file holds one) reads this many.
constexpr int MaxSetupFrames = 1000000;
// The longest transmit cycle a set-up holds, in milliseconds.
constexpr int MaxCycleMs = 60000;

struct TSetup {
  TDeviceConfig DevConfig{};
  TFilterTable Filters{};
  // The transmit list: the stored line of each frame, its record, and its
  // cycle time in milliseconds (0: not sent cyclically).
  QStringList Lines;
  std::vector<TCanMessage> Messages;
  std::vector<int> Cycles;
};

// Reads the whole set-up. Missing keys read as the defaults of a new set-up.
// A file whose "Messages" count is 0 (or missing) brings no transmit list:
// then Lines is empty and HasMessages false.
struct TSetupRead {
  TSetup Setup;
  bool HasMessages = false;
};
TSetupRead ReadSetup(TIniFile &ini);
// Whether the file holds any of a set-up's sections: a file without one
// (another program's, or empty) would read as the defaults of a new set-up.
bool HoldsSetup(TIniFile &ini);

// Writes the set-up's keys, leaving every other line of the file as it was.
// The "Cycles" section holds only the non-zero cycle times and is left out
// when there are none, so a set-up without cycles is stored as it always was.
void WriteSetup(TIniFile &ini, const TSetup &setup);
