// SPDX-License-Identifier: GPL-3.0-or-later
// Takes a picture of every window of Molvar, connected to the simulated
// adapter with some traffic, for the README. Run by scripts/screenshots.

#include "comm/UnitComm.h"
#include "config/UnitDeviceConfig.h"
#include "config/UnitFilter.h"
#include "dialogs/UnitAbout.h"
#include "dialogs/UnitDeviceInformation.h"
#include "dialogs/UnitEditMsg.h"
#include "mainwindow/Application.h"
#include "mainwindow/UnitConnect.h"
#include "mainwindow/UnitMain.h"
#include "mainwindow/UnitPlot.h"
#include "dialogs/LimitedEdit.h"
#include "simcontrol.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QLineEdit>
#include <QRadioButton>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QListView>
#include <QTimer>

#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>

namespace {

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void Save(QWidget *w, const QString &dir, const char *name) {
  w->show();
  w->raise();
  Pump(300);
  const QString path = dir + "/" + name + ".png";
  if (!w->grab().save(path))
    std::fprintf(stderr, "could not write %s\n", qPrintable(path));
  else
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const QString dir = argc > 1 ? argv[1] : "docs/screenshots";
  QDir().mkpath(dir);
  sim_add_adapter("VN000417");
  sim_add_adapter("VN000523");
  sim_set_info("VN000417", 0, 0x0105);
  sim_set_demo_traffic(1);
  CreateForms();
  FormMain->show();
  Pump(300);

  // The selection dialog, as it shows with two adapters plugged in.
  FormConnect->ListBox1->clear();
  FormConnect->ListBox1->addItems({"VN000417", "VN000523"});
  FormConnect->ListBox1->setCurrentRow(0);
  Save(FormConnect, dir, "connect");
  FormConnect->hide();

  QTimer::singleShot(50, [] { FormConnect->accept(); });
  FormMain->SpeedButtonConnectClick();
  Pump(1500);
  if (FormMain->ListBoxTx->model()->rowCount() > 0) {
    FormMain->ListBoxTx->setCurrentIndex(FormMain->ListBoxTx->model()->index(0, 0));
    FormMain->BitBtnTxAllClick();
  }
  Pump(800);
  Save(FormMain, dir, "main");

  // The optional extras: the time column, rates and bus load, a cycle.
  FormMain->mv_TimeStamps->trigger();
  if (!FormMain->BitBtnTxCyclic->isHidden())
    FormMain->BitBtnTxCyclic->click();
  Pump(2300);
  Save(FormMain, dir, "main-extras");
  if (FormMain->BitBtnTxCyclic->isChecked())
    FormMain->BitBtnTxCyclic->click();
  FormMain->mv_TimeStamps->trigger();

  // The overview, a recording under way and a replay of it.
  QTemporaryDir files;
  const QString recording = files.filePath("drive.log");
  FormMain->StartRecording(recording);
  FormMain->mv_Overview->trigger();
  Pump(1500);
  // The first message unfolded into its signals.
  FormMain->TableOverview->expand(FormMain->TableOverview->model()->index(0, 0));
  Pump(1000);
  Save(FormMain, dir, "overview");
  // The plotted signals of the settings, running.
  Save(FormMain->FormPlot, dir, "plot");
  FormMain->mv_Overview->trigger();
  FormMain->StopRecording();
  FormMain->StartRecording(files.filePath("second.log"));
  Pump(1200);
  Save(FormMain, dir, "recording");
  FormMain->StopRecording();
  FormMain->StartReplay(recording);
  Pump(1200);
  Save(FormMain, dir, "replay");
  FormMain->StopReplay();

  // The frame editor's signals page for a message of the database.
  FormEditMsg->SetDatabase(FormMain->Database());
  FormEditMsg->RadioStandard->setChecked(true);
  FormEditMsg->LabeledEditID->setText("0C8");
  const char *engine[] = {"40", "1F", "30", "03", "00", "00", "05", "AB"};
  for (int i = 0; i < 8; ++i)
    FormEditMsg->DataEdits[i]->setText(engine[i]);
  FormEditMsg->TabbedNotebook1->setCurrentIndex(2);
  Save(FormEditMsg, dir, "editmsg-signals");
  FormEditMsg->hide();
  FormEditMsg->TabbedNotebook1->setCurrentIndex(0);
  FormEditMsg->SetDatabase(nullptr);

  FormEditMsg->RadioExtended->setChecked(true);
  FormEditMsg->LabeledEditID->setText("18DAF110");
  const char *bytes[] = {"03", "22", "F1", "90"};
  for (int i = 0; i < 4; ++i)
    FormEditMsg->DataEdits[i]->setText(bytes[i]);
  Save(FormEditMsg, dir, "editmsg");
  FormEditMsg->hide();

  FormDeviceConfig->ComboBoxSpeed->setCurrentIndex(FormMain->DevConfig().Speed);
  FormDeviceConfig->CheckBoxTermination->setChecked(true);
  FormDeviceConfig->CheckBoxRetransmission->setChecked(true);
  Save(FormDeviceConfig, dir, "deviceconfig");
  FormDeviceConfig->hide();

  FormFilter->WorkingTable = FormMain->Filters();
  FormFilter->TabControl1Change();
  Save(FormFilter, dir, "filter");
  FormFilter->hide();

  FormDeviceInfo->FillDeviceInfo(FormMain->DevComm());
  Save(FormDeviceInfo, dir, "deviceinfo");
  FormDeviceInfo->hide();

  Save(FormAbout, dir, "about");
  FormAbout->hide();

  FormMain->Disconnect();
  DestroyForms();
  return 0;
}
