// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: its life (creation, layout, settings, closing) and the
// connection to an adapter. The frame log, the transmit list, the set-up and
// the building of the widgets live in the other UnitMain*.cpp files.

#include "UnitMain.h"
#include "UnitMainLayout.h"

#include "DeviceMonitor.h"
#include "LogRecorder.h"
#include "Replay.h"
#include "can/Dbc.h"
#include "LineModels.h"
#include "Overview.h"
#include "PlotData.h"
#include "TransmitList.h"
#include "UnitConnect.h"
#include "UnitPlot.h"
#include "comm/UnitComm.h"
#include "config/IniFile.h"
#include "config/UnitDeviceConfig.h"
#include "config/UnitFilter.h"
#include "config/Unitconfig.h"
#include "dialogs/UnitAbout.h"
#include "dialogs/UnitDeviceInformation.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>

#include <algorithm>
#include <climits>

TFormMain *FormMain = nullptr;

using namespace mainlayout;

TFormMain::TFormMain(QWidget *parent) : QMainWindow(parent) {
  BuildWindow();
  OpenSettingsFile();
  FVNI = new TVNI;
  FDevComm = nullptr;
  FormCreate();
}

TFormMain::~TFormMain() { FormDestroy(); }

// ---- geometry --------------------------------------------------------------

int TFormMain::ClientHeight() const { return centralWidget()->height(); }

int TFormMain::VerticalPos() const { return PanelTx->mapTo(centralWidget(), QPoint(0, 0)).y(); }

int TFormMain::ApplyVertical(int vertical) {
  const int client = ClientHeight();
  const int splitterHeight = client - ToolBarHeight - StatusBarHeight;
  int txHeight = client - vertical - StatusBarHeight;
  // A stored boundary that leaves either area less than its minimum is
  // brought back into the window.
  txHeight = std::clamp(txHeight, SplitterMinSize, std::max(SplitterMinSize, splitterHeight - SplitterHeight - SplitterMinSize));
  Splitter1->setSizes({splitterHeight - SplitterHeight - txHeight, txHeight});
  return txHeight;
}

// The panes' minimums: the tool bar, the log at its least, the splitter, the
// transmit area as it is and the status bar, with the menu bar above them
// (the part of the window's height that the panes leave out; the title bar
// is not part of it).
void TFormMain::SetMinimumHeightFromLayout(int txHeight) {
  setMinimumHeight(menuBar()->sizeHint().height() + ToolBarHeight + SplitterMinSize + SplitterHeight + txHeight +
                   StatusBarHeight);
}

// A saved place from another screen set-up (or a damaged file) must not put
// the window where nobody sees it, nor make it larger than any screen: it is
// brought onto the screen nearest to it and fitted into that.
void TFormMain::PlaceOnScreen(int x, int y, int width, int height) {
  // Any integer may stand in the file: the centre is taken in 64 bits.
  const auto centre = [](int from, int length) {
    return static_cast<int>(std::clamp<int64_t>(int64_t(from) + length / 2, INT_MIN / 2, INT_MAX / 2));
  };
  QScreen *screen = QGuiApplication::screenAt(QPoint(centre(x, width), centre(y, height)));
  if (!screen)
    screen = QGuiApplication::primaryScreen();
  if (!screen) {
    move(x, y);
    resize(width, height);
    return;
  }
  const QRect area = screen->availableGeometry();
  width = std::clamp(width, 1, area.width());
  height = std::clamp(height, 1, area.height());
  move(std::clamp(x, area.left(), area.left() + area.width() - width),
       std::clamp(y, area.top(), area.top() + area.height() - height));
  resize(width, height);
}

void TFormMain::FormCreate() {
  TIniFile &ini = *SettingsFile;
  PlaceOnScreen(ini.ReadInteger("Main", "LeftPos", 10), ini.ReadInteger("Main", "TopPos", 10),
                ini.ReadInteger("Main", "Width", 800), ini.ReadInteger("Main", "Height", 600));
  const int state = ini.ReadInteger("Main", "State", 0);
  if (state == 1)
    setWindowState(Qt::WindowMinimized);
  else if (state == 2)
    setWindowState(Qt::WindowMaximized);
  // Lay the window out at its restored size so that the client area has
  // its real height before the boundary is placed.
  layout()->activate();
  QApplication::processEvents();
  const int defaultVertical = ClientHeight() / 2 - ToolBarHeight - StatusBarHeight;
  const int vertical = ini.ReadInteger("Main", "Vertical", defaultVertical);
  const int txHeight = ApplyVertical(vertical);
  // A boundary saved in a maximised window belongs to the maximised client
  // area, which the window reaches only once shown: it is placed again at
  // each size the window takes while it stays maximised, until the user
  // moves the splitter.
  if (state == 2)
    FRestoredVertical = vertical;
  setMinimumWidth(SpeedButtonExit->geometry().right() + 1 + 20);
  SetMinimumHeightFromLayout(txHeight);
  ComboBoxView->setCurrentIndex(ini.ReadInteger("Main", "n", 0));
  mv_TimeStamps->setChecked(ini.ReadInteger("Main", "TimeStamps", 0) == 1);
  mv_Rates->setChecked(ini.ReadInteger("Main", "Rates", 1) != 0);
  FRxCounter = 0;
  FTxCounter = 0;
  LoadSetup(ini);
  LoadRememberedDatabase(ini);
  LoadPlotSetting(ini);
}

void TFormMain::Splitter1Moved() {
  FRestoredVertical.reset();
  SetMinimumHeightFromLayout(PanelTx->height());
}

void TFormMain::resizeEvent(QResizeEvent *event) {
  QMainWindow::resizeEvent(event);
  if (!FRestoredVertical)
    return;
  if (!(windowState() & Qt::WindowMaximized)) {
    if (isVisible())
      FRestoredVertical.reset();
    return;
  }
  if (isVisible())
    SetMinimumHeightFromLayout(ApplyVertical(*FRestoredVertical));
}

void TFormMain::closeEvent(QCloseEvent *event) {
  FormClose();
  event->accept(); // closing is always allowed
}

void TFormMain::FormClose() {
  if (!SettingsFile)
    return;
  TIniFile &ini = *SettingsFile;
  const Qt::WindowStates ws = windowState();
  const int state = (ws & Qt::WindowMinimized) ? 1 : (ws & Qt::WindowMaximized) ? 2 : 0;
  ini.WriteInteger("Main", "State", state);
  if (state == 0) {
    ini.WriteInteger("Main", "LeftPos", x());
    ini.WriteInteger("Main", "TopPos", y());
    ini.WriteInteger("Main", "Width", width());
    ini.WriteInteger("Main", "Height", height());
  }
  ini.WriteInteger("Main", "Vertical", VerticalPos());
  ini.WriteInteger("Main", "n", ComboBoxView->currentIndex());
  // Written once they differ from their defaults, so that the settings of a
  // user who never changes them stay as they always were.
  if (mv_TimeStamps->isChecked() || ini.ReadInteger("Main", "TimeStamps", -1) != -1)
    ini.WriteInteger("Main", "TimeStamps", mv_TimeStamps->isChecked() ? 1 : 0);
  if (!mv_Rates->isChecked() || ini.ReadInteger("Main", "Rates", -1) != -1)
    ini.WriteInteger("Main", "Rates", mv_Rates->isChecked() ? 1 : 0);
  SaveDatabaseSetting(ini);
  SavePlotSetting(ini);
  SaveSetup(ini);
  try {
    FlushSettingsFile();
  } catch (const EIniFileError &e) {
    // The window closes all the same; the user learns what was not saved.
    ReportFileError(QString::fromStdString(e.what()));
  }
}

void TFormMain::FormDestroy() {
  // A recording keeps every frame it was given, even when the window goes
  // without a disconnection.
  if (FDevComm) {
    FDevComm->Stop();
    TimerReceiveTimer();
  }
  QString unwritten;
  FRecorder->Stop(unwritten);
  FRxModel->SetDatabase(nullptr);
  FOverview->SetDatabase(nullptr);
  FOverview->SetPlot(nullptr);
  // The plot window draws from the data, which goes before the windows do.
  delete FormPlot;
  FormPlot = nullptr;
  FTxList->SetAll({});
  delete FDevComm;
  FDevComm = nullptr;
  delete FVNI;
  FVNI = nullptr;
  CloseSettingsFile();
}

void TFormMain::ReportFileError(const QString &message) {
  QApplication::beep();
  QMessageBox box(QMessageBox::Critical, ApplicationTitle, message, QMessageBox::Cancel, this);
  box.setObjectName("MessageFileError");
  box.exec();
}

// ---- connection ------------------------------------------------------------

void TFormMain::SpeedButtonConnectClick() {
  if (FDevComm) {
    Disconnect();
    return;
  }
  const std::string serial = FormConnect->SelectDevice(FVNI, x() + 20, y() + 20);
  if (serial.empty())
    return;
  FDevComm = new TDevComm(FVNI, serial);
  FDevComm->SetWake([this] { QMetaObject::invokeMethod(this, &TFormMain::WakeReceive, Qt::QueuedConnection); });
  if (FVNI->IsOpen()) {
    SpeedButtonConnect->setText("Dis&connect");
    FRxCounter = 0;
    FTxCounter = 0;
    FPanels[0]->setText("connected");
    FTimeBase.BeginConnection(FDevComm->ConnectedAt(), FDevComm->ConnectedWallUs());
    FTxAwaiting.clear(); // a new connection numbers its frames from 0
    FRxModel->BeginConnection(FTimeBase.OriginWallUs());
    FPlotData->BeginConnection(FTimeBase.OriginWallUs());
    ShowCounters();
    ShowRates(true);
    FDevComm->SendSetUp(FDevConfig, FFilter);
    FQuietTicks = 0;
    TimerReceive->start(ReceiveTickMs);
  } else {
    delete FDevComm;
    FDevComm = nullptr;
    QApplication::beep();
    QMessageBox box(QMessageBox::Critical, ApplicationTitle, "Establish connection to selected device failed!",
                    QMessageBox::Cancel, this);
    box.setObjectName("MessageConnectFailed");
    box.exec();
  }
}

void TFormMain::Disconnect() {
  if (!FDevComm)
    return;
  TimerReceive->stop();
  StopCyclic();
  StopReplay();
  // Frames the thread has already taken from the adapter reach the log and
  // the counter before the thread goes.
  FDevComm->Stop();
  TimerReceiveTimer();
  StopRecording();
  delete FDevComm;
  FDevComm = nullptr;
  SpeedButtonConnect->setText("&Connect");
  FPanels[0]->setText("disconnected");
  ShowRates(false);
}

void TFormMain::WMDeviceChange() {
  if (FVNI && FVNI->IsOpen() && FVNI->CheckRemoved())
    Disconnect();
}


void TFormMain::SpeedButtonExitClick() { close(); }

// ---- settings and information dialogs -------------------------------------

// Disconnected, the dialogs edit the block and the filter table that the
// next connection sends: the bit rate is set before the adapter joins a bus,
// so that it never joins at the wrong one.
void TFormMain::SpeedButtonSetupClick() {
  if (FormDeviceConfig->EditDeviceConfig(FDevConfig, x() + 20, y() + 20) && FDevComm)
    FDevComm->SendDeviceConfig(FDevConfig);
}

void TFormMain::SpeedButtonFilterClick() {
  if (FormFilter->EditFilters(FFilter, x() + 20, y() + 20) && FDevComm)
    FDevComm->SendFilters(FFilter);
}

void TFormMain::mi_DeviceInfoClick() { FormDeviceInfo->ShowDeviceInfo(FDevComm, x() + 20, y() + 20); }

void TFormMain::mi_AboutClick() { FormAbout->ShowAbout(x() + 20, y() + 20); }
