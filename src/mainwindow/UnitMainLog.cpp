// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's frame log: the receive timer, the counters, the rates
// and bus load, the time column and the export.

#include "UnitMain.h"

#include "PlotData.h"
#include "UnitPlot.h"

#include "FrameLogView.h"
#include "LineModels.h"
#include "LogExport.h"
#include "LogRecorder.h"
#include "Overview.h"
#include "comm/UnitComm.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QTimer>

// ---- frame log -------------------------------------------------------------


void TFormMain::ShowCounters() {
  QString rx = QString("Rx: %1").arg(FRxCounter);
  // Frames the communication thread had to drop are never hidden.
  if (FDevComm && FDevComm->DroppedFrames() > 0)
    rx += QString(" (lost %1)").arg(FDevComm->DroppedFrames());
  FPanels[1]->setText(rx);
  FPanels[2]->setText(QString("Tx: %1").arg(FTxCounter));
}

void TFormMain::SelectLastLogLine() {
  // A paused log stays where the user is looking.
  if (FRxModel->Paused())
    return;
  const QModelIndex last = FRxModel->index(FRxModel->rowCount() - 1);
  ListBoxRx->setCurrentIndex(last);
  ListBoxRx->scrollTo(last);
}


bool TFormMain::TakeFrame(TDirection direction, const TCanMessage &msg, int64_t timeUs) {
  const TLogLine line = TLogLine::From(direction, msg, timeUs);
  if (FRecorder->Recording())
    FRecorder->Add(line, FTimeBase.WallUs(timeUs));
  FOverview->Add(line);
  return FPlotData->Take(line);
}

// A frame goes on the bus when the adapter accepts it: its line, shown with
// the hand-over time until then, takes that time, and it counts from then on. The adapter takes frames in the order
// handed over, so a number stamped means every earlier one was accepted too
// (their stamps are lost only when the window falls far behind: they take
// the later one's time).
int TFormMain::TakeTransmitStamps(bool &plotted) {
  TTransmitStamp stamp;
  int taken = 0;
  for (; FDevComm->TakeTransmitStamp(stamp); ++taken) {
    const int64_t timeUs = FTimeBase.FromConnection(stamp.TimeUs);
    FRxModel->SetAcceptedTime(stamp.Seq, timeUs);
    while (!FTxAwaiting.empty() && FTxAwaiting.front().first <= stamp.Seq) {
      plotted |= TakeFrame(TDirection::Tx, FTxAwaiting.front().second, timeUs);
      FTxAwaiting.pop_front();
    }
  }
  return taken;
}

// Takes every frame waiting at each tick, so that the log keeps up with the
// bus, and adds their lines in one batch with one scroll to the end.
void TFormMain::TimerReceiveTimer() {
  if (!FDevComm)
    return;
  bool plotted = false;
  const int stamps = TakeTransmitStamps(plotted);
  TStampedFrame frame;
  std::vector<TLogLine> lines;
  int taken = 0;
  while (FDevComm->ReceiveMessage(frame)) {
    ++taken;
    FStatistics.Count(frame.Msg, true);
    const int64_t timeUs = FTimeBase.FromConnection(frame.TimeUs);
    plotted |= TakeFrame(TDirection::Rx, frame.Msg, timeUs);
    if (LogShows(TDirection::Rx, frame.Msg))
      lines.push_back(TLogLine::From(TDirection::Rx, frame.Msg, timeUs));
  }
  if (plotted)
    FormPlot->PointsAdded();
  FlushRecording(false);
  if (taken > 0 || stamps > 0 || FDevComm->WaitingFrames() > 0) {
    FQuietTicks = 0;
    if (TimerReceive->interval() != ReceiveTickMs)
      TimerReceive->setInterval(ReceiveTickMs);
  } else if (FQuietTicks < QuietAfterTicks && ++FQuietTicks == QuietAfterTicks && FDevComm->RequestWake()) {
    TimerReceive->setInterval(QuietTickMs);
  }
  // Also on a quiet tick: the last frames of a burst are shown, and the time
  // since a row was last seen goes on.
  if (taken == 0) {
    RefreshOverview(false);
    return;
  }
  FRxCounter += taken;
  if (!lines.empty()) {
    FRxModel->Append(lines);
    SelectLastLogLine();
  }
  RefreshOverview(false);
  ShowCounters();
}

// The thread has frames or stamps for a receive timer that had slowed down.
void TFormMain::WakeReceive() {
  if (!FDevComm || !TimerReceive->isActive())
    return;
  FQuietTicks = 0;
  TimerReceive->setInterval(ReceiveTickMs);
  TimerReceiveTimer();
}

void TFormMain::BitBtnRxClearClick() {
  FRxModel->Clear();
  FOverview->Clear();
  FPlotData->ClearPoints();
  FormPlot->Redraw();
}


// ---- rates and bus load ------------------------------------------------------


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
  QString error;
  if (ExportLogFile(this, *FRxModel, path, error))
    return true;
  if (!error.isEmpty())
    ReportFileError(error);
  return false;
}

void TFormMain::mf_ExportLogClick() {
  if (!FileDialogRun(ExportDialog1))
    return;
  ExportLog(ExportDialog1->selectedFiles().first());
}
