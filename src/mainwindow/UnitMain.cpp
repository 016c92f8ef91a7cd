// SPDX-License-Identifier: GPL-3.0-or-later
#include "UnitMain.h"

#include "DeviceMonitor.h"
#include "can/FrameText.h"
#include "LineModels.h"
#include "LogExport.h"
#include "UnitConnect.h"
#include "comm/UnitComm.h"
#include "config/UnitDeviceConfig.h"
#include "config/UnitFilter.h"
#include "config/IniFile.h"
#include "config/Unitconfig.h"
#include "dialogs/UnitAbout.h"
#include "dialogs/UnitDeviceInformation.h"
#include "dialogs/UnitEditMsg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

TFormMain *FormMain = nullptr;

namespace {
constexpr int ToolBarHeight = 40;
constexpr int ToolButtonWidth = 132;
constexpr int StatusBarHeight = 19;
constexpr int SplitterHeight = 4;
constexpr int SplitterMinSize = 80;
const char *const CopyrightNotice = "(C) 2026 The Molvar developers";

QPushButton *Button(QWidget *parent, const char *name, const char *caption, const char *hint) {
  auto *b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setToolTip(hint);
  b->setAutoDefault(false);
  return b;
}

QWidget *Heading(QWidget *parent, const char *text, QHBoxLayout *&row) {
  auto *bar = new QWidget(parent);
  row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 2, 2, 2);
  auto *label = new QLabel(text, bar);
  QFont f = label->font();
  f.setBold(true);
  label->setFont(f);
  row->addWidget(label);
  row->addStretch();
  return bar;
}
// One of the two areas on either side of the splitter: a heading row (for
// the area's buttons) above whatever the column layout receives.
QWidget *Pane(QWidget *parent, const char *name, const char *heading, QVBoxLayout *&column, QHBoxLayout *&row) {
  auto *pane = new QWidget(parent);
  pane->setObjectName(name);
  pane->setMinimumHeight(SplitterMinSize);
  column = new QVBoxLayout(pane);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(Heading(pane, heading, row));
  return pane;
}
} // namespace

TFormMain::TFormMain(QWidget *parent) : QMainWindow(parent) {
  BuildWindow();
  OpenSettingsFile();
  FVNI = new TVNI;
  FDevComm = nullptr;
  FormCreate();
}

void TFormMain::BuildWindow() {
  setObjectName("FormMain");
  setWindowTitle("Varnell-Interface Molvar");

  auto *client = new QWidget(this);
  client->setObjectName("Client");
  auto *v = new QVBoxLayout(client);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(0);

  PanelFunction = new QWidget(client);
  PanelFunction->setObjectName("PanelFunction");
  PanelFunction->setFixedHeight(ToolBarHeight);
  SpeedButtonConnect = Button(PanelFunction, "SpeedButtonConnect", "&Connect", "connection to device");
  SpeedButtonSetup = Button(PanelFunction, "SpeedButtonSetup", "&Setup...", "setup device");
  // Alt+F belongs to the File menu, as on every desktop; the Filter button
  // keeps its caption and answers to Alt+R.
  SpeedButtonFilter = Button(PanelFunction, "SpeedButtonFilter", "Filte&r...", "configure CAN filters");
  SpeedButtonExit = Button(PanelFunction, "SpeedButtonExit", "E&xit", "terminate program");
  int x = 0;
  for (QPushButton *b : {SpeedButtonConnect, SpeedButtonSetup, SpeedButtonFilter, SpeedButtonExit}) {
    b->setGeometry(x, 0, ToolButtonWidth, ToolBarHeight);
    b->setFlat(true);
    x += ToolButtonWidth;
  }

  Splitter1 = new QSplitter(Qt::Vertical, client);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(SplitterHeight);
  Splitter1->setChildrenCollapsible(false);
  Splitter1->setOpaqueResize(false); // only a line while dragging

  QVBoxLayout *rx;
  QHBoxLayout *rxRow;
  PanelRx = Pane(Splitter1, "PanelRx", "   CAN Messages (hex)", rx, rxRow);
  ComboBoxView = new QComboBox(PanelRx);
  ComboBoxView->setObjectName("ComboBoxView");
  ComboBoxView->addItems({"all", "only received", "only transmitted"});
  ComboBoxView->setToolTip("viewed messages");
  BitBtnRxClear = Button(PanelRx, "BitBtnRxClear", "C&lear", "clear all messages");
  rxRow->addWidget(ComboBoxView);
  rxRow->addWidget(BitBtnRxClear);
  ListBoxRx = new QListView(PanelRx);
  ListBoxRx->setObjectName("ListBoxRx");
  FRxModel = new TFrameLogModel(ListBoxRx);
  ListBoxRx->setModel(FRxModel);
  SetUpFrameListView(ListBoxRx);
  rx->addWidget(ListBoxRx);

  QVBoxLayout *tx;
  QHBoxLayout *txRow;
  PanelTx = Pane(Splitter1, "PanelTx", "   Transmission (hex)", tx, txRow);
  PanelTxFunctionLeft = new QWidget(PanelTx);
  PanelTxFunctionLeft->setObjectName("PanelTxFunctionLeft");
  auto *left = new QHBoxLayout(PanelTxFunctionLeft);
  left->setContentsMargins(0, 0, 0, 0);
  BitBtnNew = Button(PanelTxFunctionLeft, "BitBtnNew", "&New...", "create new message");
  BitBtnTxEdit = Button(PanelTxFunctionLeft, "BitBtnTxEdit", "&Edit...", "edit selected message");
  BitBtnDelete = Button(PanelTxFunctionLeft, "BitBtnDelete", "&Delete", "delete selected message");
  for (QPushButton *b : {BitBtnNew, BitBtnTxEdit, BitBtnDelete})
    left->addWidget(b);
  PanelTxFunctionRight = new QWidget(PanelTx);
  PanelTxFunctionRight->setObjectName("PanelTxFunctionRight");
  auto *right = new QHBoxLayout(PanelTxFunctionRight);
  right->setContentsMargins(0, 0, 0, 0);
  BitBtnTx = Button(PanelTxFunctionRight, "BitBtnTx", "&Transmit", "transmit selected message");
  BitBtnTxAll = Button(PanelTxFunctionRight, "BitBtnTxAll", "Tx &all", "transmit all messages");
  // Alt+C is Connect's; cyclic transmission answers to Alt+Y.
  BitBtnTxCyclic = Button(PanelTxFunctionRight, "BitBtnTxCyclic", "Tx c&yclic",
                          "transmit the messages that have a cycle time on their cycles");
  BitBtnTxCyclic->setCheckable(true);
  // Shown only while an entry has a cycle time: without one it does nothing.
  BitBtnTxCyclic->setVisible(false);
  right->addWidget(BitBtnTx);
  right->addWidget(BitBtnTxAll);
  right->addWidget(BitBtnTxCyclic);
  txRow->insertWidget(1, PanelTxFunctionLeft);
  txRow->addWidget(PanelTxFunctionRight);
  ListBoxTx = new QListView(PanelTx);
  ListBoxTx->setObjectName("ListBoxTx");
  FTxModel = new TTextListModel(ListBoxTx);
  ListBoxTx->setModel(FTxModel);
  SetUpFrameListView(ListBoxTx);
  tx->addWidget(ListBoxTx);

  Splitter1->addWidget(PanelRx);
  Splitter1->addWidget(PanelTx);
  // The transmit area keeps its height when the window is resized.
  Splitter1->setStretchFactor(0, 1);
  Splitter1->setStretchFactor(1, 0);

  StatusBar1 = new QStatusBar(client);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setFixedHeight(StatusBarHeight);
  StatusBar1->setSizeGripEnabled(false);
  const int widths[4] = {120, 100, 100, 200};
  for (int i = 0; i < 4; ++i) {
    FPanels[i] = new QLabel(StatusBar1);
    FPanels[i]->setObjectName(QString("StatusPanel%1").arg(i));
    FPanels[i]->setFixedWidth(widths[i]);
    if (i < 3)
      StatusBar1->addWidget(FPanels[i]);
    else
      StatusBar1->addPermanentWidget(FPanels[i]);
  }
  // Rates and bus load, after the counters; empty while disconnected.
  FRatePanel = new QLabel(StatusBar1);
  FRatePanel->setObjectName("StatusPanelRates");
  FRatePanel->setMinimumWidth(240);
  StatusBar1->insertWidget(3, FRatePanel);
  FPanels[0]->setAlignment(Qt::AlignCenter);
  FPanels[3]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  FPanels[0]->setText("disconnected");
  FPanels[3]->setText(CopyrightNotice);

  v->addWidget(PanelFunction);
  v->addWidget(Splitter1, 1);
  v->addWidget(StatusBar1);
  setCentralWidget(client);

  mm_File = menuBar()->addMenu("&File");
  mm_File->setObjectName("mm_File");
  mf_Load = mm_File->addAction("&Load...");
  mf_Load->setObjectName("mf_Load");
  mf_Save = mm_File->addAction("&Save...");
  mf_Save->setObjectName("mf_Save");
  mf_SaveAs = mm_File->addAction("Save &as...");
  mf_SaveAs->setObjectName("mf_SaveAs");
  mf_ExportLog = mm_File->addAction("&Export Log...");
  mf_ExportLog->setObjectName("mf_ExportLog");
  mf_ExportLog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  mm_File->addSeparator();
  mf_Exit = mm_File->addAction("E&xit");
  mf_Exit->setObjectName("mf_Exit");
  mm_View = menuBar()->addMenu("&View");
  mm_View->setObjectName("mm_View");
  mv_TimeStamps = mm_View->addAction("&Time Stamps");
  mv_TimeStamps->setObjectName("mv_TimeStamps");
  mv_TimeStamps->setCheckable(true);
  mv_Rates = mm_View->addAction("&Rates and Bus Load");
  mv_Rates->setObjectName("mv_Rates");
  mv_Rates->setCheckable(true);
  mv_Rates->setChecked(true);
  mm_Info = menuBar()->addMenu("&Info");
  mm_Info->setObjectName("mm_Info");
  mi_DeviceInfo = mm_Info->addAction("&Device Information...");
  mi_DeviceInfo->setObjectName("mi_DeviceInfo");
  mi_About = mm_Info->addAction("&About this Program...");
  mi_About->setObjectName("mi_About");

  TimerReceive = new QTimer(this);
  TimerReceive->setObjectName("TimerReceive");
  TimerReceive->setInterval(10);
  TimerCyclic = new QTimer(this);
  TimerCyclic->setObjectName("TimerCyclic");
  TimerCyclic->setTimerType(Qt::PreciseTimer);
  TimerCyclic->setInterval(1);
  TimerRates = new QTimer(this);
  TimerRates->setObjectName("TimerRates");
  TimerRates->setInterval(1000);

  const QString filter = "Varnell Interface Files (*.vni)";
  OpenDialog1 = new QFileDialog(this, "Load Varnell Interface Configuration", QString(), filter);
  OpenDialog1->setObjectName("OpenDialog1");
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  OpenDialog1->setDefaultSuffix("vni");
  OpenDialog1->setOption(QFileDialog::ReadOnly, false);
  SaveDialog1 = new QFileDialog(this, "Save Varnell Interface Configuration", QString(), filter);
  SaveDialog1->setObjectName("SaveDialog1");
  SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog1->setFileMode(QFileDialog::AnyFile);
  SaveDialog1->setDefaultSuffix("vni");
  SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite, true);
  ExportDialog1 = new QFileDialog(this, "Export Log", QString(),
                                  "candump Log Files (*.log);;CSV Files (*.csv);;All Files (*)");
  ExportDialog1->setObjectName("ExportDialog1");
  ExportDialog1->setAcceptMode(QFileDialog::AcceptSave);
  ExportDialog1->setFileMode(QFileDialog::AnyFile);
  ExportDialog1->setDefaultSuffix("log");
  connect(ExportDialog1, &QFileDialog::filterSelected, ExportDialog1, [this](const QString &filter) {
    ExportDialog1->setDefaultSuffix(filter.contains("*.csv") ? "csv" : "log");
  });
  for (QFileDialog *d : {OpenDialog1, SaveDialog1, ExportDialog1})
    d->setOption(QFileDialog::DontUseNativeDialog, true);

  connect(SpeedButtonConnect, &QPushButton::clicked, this, &TFormMain::SpeedButtonConnectClick);
  connect(SpeedButtonSetup, &QPushButton::clicked, this, &TFormMain::SpeedButtonSetupClick);
  connect(SpeedButtonFilter, &QPushButton::clicked, this, &TFormMain::SpeedButtonFilterClick);
  connect(SpeedButtonExit, &QPushButton::clicked, this, &TFormMain::SpeedButtonExitClick);
  connect(mf_Exit, &QAction::triggered, this, &TFormMain::SpeedButtonExitClick);
  connect(mf_Load, &QAction::triggered, this, &TFormMain::mf_LoadClick);
  connect(mf_Save, &QAction::triggered, this, &TFormMain::mf_SaveClick);
  connect(mf_SaveAs, &QAction::triggered, this, &TFormMain::mf_SaveAsClick);
  connect(mi_DeviceInfo, &QAction::triggered, this, &TFormMain::mi_DeviceInfoClick);
  connect(mi_About, &QAction::triggered, this, &TFormMain::mi_AboutClick);
  connect(BitBtnRxClear, &QPushButton::clicked, this, &TFormMain::BitBtnRxClearClick);
  connect(ComboBoxView, QOverload<int>::of(&QComboBox::activated), this, &TFormMain::ComboBoxViewCloseUp);
  connect(BitBtnNew, &QPushButton::clicked, this, &TFormMain::BitBtnNewClick);
  connect(BitBtnTxEdit, &QPushButton::clicked, this, &TFormMain::BitBtnTxEditClick);
  connect(BitBtnDelete, &QPushButton::clicked, this, &TFormMain::BitBtnDeleteClick);
  connect(BitBtnTx, &QPushButton::clicked, this, &TFormMain::BitBtnTxClick);
  connect(BitBtnTxAll, &QPushButton::clicked, this, &TFormMain::BitBtnTxAllClick);
  connect(BitBtnTxCyclic, &QPushButton::clicked, this, &TFormMain::BitBtnTxCyclicClick);
  connect(TimerCyclic, &QTimer::timeout, this, &TFormMain::TimerCyclicTimer);
  connect(TimerRates, &QTimer::timeout, this, &TFormMain::TimerRatesTimer);
  connect(mv_TimeStamps, &QAction::toggled, this, &TFormMain::mv_TimeStampsClick);
  connect(mv_Rates, &QAction::toggled, this, &TFormMain::mv_RatesClick);
  connect(mf_ExportLog, &QAction::triggered, this, &TFormMain::mf_ExportLogClick);
  connect(ListBoxTx, &QListView::doubleClicked, this, &TFormMain::BitBtnTxClick);
  connect(TimerReceive, &QTimer::timeout, this, &TFormMain::TimerReceiveTimer);
  connect(Splitter1, &QSplitter::splitterMoved, this, &TFormMain::Splitter1Moved);

  FDeviceMonitor = new TDeviceMonitor(this);
  connect(FDeviceMonitor, &TDeviceMonitor::DeviceChanged, this, &TFormMain::WMDeviceChange);
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

void TFormMain::FormCreate() {
  TIniFile &ini = *SettingsFile;
  move(ini.ReadInteger("Main", "LeftPos", 10), ini.ReadInteger("Main", "TopPos", 10));
  resize(ini.ReadInteger("Main", "Width", 800), ini.ReadInteger("Main", "Height", 600));
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
  SaveSetup(ini);
  try {
    FlushSettingsFile();
  } catch (const EIniFileError &e) {
    // The window closes all the same; the user learns what was not saved.
    ReportFileError(QString::fromStdString(e.what()));
  }
}

void TFormMain::FormDestroy() {
  FTxList.clear();
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
  if (FVNI->IsOpen()) {
    SpeedButtonConnect->setText("Dis&connect");
    FRxCounter = 0;
    FTxCounter = 0;
    FPanels[0]->setText("connected");
    FRxModel->BeginConnection(FDevComm->ConnectedWallUs());
    ShowCounters();
    ShowRates(true);
    FDevComm->SendSetUp(FDevConfig, FFilter);
    TimerReceive->start();
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
  // Frames the thread has already taken from the adapter reach the log and
  // the counter before the thread goes.
  FDevComm->Stop();
  TimerReceiveTimer();
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

bool TFormMain::DeviceNotificationsActive() const { return FDeviceMonitor->Active(); }

void TFormMain::SpeedButtonExitClick() { close(); }

// ---- frame log -------------------------------------------------------------

QString TFormMain::StatusPanel(int i) const { return (i >= 0 && i < 4) ? FPanels[i]->text() : QString(); }

void TFormMain::ShowCounters() {
  QString rx = QString("Rx: %1").arg(FRxCounter);
  // Frames the communication thread had to drop are never hidden.
  if (FDevComm && FDevComm->DroppedFrames() > 0)
    rx += QString(" (lost %1)").arg(FDevComm->DroppedFrames());
  FPanels[1]->setText(rx);
  FPanels[2]->setText(QString("Tx: %1").arg(FTxCounter));
}

void TFormMain::SelectLastLogLine() {
  const QModelIndex last = FRxModel->index(FRxModel->rowCount() - 1);
  ListBoxRx->setCurrentIndex(last);
  ListBoxRx->scrollTo(last);
}

void TFormMain::AddLogLine(const TCanMessage &msg, bool received) {
  const int64_t now = FDevComm ? FDevComm->ElapsedUs() : 0;
  FRxModel->Append(TLogLine::From(received ? TDirection::Rx : TDirection::Tx, msg, now));
  SelectLastLogLine();
}

// Transmitted frames' lines carry their hand-over time until the adapter's
// acceptance time arrives.
void TFormMain::TakeTransmitStamps() {
  TTransmitStamp stamp;
  while (FDevComm->TakeTransmitStamp(stamp))
    FRxModel->SetAcceptedTime(stamp.Seq, stamp.TimeUs);
}

// Takes every frame waiting at each tick, so that the log keeps up with the
// bus, and adds their lines in one batch with one scroll to the end.
void TFormMain::TimerReceiveTimer() {
  if (!FDevComm)
    return;
  TakeTransmitStamps();
  TStampedFrame frame;
  std::vector<TLogLine> lines;
  const bool show = ComboBoxView->currentIndex() < 2;
  int taken = 0;
  while (FDevComm->ReceiveMessage(frame)) {
    ++taken;
    FStatistics.Count(frame.Msg, true);
    if (show)
      lines.push_back(TLogLine::From(TDirection::Rx, frame.Msg, frame.TimeUs));
  }
  if (taken == 0)
    return;
  FRxCounter += taken;
  if (!lines.empty()) {
    FRxModel->Append(lines);
    SelectLastLogLine();
  }
  ShowCounters();
}

void TFormMain::BitBtnRxClearClick() { FRxModel->Clear(); }

int TFormMain::RxLineCount() const { return FRxModel->rowCount(); }
QString TFormMain::RxLine(int row) const { return FRxModel->Line(row); }
int TFormMain::RxItemIndex() const {
  const QModelIndexList sel = ListBoxRx->selectionModel()->selectedRows();
  return sel.isEmpty() ? -1 : sel.first().row();
}

// ---- transmit list -----------------------------------------------------------

QStringList TFormMain::TxLines() const { return FTxModel->Lines(); }

int TFormMain::TxItemIndex() const {
  const QModelIndexList sel = ListBoxTx->selectionModel()->selectedRows();
  return sel.isEmpty() ? -1 : sel.first().row();
}

void TFormMain::SetTxItemIndex(int row) {
  if (row < 0 || row >= FTxModel->rowCount()) {
    ListBoxTx->selectionModel()->clearSelection();
    ListBoxTx->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    return;
  }
  const QModelIndex i = FTxModel->index(row);
  ListBoxTx->setCurrentIndex(i);
  ListBoxTx->selectionModel()->select(i, QItemSelectionModel::ClearAndSelect);
  ListBoxTx->scrollTo(i);
}

void TFormMain::AppendTxEntry(std::unique_ptr<TCanMessage> msg, const QString &line, int cycleMs) {
  FTxList.push_back(std::move(msg));
  FTxCycles.push_back(cycleMs);
  FCycleDue.push_back(FCycleClock.isValid() ? FCycleClock.elapsed() : 0);
  FTxModel->Append(line);
  UpdateCyclicButton();
}

void TFormMain::SetTxLines(std::vector<std::unique_ptr<TCanMessage>> records, QStringList lines,
                           std::vector<int> cycles) {
  StopCyclic();
  cycles.resize(records.size(), 0);
  FTxList = std::move(records);
  FTxCycles = std::move(cycles);
  FCycleDue.assign(FTxList.size(), 0);
  FTxModel->SetLines(std::move(lines));
  UpdateCyclicButton();
}

void TFormMain::BitBtnNewClick() {
  auto msg = std::make_unique<TCanMessage>();
  int cycle = 0;
  if (!FormEditMsg->NewMessage(*msg, x() + 20, y() + 20, &cycle))
    return;
  const QString line = MessageToLine(QString(), *msg);
  AppendTxEntry(std::move(msg), line, cycle);
  SetTxItemIndex(FTxModel->rowCount() - 1);
}

void TFormMain::BitBtnTxEditClick() {
  const int i = TxItemIndex();
  if (i < 0)
    return;
  if (FormEditMsg->EditMessage(*FTxList[i], x() + 20, y() + 20, &FTxCycles[i])) {
    FTxModel->Replace(i, MessageToLine(QString(), *FTxList[i]));
    // An edited entry starts its cycle again.
    FCycleDue[i] = FCycleClock.isValid() ? FCycleClock.elapsed() : 0;
    SetTxItemIndex(i);
    UpdateCyclicButton();
  }
}

void TFormMain::BitBtnDeleteClick() {
  const int i = TxItemIndex();
  if (i < 0)
    return;
  FTxList.erase(FTxList.begin() + i);
  FTxCycles.erase(FTxCycles.begin() + i);
  FCycleDue.erase(FCycleDue.begin() + i);
  FTxModel->Remove(i);
  SetTxItemIndex(i - 1);
  UpdateCyclicButton();
}

void TFormMain::TransmitEntry(const TCanMessage &entry) {
  // The thread owns the copy from the hand-over on; the log line is built
  // from the list's own record.
  const std::optional<uint64_t> seq = FDevComm->TransmitMessage(new TCanMessage(entry));
  ++FTxCounter;
  if (seq)
    FStatistics.Count(entry, false);
  const int view = ComboBoxView->currentIndex();
  if (view == 0 || view == 2) {
    AddLogLine(entry, false);
    if (seq)
      FRxModel->AwaitAcceptance(FRxModel->rowCount() - 1, *seq);
  }
}

// ---- cyclic transmission -----------------------------------------------------

bool TFormMain::CyclicRunning() const { return TimerCyclic->isActive(); }

void TFormMain::UpdateCyclicButton() {
  const bool any = std::any_of(FTxCycles.begin(), FTxCycles.end(), [](int c) { return c > 0; });
  if (!any)
    StopCyclic();
  BitBtnTxCyclic->setVisible(any);
}

void TFormMain::StopCyclic() {
  TimerCyclic->stop();
  BitBtnTxCyclic->setChecked(false);
}

void TFormMain::BitBtnTxCyclicClick(bool start) {
  if (!start || !FDevComm) {
    StopCyclic();
    return;
  }
  // Every cyclic entry goes out at once, then on its period.
  FCycleClock.start();
  FCycleDue.assign(FTxList.size(), 0);
  BitBtnTxCyclic->setChecked(true);
  TimerCyclic->start();
  TimerCyclicTimer();
}

void TFormMain::TimerCyclicTimer() {
  if (!FDevComm) {
    StopCyclic();
    return;
  }
  const qint64 now = FCycleClock.elapsed();
  bool sent = false;
  for (size_t i = 0; i < FTxList.size(); ++i) {
    const int cycle = FTxCycles[i];
    if (cycle <= 0 || FCycleDue[i] > now)
      continue;
    // While the adapter does not send, the period passes without a frame.
    if (FDevComm->TransmitRoom()) {
      TransmitEntry(*FTxList[i]);
      sent = true;
    }
    // Periods missed while the window was busy are skipped, not sent in a
    // burst.
    FCycleDue[i] += cycle;
    if (FCycleDue[i] <= now)
      FCycleDue[i] = now + cycle;
  }
  if (sent)
    ShowCounters();
}

// ---- rates and bus load ------------------------------------------------------

QString TFormMain::RatesText() const { return FRatePanel->text(); }

void TFormMain::ShowRates(bool connected) {
  FStatistics.Reset();
  FRatePanel->setVisible(mv_Rates->isChecked());
  if (connected) {
    FRatesClock.start();
    FRatePanel->setText(::RatesText(TRates{}));
    TimerRates->start();
  } else {
    TimerRates->stop();
    FRatePanel->clear();
  }
}

void TFormMain::TimerRatesTimer() {
  if (!FDevComm)
    return;
  const double seconds = FRatesClock.restart() / 1000.0;
  FRatePanel->setText(::RatesText(FStatistics.Take(seconds, BitRate(FDevConfig.Speed))));
}

void TFormMain::mv_RatesClick(bool show) { FRatePanel->setVisible(show); }

void TFormMain::mv_TimeStampsClick(bool show) { FRxModel->SetShowTime(show); }

// ---- log export --------------------------------------------------------------

bool TFormMain::ExportLog(const QString &path) {
  QSaveFile file(path);
  auto refused = [&](const QString &reason) {
    ReportFileError(QString("The file \"%1\" could not be written: %2").arg(path, reason));
    return false;
  };
  if (!file.open(QIODevice::WriteOnly))
    return refused(file.errorString());
  const size_t total = FRxModel->Count();
  // Large logs show their progress and can be cancelled; the file is then
  // left as it was.
  QProgressDialog progress("Exporting the log...", "Cancel", 0, 1000, this);
  progress.setObjectName("ProgressExport");
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  auto step = [&](size_t written) {
    progress.setValue(static_cast<int>(written * 1000 / std::max<size_t>(total, 1)));
    QApplication::processEvents();
    return !progress.wasCanceled();
  };
  const bool written = WriteLog(*FRxModel, file, LogFormatForFile(path), step);
  progress.reset();
  if (!written) {
    const bool cancelled = progress.wasCanceled();
    const QString reason = file.errorString();
    file.cancelWriting();
    return cancelled ? false : refused(reason);
  }
  return file.commit() || refused(file.errorString());
}

void TFormMain::mf_ExportLogClick() {
  if (!FileDialogRun(ExportDialog1))
    return;
  ExportLog(ExportDialog1->selectedFiles().first());
}

void TFormMain::BitBtnTxClick() {
  const int i = TxItemIndex();
  if (i < 0 || !FDevComm)
    return;
  TransmitEntry(*FTxList[i]);
  ShowCounters();
}

void TFormMain::BitBtnTxAllClick() {
  if (FTxList.empty() || !FDevComm)
    return;
  for (const auto &entry : FTxList)
    TransmitEntry(*entry);
  ShowCounters();
}

// ---- settings and information dialogs -------------------------------------

void TFormMain::SpeedButtonSetupClick() {
  if (!FDevComm)
    return;
  if (FormDeviceConfig->EditDeviceConfig(FDevConfig, x() + 20, y() + 20))
    FDevComm->SendDeviceConfig(FDevConfig);
}

void TFormMain::SpeedButtonFilterClick() {
  if (!FDevComm)
    return;
  if (FormFilter->EditFilters(FFilter, x() + 20, y() + 20))
    FDevComm->SendFilters(FFilter);
}

void TFormMain::mi_DeviceInfoClick() { FormDeviceInfo->ShowDeviceInfo(FDevComm, x() + 20, y() + 20); }

void TFormMain::mi_AboutClick() { FormAbout->ShowAbout(x() + 20, y() + 20); }
