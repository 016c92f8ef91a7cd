// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings file: one INI file per user for the window layout and the
// last set-up.

#include "IniFile.h"

#include <QString>

extern TIniFile *SettingsFile;

// File name of the settings file inside the per-user configuration folder.
extern const char *const SettingsFileName;

// The per-user configuration folder ($XDG_CONFIG_HOME, normally
// ~/.config), where the settings file lives.
QString SettingsFolder();
void OpenSettingsFile();
void CloseSettingsFile();
// Writes what the settings object holds, creating its folder when missing;
// throws EIniFileError naming the file.
void FlushSettingsFile();
