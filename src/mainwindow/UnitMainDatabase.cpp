// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's CAN database: loaded from the File menu, remembered in
// the settings file and loaded again at start; its names and signals in the
// log and the overview.

#include "UnitMain.h"

#include "LineModels.h"
#include "Overview.h"
#include "TransmitList.h"
#include "UnitConnect.h"
#include "can/DatabaseFile.h"
#include "config/IniFile.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

namespace {
// What tells a changed file from the one loaded: its size and its time.
QString Count(qsizetype n, const char *what) { return QString("%1 %2%3").arg(n).arg(what).arg(n == 1 ? "" : "s"); }

QString FileStamp(const QFileInfo &info) {
  return QString("%1 %2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}
} // namespace

// Loads the file; what it could not read is in problems ("line N: ...").
// False when the file cannot be read at all.
bool TFormMain::LoadDatabase(const QString &path, QStringList &problems) {
  TDatabaseFile file = ReadDatabaseFile(QFile::encodeName(path).toStdString());
  if (!file.Error.empty())
    problems << QString::fromStdString(file.Error);
  if (file.Database)
    for (const TDbcError &e : file.Database->Errors)
      problems << QString("line %1: %2").arg(e.Line).arg(QString::fromStdString(e.Text));
  if (!file.Error.empty())
    return false;
  auto db = std::make_unique<TDatabase>(std::move(*file.Database));
  // The views let go of the old database before it goes.
  FRxModel->SetDatabase(db.get());
  FOverview->SetDatabase(db.get());
  FTxList->SetDatabase(db.get());
  FDatabase = std::move(db);
  FDatabasePath = path;
  FDatabaseStamp = FileStamp(QFileInfo(path));
  FDatabasePanel->setText(QFileInfo(path).fileName() + ": " +
                          Count(static_cast<qsizetype>(FDatabase->Messages.size()), "message"));
  FDatabasePanel->setToolTip(path);
  ShowFilePanels();
  return true;
}

void TFormMain::mf_LoadDatabaseClick() {
  if (!FileDialogRun(DatabaseDialog1))
    return;
  const QString path = DatabaseDialog1->selectedFiles().first();
  QStringList problems;
  const bool loaded = LoadDatabase(path, problems);
  if (loaded && problems.isEmpty())
    return;
  QString text = loaded ? QString("The database \"%1\" was loaded without the lines it could not read:\n").arg(path)
                        : QString("The database \"%1\" could not be read:\n").arg(path);
  text += QStringList(problems.mid(0, 10)).join('\n');
  if (problems.size() > 10)
    text += QString("\n... and %1 more").arg(problems.size() - 10);
  QApplication::beep();
  QMessageBox box(loaded ? QMessageBox::Warning : QMessageBox::Critical, ApplicationTitle, text, QMessageBox::Ok,
                  this);
  box.setObjectName("MessageDatabase");
  box.exec();
}

// At start, the database of the last run; whatever became of the file is
// said in the status bar, and the window starts all the same.
void TFormMain::LoadRememberedDatabase(TIniFile &ini) {
  const QString path = ini.ReadString("Database", "File", QString());
  if (path.isEmpty())
    return;
  const QString stamp = ini.ReadString("Database", "Stamp", QString());
  QStringList problems;
  if (!LoadDatabase(path, problems)) {
    FDatabasePath = path; // kept, so that it is tried again next time
    FDatabasePanel->setText(QString("%1: not found").arg(QFileInfo(path).fileName()));
    FDatabasePanel->setToolTip(path + "\n" + problems.join('\n'));
    ShowFilePanels();
    return;
  }
  QString note;
  if (!stamp.isEmpty() && stamp != FDatabaseStamp)
    note += ", changed since the last run";
  if (!problems.isEmpty())
    note += ", " + Count(problems.size(), "line") + " not read";
  FDatabasePanel->setText(FDatabasePanel->text() + note);
  FDatabasePanel->setToolTip(path + (problems.isEmpty() ? QString() : "\n" + problems.mid(0, 10).join('\n')));
}

void TFormMain::SaveDatabaseSetting(TIniFile &ini) {
  if (FDatabasePath.isEmpty())
    return;
  ini.WriteString("Database", "File", FDatabasePath);
  if (!FDatabaseStamp.isEmpty())
    ini.WriteString("Database", "Stamp", FDatabaseStamp);
}
