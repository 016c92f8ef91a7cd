// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's widgets, menus, timers and file dialogs, and what each
// of them is connected to.

#include "UnitMain.h"
#include "UnitMainLayout.h"

#include "DeviceMonitor.h"
#include "FileDialogs.h"
#include "FrameLogView.h"
#include "LogRecorder.h"
#include "Overview.h"
#include "PlotData.h"
#include "UnitPlot.h"
#include "Replay.h"
#include "LineModels.h"
#include "TransmitList.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTreeView>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

using namespace mainlayout;

namespace {
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
// A row of buttons, named, in a panel of its own.
QHBoxLayout *ButtonRow(QWidget *parent, const char *name, QWidget *&panel) {
  panel = new QWidget(parent);
  panel->setObjectName(name);
  auto *row = new QHBoxLayout(panel);
  row->setContentsMargins(0, 0, 0, 0);
  return row;
}
// A dialog that names a log file to write: candump's format, or CSV when
// that filter is chosen.
QFileDialog *LogFileDialog(QWidget *parent, const char *name, const char *title) {
  QFileDialog *d =
      SaveFileDialog(parent, name, title, "candump Log Files (*.log);;CSV Files (*.csv);;All Files (*)", "log");
  QObject::connect(d, &QFileDialog::filterSelected, d, [d](const QString &filter) {
    d->setDefaultSuffix(filter.contains("*.csv") ? "csv" : "log");
  });
  return d;
}
// A frame list view with its model, which the view owns.
template <typename TView, typename TModel> TView *FrameList(QWidget *parent, const char *name, TModel *&model) {
  auto *view = new TView(parent);
  view->setObjectName(name);
  model = new TModel(view);
  view->setModel(model);
  SetUpFrameListView(view);
  return view;
}
} // namespace

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
  EditIdFilter = new QLineEdit(PanelRx);
  EditIdFilter->setObjectName("EditIdFilter");
  EditIdFilter->setPlaceholderText("identifiers, e.g. 100-1FF, 7E8, !7DF");
  EditIdFilter->setToolTip("show only these identifiers (hexadecimal; ranges with -, exclusions with !)");
  EditIdFilter->setClearButtonEnabled(true);
  EditIdFilter->setMinimumWidth(220);
  rxRow->addWidget(EditIdFilter);
  rxRow->addWidget(ComboBoxView);
  rxRow->addWidget(BitBtnRxClear);
  ListBoxRx = FrameList<TFrameLogView>(PanelRx, "ListBoxRx", FRxModel);
  // Ranges of lines can be selected for copying.
  ListBoxRx->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListBoxRx->installEventFilter(this);
  rx->addWidget(ListBoxRx);
  // The overview takes the log's place when chosen in the View menu.
  TableOverview = new QTreeView(PanelRx);
  TableOverview->setObjectName("TableOverview");
  FOverview = new TOverviewModel(TableOverview);
  FPlotData = std::make_unique<TPlotData>();
  FOverview->SetPlot(FPlotData.get());
  FormPlot = new TFormPlot(*FPlotData, this);
  FOverviewSort = new QSortFilterProxyModel(TableOverview);
  FOverviewSort->setSourceModel(FOverview);
  FOverviewSort->setSortRole(TOverviewModel::SortRole);
  TableOverview->setModel(FOverviewSort);
  TableOverview->setSortingEnabled(true);
  TableOverview->sortByColumn(TOverviewModel::ColId, Qt::AscendingOrder);
  TableOverview->setSelectionBehavior(QAbstractItemView::SelectRows);
  TableOverview->setSelectionMode(QAbstractItemView::ExtendedSelection);
  TableOverview->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TableOverview->setUniformRowHeights(true);
  TableOverview->setAllColumnsShowFocus(true);
  TableOverview->header()->setStretchLastSection(true);
  TableOverview->setItemDelegateForColumn(TOverviewModel::ColData, new TOverviewDataDelegate(TableOverview));
  {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    TableOverview->setFont(f);
    // Each column as wide as its longest content, so that all of them fit.
    const QFontMetrics fm(f);
    const char *const widest[TOverviewModel::ColumnCount] = {
        "Dir   ", "Ext Rtr", "18DAF110", "Len", "00 00 00 00 00 00 00 00 ", "Count 000", "Period ms", "000.0 - 000.0",
        "Last seen s", "VehicleMotion"};
    for (int c = 0; c < TOverviewModel::ColumnCount; ++c)
      TableOverview->setColumnWidth(c, fm.horizontalAdvance(widest[c]) + 16);
  }
  TableOverview->installEventFilter(this);
  TableOverview->setVisible(false);
  rx->addWidget(TableOverview);

  QVBoxLayout *tx;
  QHBoxLayout *txRow;
  PanelTx = Pane(Splitter1, "PanelTx", "   Transmission (hex)", tx, txRow);
  QHBoxLayout *left = ButtonRow(PanelTx, "PanelTxFunctionLeft", PanelTxFunctionLeft);
  BitBtnNew = Button(PanelTxFunctionLeft, "BitBtnNew", "&New...", "create new message");
  BitBtnTxEdit = Button(PanelTxFunctionLeft, "BitBtnTxEdit", "&Edit...", "edit selected message");
  BitBtnDelete = Button(PanelTxFunctionLeft, "BitBtnDelete", "&Delete", "delete selected message");
  for (QPushButton *b : {BitBtnNew, BitBtnTxEdit, BitBtnDelete})
    left->addWidget(b);
  QHBoxLayout *right = ButtonRow(PanelTx, "PanelTxFunctionRight", PanelTxFunctionRight);
  BitBtnTx = Button(PanelTxFunctionRight, "BitBtnTx", "&Transmit", "transmit selected message");
  BitBtnTxAll = Button(PanelTxFunctionRight, "BitBtnTxAll", "Tx &all", "transmit all messages");
  // Alt+C is Connect's; cyclic transmission answers to Alt+Y.
  BitBtnTxCyclic = Button(PanelTxFunctionRight, "BitBtnTxCyclic", "Tx c&yclic",
                          "transmit the messages that have a cycle time on their cycles");
  BitBtnTxCyclic->setCheckable(true);
  // Shown only while an entry has a cycle time: without one it does nothing.
  BitBtnTxCyclic->setVisible(false);
  for (QPushButton *b : {BitBtnTx, BitBtnTxAll, BitBtnTxCyclic})
    right->addWidget(b);
  txRow->insertWidget(1, PanelTxFunctionLeft);
  txRow->addWidget(PanelTxFunctionRight);
  ListBoxTx = FrameList<QListView>(PanelTx, "ListBoxTx", FTxList);
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
  FRecordPanel = new QLabel(StatusBar1);
  FRecordPanel->setObjectName("StatusPanelRecording");
  FRecordPanel->setVisible(false);
  StatusBar1->insertWidget(4, FRecordPanel);
  FRecorder = std::make_unique<TLogRecorder>();
  FReplayPanel = new QLabel(StatusBar1);
  FReplayPanel->setObjectName("StatusPanelReplay");
  FReplayPanel->setVisible(false);
  StatusBar1->insertWidget(5, FReplayPanel);
  FReplay = std::make_unique<TReplay>();
  FDatabasePanel = new QLabel(StatusBar1);
  FDatabasePanel->setObjectName("StatusPanelDatabase");
  FDatabasePanel->setVisible(false);
  StatusBar1->insertWidget(6, FDatabasePanel);
  FPanels[0]->setAlignment(Qt::AlignCenter);
  FPanels[3]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  FPanels[0]->setText("disconnected");
  FPanels[3]->setText(CopyrightNotice);

  v->addWidget(PanelFunction);
  v->addWidget(Splitter1, 1);
  v->addWidget(StatusBar1);
  setCentralWidget(client);

  BuildMenus();
  BuildTimersAndFileDialogs();
  ConnectHandlers();
}

void TFormMain::BuildMenus() {
  auto menu = [this](const char *name, const char *caption) {
    QMenu *m = menuBar()->addMenu(caption);
    m->setObjectName(name);
    return m;
  };
  auto item = [](QMenu *menu, const char *name, const char *caption) {
    QAction *a = menu->addAction(caption);
    a->setObjectName(name);
    return a;
  };
  mm_File = menu("mm_File", "&File");
  mf_Load = item(mm_File, "mf_Load", "&Load...");
  mf_Save = item(mm_File, "mf_Save", "&Save...");
  mf_SaveAs = item(mm_File, "mf_SaveAs", "Save &as...");
  mf_ExportLog = item(mm_File, "mf_ExportLog", "&Export Log...");
  mf_ExportLog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  mf_LoadDatabase = item(mm_File, "mf_LoadDatabase", "Load &Database...");
  mm_File->addSeparator();
  mf_Record = item(mm_File, "mf_Record", "&Record...");
  mf_Replay = item(mm_File, "mf_Replay", "Re&play...");
  mf_ReplayOptions = mm_File->addMenu("Replay &Options");
  mf_ReplayOptions->setObjectName("mf_ReplayOptions");
  mf_ReplayFast = item(mf_ReplayOptions, "mf_ReplayFast", "As &Fast as the Adapter Takes Frames");
  mf_ReplayFast->setCheckable(true);
  mf_ReplayLoop = item(mf_ReplayOptions, "mf_ReplayLoop", "&Loop");
  mf_ReplayLoop->setCheckable(true);
  mm_File->addSeparator();
  mf_Exit = item(mm_File, "mf_Exit", "E&xit");
  mm_View = menu("mm_View", "&View");
  mv_TimeStamps = item(mm_View, "mv_TimeStamps", "&Time Stamps");
  mv_TimeStamps->setCheckable(true);
  mv_Rates = item(mm_View, "mv_Rates", "&Rates and Bus Load");
  mv_Rates->setCheckable(true);
  mv_Rates->setChecked(true);
  mv_Overview = item(mm_View, "mv_Overview", "&Overview");
  mv_Overview->setCheckable(true);
  mv_Plot = item(mm_View, "mv_Plot", "P&lot");
  mv_Pause = item(mm_View, "mv_Pause", "&Pause");
  mv_Pause->setCheckable(true);
  // The Pause key, and Ctrl+P for keyboards without one.
  mv_Pause->setShortcuts({QKeySequence(Qt::Key_Pause), QKeySequence(Qt::CTRL | Qt::Key_P)});
  mm_Info = menu("mm_Info", "&Info");
  mi_DeviceInfo = item(mm_Info, "mi_DeviceInfo", "&Device Information...");
  mi_About = item(mm_Info, "mi_About", "&About this Program...");
}

void TFormMain::BuildTimersAndFileDialogs() {
  TimerReceive = new QTimer(this);
  TimerReceive->setObjectName("TimerReceive");
  TimerReceive->setInterval(ReceiveTickMs);
  TimerCyclic = new QTimer(this);
  TimerCyclic->setObjectName("TimerCyclic");
  TimerCyclic->setTimerType(Qt::PreciseTimer);
  TimerCyclic->setInterval(1);
  TimerRates = new QTimer(this);
  TimerRates->setObjectName("TimerRates");
  TimerRates->setInterval(1000);
  TimerReplay = new QTimer(this);
  TimerReplay->setObjectName("TimerReplay");
  TimerReplay->setTimerType(Qt::PreciseTimer);
  TimerReplay->setInterval(1);

  const char *filter = "Varnell Interface Files (*.vni)";
  OpenDialog1 = ReadFileDialog(this, "OpenDialog1", "Load Varnell Interface Configuration", filter);
  OpenDialog1->setDefaultSuffix("vni");
  SaveDialog1 = SaveFileDialog(this, "SaveDialog1", "Save Varnell Interface Configuration", filter, "vni");
  SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite, true);
  ExportDialog1 = LogFileDialog(this, "ExportDialog1", "Export Log");
  RecordDialog1 = LogFileDialog(this, "RecordDialog1", "Record to File");
  ReplayDialog1 = ReadFileDialog(this, "ReplayDialog1", "Replay File", "candump Log Files (*.log);;All Files (*)");
  DatabaseDialog1 = ReadFileDialog(this, "DatabaseDialog1", "Load Database", "CAN Databases (*.dbc);;All Files (*)");

}

// What each control, timer and notification runs.
void TFormMain::ConnectHandlers() {
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
  connect(mf_Record, &QAction::triggered, this, &TFormMain::mf_RecordClick);
  connect(mf_LoadDatabase, &QAction::triggered, this, &TFormMain::mf_LoadDatabaseClick);
  connect(mf_Replay, &QAction::triggered, this, &TFormMain::mf_ReplayClick);
  connect(TimerReplay, &QTimer::timeout, this, &TFormMain::TimerReplayTimer);
  connect(mv_Pause, &QAction::toggled, this, &TFormMain::mv_PauseClick);
  connect(mv_Overview, &QAction::toggled, this, &TFormMain::mv_OverviewClick);
  connect(mv_Plot, &QAction::triggered, this, &TFormMain::mv_PlotClick);
  connect(FOverview, &TOverviewModel::PlotTicked, this, &TFormMain::PlotTicked);
  connect(EditIdFilter, &QLineEdit::textChanged, this, &TFormMain::EditIdFilterEdited);
  connect(ListBoxTx, &QListView::doubleClicked, this, &TFormMain::BitBtnTxClick);
  connect(TimerReceive, &QTimer::timeout, this, &TFormMain::TimerReceiveTimer);
  connect(Splitter1, &QSplitter::splitterMoved, this, &TFormMain::Splitter1Moved);

  FDeviceMonitor = new TDeviceMonitor(this);
  connect(FDeviceMonitor, &TDeviceMonitor::DeviceChanged, this, &TFormMain::WMDeviceChange);
}
