// The set-up of the main window: device configuration, filter table and
// transmit list, read from and written to INI files.

#include "FrameText.h"
#include "LineModels.h"
#include "UnitConnect.h"
#include "UnitMain.h"
#include "config/IniFile.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QListView>
#include <QMessageBox>

namespace {
QString FilterSection(int bank) { return QString("Filter_%1").arg(bank); }
uint8_t Low8(int v) { return static_cast<uint8_t>(v & 0xFF); }
} // namespace

void TFormMain::LoadSetup(TIniFile &ini) {
  FDevConfig.Speed = Low8(ini.ReadInteger("DevConfig", "Speed", 0));
  FDevConfig.Termination = Low8(ini.ReadInteger("DevConfig", "Termination", 1));
  FDevConfig.Retransmission = Low8(ini.ReadInteger("DevConfig", "Retransmission", 1));
  FDevConfig.LoopbackMode = Low8(ini.ReadInteger("DevConfig", "LoopbackMode", 0));
  for (int n = 0; n < FilterBankCount; ++n) {
    TFilterBank &f = FFilter[n];
    const QString s = FilterSection(n);
    f.Bank = static_cast<uint8_t>(n);
    f.Active = Low8(ini.ReadInteger(s, "Active", n == 0 ? 1 : 0));
    f.Mode = Low8(ini.ReadInteger(s, "Mode", 0));
    f.IDType = Low8(ini.ReadInteger(s, "IDType", 0));
    f.ID = static_cast<uint32_t>(ini.ReadInteger(s, "ID", 0));
    f.Mask = static_cast<uint32_t>(ini.ReadInteger(s, "Mask", 0));
  }
  const int n = ini.ReadInteger("Messages", "n", 0);
  if (n == 0)
    return;
  const int count = std::clamp(n, 0, MaxSetupFrames);
  std::vector<std::unique_ptr<TCanMessage>> records;
  QStringList lines;
  records.reserve(count);
  lines.reserve(count);
  for (int i = 0; i < count; ++i) {
    QString line = ini.ReadString("Messages", QString::number(i), QString());
    auto msg = std::make_unique<TCanMessage>();
    LineToMessage(line, *msg);
    records.push_back(std::move(msg));
    lines.append(std::move(line));
  }
  SetTxLines(std::move(records), std::move(lines));
  SetTxItemIndex(count - 1);
}

void TFormMain::SaveSetup(TIniFile &ini) {
  ini.WriteInteger("DevConfig", "Speed", FDevConfig.Speed);
  ini.WriteInteger("DevConfig", "Termination", FDevConfig.Termination);
  ini.WriteInteger("DevConfig", "Retransmission", FDevConfig.Retransmission);
  ini.WriteInteger("DevConfig", "LoopbackMode", FDevConfig.LoopbackMode);
  for (int n = 0; n < FilterBankCount; ++n) {
    const TFilterBank &f = FFilter[n];
    const QString s = FilterSection(n);
    ini.WriteInteger(s, "Active", f.Active);
    ini.WriteInteger(s, "Mode", f.Mode);
    ini.WriteInteger(s, "IDType", f.IDType);
    ini.WriteInteger(s, "ID", static_cast<int>(f.ID));
    ini.WriteInteger(s, "Mask", static_cast<int>(f.Mask));
  }
  const QStringList lines = TxLines();
  ini.WriteInteger("Messages", "n", static_cast<int>(lines.size()));
  for (int i = 0; i < lines.size(); ++i)
    ini.WriteString("Messages", QString::number(i), lines[i]);
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
