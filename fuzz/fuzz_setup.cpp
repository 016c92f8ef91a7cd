// SPDX-License-Identifier: GPL-3.0-or-later
// LoadSetup of the real main window on arbitrary file contents: never a
// crash, never a data length above 8, list and records always in step.

#include "config/IniFile.h"
#include "mainwindow/UnitMain.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

static QTemporaryDir *Dir;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  Dir = new QTemporaryDir;
  setenv("XDG_CONFIG_HOME", Dir->path().toLocal8Bit().constData(), 1);
  new QApplication(*argc, *argv);
  FormMain = new TFormMain;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QString path = Dir->filePath("fuzz.vni");
  {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
      abort();
    f.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
  }
  TIniFile ini(path);
  FormMain->LoadSetup(ini);
  if (FormMain->TxLines().size() != static_cast<qsizetype>(FormMain->TxList().size()))
    abort();
  for (const auto &m : FormMain->TxList())
    if (m->DLC > 8 || m->Command != 0x0501)
      abort();
  for (int i = 0; i < 14; ++i)
    if (FormMain->Filters()[i].Bank != i)
      abort();
  return 0;
}
