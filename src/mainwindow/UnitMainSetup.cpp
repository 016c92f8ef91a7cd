// SPDX-License-Identifier: GPL-3.0-or-later
// The set-up of the main window: device configuration, filter table and
// transmit list, read from and written to INI files.

#include "can/FrameText.h"
#include "LineModels.h"
#include "TransmitList.h"
#include "UnitConnect.h"
#include "UnitMain.h"
#include "config/IniFile.h"
#include "config/SetupFile.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QListView>
#include <QMessageBox>

void TFormMain::LoadSetup(TIniFile &ini) {
  TSetupRead read = ReadSetup(ini);
  FDevConfig = read.Setup.DevConfig;
  FFilter = read.Setup.Filters;
  if (!read.HasMessages)
    return;
  const TSetup &s = read.Setup;
  std::vector<TTransmitEntry> entries(s.Messages.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    entries[i].Frame = s.Messages[i];
    entries[i].Line = s.Lines[static_cast<qsizetype>(i)];
    entries[i].CycleMs = i < s.Cycles.size() ? s.Cycles[i] : 0;
  }
  SetTxEntries(std::move(entries));
  SetTxItemIndex(static_cast<int>(s.Messages.size()) - 1);
}

void TFormMain::SaveSetup(TIniFile &ini) {
  TSetup s;
  s.DevConfig = FDevConfig;
  s.Filters = FFilter;
  s.Lines = TxLines();
  s.Cycles = TxCycles();
  WriteSetup(ini, s);
}

bool TFormMain::FileDialogRun(QFileDialog *dialog) {
  return dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
}

void TFormMain::mf_LoadClick() {
  if (!FileDialogRun(OpenDialog1))
    return;
  const QString path = OpenDialog1->selectedFiles().first();
  TIniFile ini(path);
  // A file that cannot be read changes nothing: read as empty, it would
  // reset the configuration, the filters and the list.
  const QString error = ini.ReadError();
  if (!error.isEmpty()) {
    ReportFileError(QString("The set-up file \"%1\" could not be read: %2.").arg(path, error));
    return;
  }
  if (!HoldsSetup(ini)) {
    ReportFileError(QString("The file \"%1\" is no set-up file: it holds none of a set-up's sections.").arg(path));
    return;
  }
  FLoadedFile = path;
  LoadSetup(ini);
}

// Writes the set-up into the file, keeping its other lines; on failure the
// user is told, naming the file, and the file is left as it was.
bool TFormMain::SaveSetupTo(const QString &path) {
  try {
    TIniFile ini(path);
    SaveSetup(ini);
    ini.UpdateFile();
    return true;
  } catch (const EIniFileError &e) {
    ReportFileError(QString::fromStdString(e.what()));
    return false;
  }
}

void TFormMain::mf_SaveClick() {
  if (!FLoadedFile.isEmpty())
    SaveSetupTo(FLoadedFile);
  else
    mf_SaveAsClick();
}

void TFormMain::mf_SaveAsClick() {
  if (!FileDialogRun(SaveDialog1))
    return;
  const QString path = SaveDialog1->selectedFiles().first();
  if (QFileInfo::exists(path)) {
    QApplication::beep();
    QMessageBox box(QMessageBox::Question, ApplicationTitle, "The file\n" + path + "\nexists! Overwrite?",
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName("MessageOverwrite");
    if (box.exec() != QMessageBox::Yes)
      return;
  }
  // Save then writes the file saved last.
  if (SaveSetupTo(path))
    FLoadedFile = path;
}
