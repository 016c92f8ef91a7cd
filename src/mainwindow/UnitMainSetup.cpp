// SPDX-License-Identifier: GPL-3.0-or-later
// The set-up of the main window: device configuration, filter table and
// transmit list, read from and written to INI files.

#include "can/FrameText.h"
#include "LineModels.h"
#include "UnitConnect.h"
#include "UnitMain.h"
#include "config/IniFile.h"

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
  const int count = static_cast<int>(read.Setup.Messages.size());
  std::vector<std::unique_ptr<TCanMessage>> records;
  records.reserve(count);
  for (const TCanMessage &m : read.Setup.Messages)
    records.push_back(std::make_unique<TCanMessage>(m));
  SetTxLines(std::move(records), std::move(read.Setup.Lines), std::move(read.Setup.Cycles));
  SetTxItemIndex(count - 1);
}

void TFormMain::SaveSetup(TIniFile &ini) {
  TSetup s;
  s.DevConfig = FDevConfig;
  s.Filters = FFilter;
  s.Lines = TxLines();
  s.Cycles = FTxCycles;
  WriteSetup(ini, s);
}

bool TFormMain::FileDialogRun(QFileDialog *dialog) {
  return dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
}

void TFormMain::mf_LoadClick() {
  if (!FileDialogRun(OpenDialog1))
    return;
  FLoadedFile = OpenDialog1->selectedFiles().first();
  TIniFile ini(FLoadedFile);
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
  SaveSetupTo(path);
}
