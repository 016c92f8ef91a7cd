// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: where it lives, opening, writing and releasing it.
#include "Unitconfig.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

TIniFile *SettingsFile = nullptr;
const char *const SettingsFileName = "vni_Molvar.ini";

QString SettingsFolder() { return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation); }

void OpenSettingsFile() {
  delete SettingsFile;
  SettingsFile = new TIniFile(SettingsFolder() + "/" + SettingsFileName);
}

void CloseSettingsFile() {
  delete SettingsFile;
  SettingsFile = nullptr;
}

void FlushSettingsFile() {
  if (!SettingsFile)
    return;
  // On a fresh account the configuration folder may not exist yet.
  QDir().mkpath(QFileInfo(SettingsFile->FileName()).absolutePath());
  SettingsFile->UpdateFile();
}
