// SPDX-License-Identifier: GPL-3.0-or-later
// LoadSetup of the real main window on arbitrary file contents: never a
// crash, never a data length above 8, list and records always in step.

#include "config/IniFile.h"
#include "mainwindow/TransmitList.h"
#include "mainwindow/UnitMain.h"

#include <QApplication>
#include <QFile>
#include <QListView>
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
  // The transmit list as its view shows it: each line with a frame of at
  // most eight bytes, made by the set-up reader.
  const auto *list = static_cast<const TTransmitList *>(FormMain->ListBoxTx->model());
  for (const TTransmitEntry &e : list->Entries())
    if (e.Frame.DLC > 8 || e.Frame.Command != 0x0501)
      abort();
  for (int i = 0; i < 14; ++i)
    if (FormMain->Filters()[i].Bank != i)
      abort();
  return 0;
}
