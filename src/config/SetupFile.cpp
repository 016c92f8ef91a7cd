// SPDX-License-Identifier: GPL-3.0-or-later
// A set-up read from and written to an INI file.
#include "SetupFile.h"

#include "IniFile.h"
#include "can/FrameText.h"

#include <algorithm>

namespace {
QString FilterSection(int bank) { return QString("Filter_%1").arg(bank); }
uint8_t Low8(int v) { return static_cast<uint8_t>(v & 0xFF); }
const QString CyclesSection = QStringLiteral("Cycles");
} // namespace

TSetupRead ReadSetup(TIniFile &ini) {
  TSetupRead read;
  TSetup &s = read.Setup;
  s.DevConfig.Speed = Low8(ini.ReadInteger("DevConfig", "Speed", 0));
  s.DevConfig.Termination = Low8(ini.ReadInteger("DevConfig", "Termination", 1));
  s.DevConfig.Retransmission = Low8(ini.ReadInteger("DevConfig", "Retransmission", 1));
  s.DevConfig.LoopbackMode = Low8(ini.ReadInteger("DevConfig", "LoopbackMode", 0));
  for (int n = 0; n < FilterBankCount; ++n) {
    TFilterBank &f = s.Filters[n];
    const QString sec = FilterSection(n);
    f.Bank = static_cast<uint8_t>(n);
    f.Active = Low8(ini.ReadInteger(sec, "Active", n == 0 ? 1 : 0));
    f.Mode = Low8(ini.ReadInteger(sec, "Mode", 0));
    f.IDType = Low8(ini.ReadInteger(sec, "IDType", 0));
    f.ID = static_cast<uint32_t>(ini.ReadInteger(sec, "ID", 0));
    f.Mask = static_cast<uint32_t>(ini.ReadInteger(sec, "Mask", 0));
  }
  const int n = ini.ReadInteger("Messages", "n", 0);
  if (n == 0)
    return read;
  read.HasMessages = true;
  const int count = std::clamp(n, 0, MaxSetupFrames);
  s.Lines.reserve(count);
  s.Messages.resize(count);
  s.Cycles.resize(count);
  for (int i = 0; i < count; ++i) {
    const QString key = QString::number(i);
    s.Lines.append(ini.ReadString("Messages", key, QString()));
    LineToMessage(s.Lines.back(), s.Messages[i]);
    s.Cycles[i] = std::clamp(ini.ReadInteger(CyclesSection, key, 0), 0, MaxCycleMs);
  }
  return read;
}

bool HoldsSetup(TIniFile &ini) {
  if (ini.HasSection("DevConfig") || ini.HasSection("Messages") || ini.HasSection(CyclesSection))
    return true;
  for (int n = 0; n < FilterBankCount; ++n)
    if (ini.HasSection(FilterSection(n)))
      return true;
  return false;
}

void WriteSetup(TIniFile &ini, const TSetup &s) {
  ini.WriteInteger("DevConfig", "Speed", s.DevConfig.Speed);
  ini.WriteInteger("DevConfig", "Termination", s.DevConfig.Termination);
  ini.WriteInteger("DevConfig", "Retransmission", s.DevConfig.Retransmission);
  ini.WriteInteger("DevConfig", "LoopbackMode", s.DevConfig.LoopbackMode);
  for (int n = 0; n < FilterBankCount; ++n) {
    const TFilterBank &f = s.Filters[n];
    const QString sec = FilterSection(n);
    ini.WriteInteger(sec, "Active", f.Active);
    ini.WriteInteger(sec, "Mode", f.Mode);
    ini.WriteInteger(sec, "IDType", f.IDType);
    ini.WriteInteger(sec, "ID", static_cast<int>(f.ID));
    ini.WriteInteger(sec, "Mask", static_cast<int>(f.Mask));
  }
  ini.WriteInteger("Messages", "n", static_cast<int>(s.Lines.size()));
  for (int i = 0; i < s.Lines.size(); ++i)
    ini.WriteString("Messages", QString::number(i), s.Lines[i]);
  // Cycle times of an earlier save may belong to frames since deleted.
  ini.EraseSection(CyclesSection);
  for (size_t i = 0; i < s.Cycles.size() && i < static_cast<size_t>(s.Lines.size()); ++i)
    if (s.Cycles[i] > 0)
      ini.WriteInteger(CyclesSection, QString::number(i), s.Cycles[i]);
}
