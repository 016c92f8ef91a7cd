// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings file: one INI file per user for the window layout and the
// last set-up.

#include "IniFile.h"

#include <QString>

// Special folder id of the per-user application-data folder.
constexpr int CSIDL_APPDATA = 26;

extern TIniFile *SettingsFile;

// File name of the settings file inside the per-user configuration folder.
extern const char *const SettingsFileName;

// The file-system path of a special folder, or empty when there is none. On
// Linux the application-data folder is the XDG configuration folder.
QString GetSpecialFolderPath(int folderId);
void OpenSettingsFile();
void CloseSettingsFile();
// Writes what the settings object holds, creating its folder when missing;
// throws EIniFileError naming the file.
void FlushSettingsFile();
