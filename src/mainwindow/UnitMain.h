// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: connection management, the frame log, the transmit list
// and the set-up.

#include "BusStatistics.h"
#include "TimeBase.h"
#include "adapter/Vni_if.h"
#include "can/IdFilter.h"
#include "can/LogLine.h"
#include "config/SetupFile.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QSortFilterProxyModel;
class QSplitter;
class QTreeView;
class QStatusBar;
class QTimer;
class TDevComm;
class TDatabase;
class TDeviceMonitor;
class TFrameLogModel;
class TFrameLogView;
class TIniFile;
class TLogRecorder;
class TOverviewModel;
class TFormPlot;
class TPlotData;
class TReplay;
class TTransmitList;
struct TTransmitEntry;

class TFormMain : public QMainWindow {
  Q_OBJECT
public:
  explicit TFormMain(QWidget *parent = nullptr);
  ~TFormMain() override;

  // Connection.
  void SpeedButtonConnectClick();
  void Disconnect();
  void WMDeviceChange();
  void SpeedButtonExitClick();
  // Frame log.
  void ShowCounters();
  void TimerReceiveTimer();
  void BitBtnRxClearClick();
  // Transmit list.
  void BitBtnNewClick();
  void BitBtnTxEditClick();
  void BitBtnDeleteClick();
  void BitBtnTxClick();
  void BitBtnTxAllClick();
  void BitBtnTxCyclicClick(bool start);
  void TimerCyclicTimer();
  // Frame log view and export.
  void mv_TimeStampsClick(bool show);
  void mv_RatesClick(bool show);
  void mv_PauseClick(bool paused);
  void mv_OverviewClick(bool shown);
  // Shows the plot window.
  void mv_PlotClick();
  // A signal's row in the overview was ticked or cleared: plotted or not.
  void PlotTicked(quint32 id, bool extended, int signal, bool plotted);
  // A CAN database for names and signals: chosen, or the last run's.
  void mf_LoadDatabaseClick();
  bool LoadDatabase(const QString &path, QStringList &problems);
  void EditIdFilterEdited(const QString &text);
  // The selected log lines to the clipboard, one line each.
  void CopySelectedLogLines();
  // Starts recording to a chosen file, or stops the recording.
  void mf_RecordClick();
  // Recording to the file; false (and a message naming it) when it cannot.
  bool StartRecording(const QString &path);
  void StopRecording();
  // Replays a chosen candump log file onto the bus, or stops the replay.
  void mf_ReplayClick();
  bool StartReplay(const QString &path);
  void StopReplay();
  void TimerReplayTimer();
  void TimerRatesTimer();
  void mf_ExportLogClick();
  // Writes the log to the file, in the format its name asks for; false (and
  // the file as it was) when it could not be written or was cancelled.
  bool ExportLog(const QString &path);
  // Layout and set-up.
  void Splitter1Moved();
  void LoadSetup(TIniFile &ini);
  void SaveSetup(TIniFile &ini);
  void mf_LoadClick();
  void mf_SaveClick();
  void mf_SaveAsClick();
  // Settings and information dialogs.
  void SpeedButtonSetupClick();
  void SpeedButtonFilterClick();
  void mi_DeviceInfoClick();
  void mi_AboutClick();

  // The connection and the set-up the dialogs edit.
  TVNI *Adapter() const { return FVNI; }
  TDevComm *DevComm() const { return FDevComm; }
  TDeviceConfig &DevConfig() { return FDevConfig; }
  TFilterTable &Filters() { return FFilter; }
  const TDatabase *Database() const { return FDatabase.get(); }

  // Controls.
  QWidget *PanelFunction;
  QPushButton *SpeedButtonConnect;
  QPushButton *SpeedButtonSetup;
  QPushButton *SpeedButtonFilter;
  QPushButton *SpeedButtonExit;
  QWidget *PanelRx;
  QComboBox *ComboBoxView;
  QLineEdit *EditIdFilter;
  QPushButton *BitBtnRxClear;
  TFrameLogView *ListBoxRx;
  QTreeView *TableOverview;
  QSplitter *Splitter1;
  QWidget *PanelTx;
  QWidget *PanelTxFunctionLeft;
  QWidget *PanelTxFunctionRight;
  QPushButton *BitBtnNew;
  QPushButton *BitBtnTxEdit;
  QPushButton *BitBtnDelete;
  QPushButton *BitBtnTx;
  QPushButton *BitBtnTxAll;
  QPushButton *BitBtnTxCyclic;
  QListView *ListBoxTx;
  QStatusBar *StatusBar1;
  QMenu *mm_File;
  QMenu *mm_View;
  QMenu *mm_Info;
  QAction *mf_Load;
  QAction *mf_Save;
  QAction *mf_SaveAs;
  QAction *mf_ExportLog;
  QAction *mf_LoadDatabase;
  QAction *mf_Record;
  QAction *mf_Replay;
  QMenu *mf_ReplayOptions;
  QAction *mf_ReplayFast;
  QAction *mf_ReplayLoop;
  QAction *mf_Exit;
  QAction *mv_TimeStamps;
  QAction *mv_Rates;
  QAction *mv_Pause;
  QAction *mv_Overview;
  QAction *mv_Plot;
  QAction *mi_DeviceInfo;
  QAction *mi_About;
  QTimer *TimerReceive;
  QTimer *TimerCyclic;
  QTimer *TimerRates;
  QTimer *TimerReplay;
  QFileDialog *OpenDialog1;
  QFileDialog *SaveDialog1;
  QFileDialog *ExportDialog1;
  QFileDialog *RecordDialog1;
  QFileDialog *DatabaseDialog1;
  QFileDialog *ReplayDialog1;
  TFormPlot *FormPlot;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  QStringList TxLines() const;
  std::vector<int> TxCycles() const;
  int TxItemIndex() const;
  void SetTxItemIndex(int row);
  int VerticalPos() const;
  int ClientHeight() const;
  void BuildWindow();
  void BuildMenus();
  void BuildTimersAndFileDialogs();
  void ConnectHandlers();
  void FormCreate();
  void FormClose();
  void FormDestroy();
  void SetMinimumHeightFromLayout(int txHeight);
  void PlaceOnScreen(int x, int y, int width, int height);
  int ApplyVertical(int vertical);
  void SelectLastLogLine();
  // The lines of a run of transmitted frames, logged together: one insertion
  // into the log for Tx all of thousands of frames, not one per frame.
  struct TTxLines {
    std::vector<TLogLine> Lines;
    std::vector<std::optional<uint64_t>> Seqs; // each line's hand-over number
  };
  void TransmitEntry(const TCanMessage &entry, TTxLines &tx);
  // Adds the lines and scrolls the log to its end (when there were any).
  void LogTransmitted(const TTxLines &tx);
  // Whether a frame's line goes into the log: the direction chosen in the
  // view box and the identifier filter.
  bool LogShows(TDirection direction, const TCanMessage &msg) const;
  // Every frame the bus carried (received, or sent and accepted by the
  // adapter) goes to the recording, the overview and the plot, whatever the
  // log shows; true when the plot took a point of it.
  bool TakeFrame(TDirection direction, const TCanMessage &msg, int64_t timeUs);
  void FlushRecording(bool force);
  void ShowRecording();
  void ShowReplay();
  void ShowFilePanels();
  void LoadRememberedDatabase(TIniFile &ini);
  void SaveDatabaseSetting(TIniFile &ini);
  void LoadPlotSetting(TIniFile &ini);
  void FillFromLog(int curve);
  void SavePlotSetting(TIniFile &ini);
  void RefreshOverview(bool now);
  int TakeTransmitStamps(bool &plotted);
  void WakeReceive();
  void SetTxEntries(std::vector<TTransmitEntry> entries);
  qint64 CycleNow() const;
  void UpdateCyclicButton();
  void StopCyclic();
  void ShowRates(bool connected);
  bool SaveSetupTo(const QString &path);
  void ReportFileError(const QString &message);
  bool FileDialogRun(QFileDialog *dialog);

  QLabel *FPanels[4];
  QLabel *FRatePanel;
  QLabel *FRecordPanel;
  std::unique_ptr<TLogRecorder> FRecorder;
  QLabel *FReplayPanel;
  QLabel *FDatabasePanel;
  std::unique_ptr<TDatabase> FDatabase;
  QString FDatabasePath;
  QString FDatabaseStamp;
  std::unique_ptr<TReplay> FReplay;
  QElapsedTimer FReplayClock;
  TIdFilter FIdFilter;
  TOverviewModel *FOverview;
  QSortFilterProxyModel *FOverviewSort;
  QElapsedTimer FOverviewClock;
  std::unique_ptr<TPlotData> FPlotData;
  TFrameLogModel *FRxModel;
  TTransmitList *FTxList;
  TDeviceMonitor *FDeviceMonitor;

  TVNI *FVNI = nullptr;
  TDevComm *FDevComm = nullptr;
  TDeviceConfig FDevConfig{};
  TFilterTable FFilter{};
  // The clock of the transmit list's cycles.
  QElapsedTimer FCycleClock;
  TBusStatistics FStatistics;
  TTimeBase FTimeBase;
  // Frames handed over and not yet accepted by the adapter, by number.
  std::deque<std::pair<uint64_t, TCanMessage>> FTxAwaiting;
  QElapsedTimer FRatesClock;
  // The receive timer's tick while frames come; after QuietAfterTicks ticks
  // without any it ticks every QuietTickMs (the overview's "last seen" still
  // moves on) and the thread wakes it when frames or stamps come.
  static constexpr int ReceiveTickMs = 10;
  static constexpr int QuietTickMs = 250;
  static constexpr int QuietAfterTicks = 10;
  int FQuietTicks = 0;
  int FRxCounter = 0;
  int FTxCounter = 0;
  QString FLoadedFile; // the target of Save: the set-up file loaded or saved last
  // The boundary read at start for a maximised window, until it has been
  // placed in the maximised client area.
  std::optional<int> FRestoredVertical;
};

extern TFormMain *FormMain;
