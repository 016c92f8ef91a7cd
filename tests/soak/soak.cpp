// SPDX-License-Identifier: GPL-3.0-or-later
// Soak run: random user actions against the simulated adapter for a bounded
// time, checking after each that the window is consistent and that its
// counters match what the adapter saw. Run by scripts/soak:
//   soak_gui [seconds] [seed]

#include "GuiHelpers.h"
#include "comm/UnitComm.h"
#include "config/IniFile.h"
#include "config/UnitDeviceConfig.h"
#include "config/UnitFilter.h"
#include "dialogs/LimitedEdit.h"
#include "dialogs/UnitEditMsg.h"
#include "mainwindow/UnitConnect.h"
#include "mainwindow/TransmitList.h"
#include "mainwindow/UnitMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <random>

namespace {

int Seconds = 20;
unsigned Seed = 1;

class Soak : public GuiTest {
protected:
  std::mt19937 rng{Seed};
  int R(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
  QTemporaryDir dir;
  const char *serials[2] = {"S1", "S2"};
  bool plugged[2] = {true, true};
  std::string current;
  long deliveredBase = 0, transmittedBase = 0;
  bool faultInSession = false;
  long actions = 0, faults = 0, checks = 0;

  void Check() {
    ++checks;
    const bool connected = FormMain->DevComm() != nullptr;
    ASSERT_EQ(StatusPanel(0), connected ? "connected" : "disconnected");
    ASSERT_EQ(FormMain->TimerReceive->isActive(), connected);
    ASSERT_EQ(TxLines().size(), static_cast<qsizetype>(TxList().Size()));
    for (const TTransmitEntry &e : TxList().Entries())
      ASSERT_LE(e.Frame.DLC, 8);
    if (connected) {
      ASSERT_LE(RxCounter(), sim_frames_delivered(current.c_str()) - deliveredBase);
    }
  }

  void Connect() {
    ModalDriver d;
    d.Then([](QWidget *w) {
      if (w == FormConnect) {
        FormConnect->ListBox1->setCurrentRow(0);
        FormConnect->BitBtnOk->click();
      } else if (auto *box = qobject_cast<QMessageBox *>(w)) {
        box->button(QMessageBox::Cancel)->click();
      }
    });
    d.Then(PressMessageButton(QMessageBox::Cancel)); // a failure after choosing
    FormMain->SpeedButtonConnectClick();
    if (FormMain->DevComm()) {
      current = FormMain->Adapter()->SerialNumber();
      deliveredBase = sim_frames_delivered(current.c_str());
      transmittedBase = sim_frames_transmitted(current.c_str());
      faultInSession = false;
    }
  }

  // Before leaving a session without faults, everything sent and received
  // must have been counted exactly.
  void Disconnect() {
    if (!FormMain->DevComm())
      return;
    // The counts can only settle once nothing is sent on a cycle.
    if (CyclicRunning())
      FormMain->BitBtnTxCyclic->click();
    if (!faultInSession && FormMain->Adapter()->IsOpen()) {
      const std::string s = current;
      ASSERT_TRUE(WaitUntil([&] {
        return sim_frames_transmitted(s.c_str()) - transmittedBase == TxCounter() &&
               sim_rx_backlog(s.c_str()) == 0 &&
               RxCounter() == sim_frames_delivered(s.c_str()) - deliveredBase;
      })) << "counters: Rx " << RxCounter() << " Tx " << TxCounter();
    }
    FormMain->SpeedButtonConnectClick();
  }

  void EditorAction(bool isNew) {
    ModalDriver d;
    d.Then([this](QWidget *) {
      (R(2) ? FormEditMsg->RadioExtended : FormEditMsg->RadioStandard)->setChecked(true);
      FormEditMsg->LabeledEditID->setText(QString::number(R(0x7FFFFFFF), 16));
      FormEditMsg->TabbedNotebook1->setCurrentIndex(R(4) == 0);
      for (int k = 0; k < 8; ++k)
        FormEditMsg->DataEdits[k]->setText(R(5) ? QString::number(R(256), 16) : QString());
      FormEditMsg->SpinEdit1->setValue(R(9));
      FormEditMsg->SpinEditCycle->setValue(R(4) == 0 ? 5 + R(100) : 0);
      (R(5) ? FormEditMsg->BitBtnOk : FormEditMsg->BitBtnCancel)->click();
    });
    if (isNew)
      FormMain->BitBtnNewClick();
    else
      FormMain->BitBtnTxEditClick();
    Settle();
  }

  void Step() {
    ++actions;
    switch (R(18)) {
    case 0:
      if (!FormMain->DevComm())
        Connect();
      break;
    case 1:
      Disconnect();
      break;
    case 2: { // the cable is pulled
      if (!FormMain->DevComm())
        break;
      for (int i = 0; i < 2; ++i)
        if (current == serials[i]) {
          sim_unplug(serials[i]);
          plugged[i] = false;
        }
      FormMain->WMDeviceChange();
      break;
    }
    case 3:
      for (int i = 0; i < 2; ++i)
        if (!plugged[i]) {
          sim_replug(serials[i]);
          plugged[i] = true;
        }
      FormMain->WMDeviceChange();
      break;
    case 4:
      if (TxList().Size() < 60)
        EditorAction(true);
      break;
    case 5:
      SetTxItemIndex(R(static_cast<int>(TxList().Size()) + 1) - 1);
      EditorAction(false);
      break;
    case 6:
      SetTxItemIndex(R(static_cast<int>(TxList().Size()) + 1) - 1);
      FormMain->BitBtnDeleteClick();
      break;
    case 7:
      SetTxItemIndex(R(static_cast<int>(TxList().Size()) + 1) - 1);
      FormMain->BitBtnTxClick();
      break;
    case 8:
      FormMain->BitBtnTxAllClick();
      break;
    case 9: {
      ModalDriver d;
      d.Then([this](QWidget *) {
        FormFilter->TabControl1->Tab(R(14))->click();
        FormFilter->CheckBoxActive->setChecked(R(2));
        FormFilter->ComboBoxMode->setCurrentIndex(R(2));
        FormFilter->ComboBoxMode->hidePopup();
        FormFilter->LabeledEdit1->setText(QString::number(R(0xFFFFF), 16));
        if (R(8) == 0)
          FormFilter->BitBtnDefault->click();
        (R(3) ? FormFilter->BitBtnOk : FormFilter->BitBtnCancel)->click();
      });
      FormMain->SpeedButtonFilterClick();
      Settle();
      break;
    }
    case 10: {
      ModalDriver d;
      d.Then([this](QWidget *) {
        FormDeviceConfig->ComboBoxSpeed->setCurrentIndex(R(8));
        FormDeviceConfig->CheckBoxLoopBackMode->setChecked(R(2));
        (R(3) ? FormDeviceConfig->BitBtnOk : FormDeviceConfig->BitBtnCancel)->click();
      });
      FormMain->SpeedButtonSetupClick();
      Settle();
      break;
    }
    case 11: {
      const QStringList before = TxLines();
      const std::vector<int> cycles = TxCycles();
      {
        TIniFile ini(dir.filePath("soak.vni"));
        FormMain->SaveSetup(ini);
        ini.UpdateFile();
      }
      TIniFile ini(dir.filePath("soak.vni"));
      FormMain->LoadSetup(ini);
      if (!before.isEmpty()) {
        ASSERT_EQ(TxLines(), before);
        ASSERT_EQ(TxCycles(), cycles);
      }
      break;
    }
    case 14:
      FormMain->BitBtnTxCyclic->click();
      break;
    case 15:
      FormMain->mv_TimeStamps->trigger();
      break;
    case 16: {
      const QString path = dir.filePath(R(2) ? "soak.log" : "soak.csv");
      ASSERT_TRUE(FormMain->ExportLog(path));
      QFile f(path);
      ASSERT_TRUE(f.open(QIODevice::ReadOnly));
      const int lines = static_cast<int>(f.readAll().count('\n'));
      ASSERT_EQ(lines, RxLineCount() + (path.endsWith(".csv") ? 1 : 0));
      break;
    }
    case 12:
      for (int i = 0, n = R(40); i < n; ++i) {
        auto f = FrameBytes(R(2) ? 4 : 0, 0, static_cast<uint8_t>(R(9)), static_cast<uint32_t>(R(0x7FF)),
                            {static_cast<uint8_t>(i)});
        sim_inject_frame(nullptr, f.data());
      }
      break;
    case 13:
      if (FormMain->DevComm()) {
        sim_fail_transfer(1 + R(20), R(2) ? -EIO : -ETIMEDOUT);
        faultInSession = true;
        ++faults;
      }
      break;
    default:
      FormMain->BitBtnRxClearClick();
      break;
    }
    Settle();
  }
};

TEST_F(Soak, RandomUserActions) {
  for (const char *s : serials)
    sim_add_adapter(s);
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < Seconds * 1000) {
    Step();
    Check();
    if (HasFatalFailure() || HasNonfatalFailure()) {
      std::printf("failed after %ld actions (seed %u)\n", actions, Seed);
      return;
    }
  }
  Disconnect();
  sim_fail_transfer(0, 0);
  std::printf("soak: %ld actions, %ld faults injected, %ld checks, seed %u\n", actions, faults, checks, Seed);
}

} // namespace

int main(int argc, char **argv) {
  const auto config = PrepareGuiTestEnvironment();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1)
    Seconds = std::max(1, std::atoi(argv[1]));
  Seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : static_cast<unsigned>(time(nullptr));
  return RUN_ALL_TESTS();
}
