// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's recording (every frame to a file as it comes) and
// replay (a file's frames onto the bus).

#include "UnitMain.h"

#include "LogRecorder.h"
#include "Replay.h"
#include "comm/UnitComm.h"
#include "UnitConnect.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QFileInfo>
#include <QLabel>

void TFormMain::FlushRecording(bool force) {
  if (!FRecorder->Recording())
    return;
  const uint64_t before = FRecorder->Bytes();
  QString error;
  if (!FRecorder->Flush(error, force)) {
    ShowRecording();
    // Shown once the caller (the receive timer, often) has returned: a
    // message box opened inside it would hold the log and the counters
    // still for as long as it is open.
    QTimer::singleShot(0, this, [this, error] { ReportFileError(error); });
    return;
  }
  // The panel changes only when lines were written (once a second).
  if (FRecorder->Bytes() != before)
    ShowRecording();
}

// The status bar holds one of them at its end: the recording's or the
// replay's panel while they run, else the database's, else the notice.
void TFormMain::ShowFilePanels() {
  const bool quiet = FRecordPanel->isHidden() && FReplayPanel->isHidden();
  FDatabasePanel->setVisible(quiet && !FDatabasePath.isEmpty());
  FPanels[3]->setVisible(quiet && FDatabasePath.isEmpty());
}

void TFormMain::ShowRecording() {
  const bool on = FRecorder->Recording();
  mf_Record->setText(on ? "Stop &Recording" : "&Record...");
  FRecordPanel->setVisible(on);
  if (on)
    FRecordPanel->setText(QString("Recording %1: %2 frames, %3 KB")
                              .arg(QFileInfo(FRecorder->Path()).fileName())
                              .arg(FRecorder->Frames())
                              .arg((FRecorder->Bytes() + 1023) / 1024));
  ShowFilePanels();
}

bool TFormMain::StartRecording(const QString &path) {
  QString error;
  const bool started = FRecorder->Start(path, error);
  ShowRecording();
  if (!started)
    ReportFileError(error);
  return started;
}

void TFormMain::StopRecording() {
  if (!FRecorder->Recording())
    return;
  QString error;
  const bool ok = FRecorder->Stop(error);
  ShowRecording();
  if (!ok)
    ReportFileError(error);
}

void TFormMain::mf_RecordClick() {
  if (FRecorder->Recording()) {
    StopRecording();
    return;
  }
  if (FileDialogRun(RecordDialog1))
    StartRecording(RecordDialog1->selectedFiles().first());
}

// ---- replay ------------------------------------------------------------------

void TFormMain::ShowReplay() {
  const QString name = QFileInfo(FReplay->Path()).fileName();
  FReplayPanel->setVisible(!FReplay->Path().isEmpty());
  mf_Replay->setText(FReplay->Running() ? "Stop Re&play" : "Re&play...");
  if (FReplay->Running())
    FReplayPanel->setText(QString("Replay %1: %2 %, %3 frames sent").arg(name).arg(FReplay->Percent()).arg(FReplay->Sent()));
  else
    FReplayPanel->setText(QString("Replay %1 ended: %2 frames sent, %3 lines skipped")
                              .arg(name)
                              .arg(FReplay->Sent())
                              .arg(FReplay->Skipped()));
  ShowFilePanels();
}

bool TFormMain::StartReplay(const QString &path) {
  if (!FDevComm) {
    QApplication::beep();
    QMessageBox box(QMessageBox::Critical, ApplicationTitle, "A replay needs a connection to an adapter.",
                    QMessageBox::Cancel, this);
    box.setObjectName("MessageNotConnected");
    box.exec();
    return false;
  }
  QString error;
  if (!FReplay->Start(path, mf_ReplayFast->isChecked(), mf_ReplayLoop->isChecked(), error)) {
    ReportFileError(error);
    return false;
  }
  FReplayClock.start();
  TimerReplay->start();
  ShowReplay();
  TimerReplayTimer();
  return true;
}

void TFormMain::StopReplay() {
  FReplay->Stop();
  TimerReplay->stop();
  if (!FReplay->Path().isEmpty())
    ShowReplay();
}

// Frames go while the thread has room for them; the rest wait for the next
// tick, so a fast replay never outruns the adapter.
void TFormMain::TimerReplayTimer() {
  const uint64_t before = FReplay->Sent();
  TTxLines tx;
  FReplay->Run(FReplayClock.nsecsElapsed() / 1000, [&](const TCanMessage &msg) {
    if (!FDevComm || !FDevComm->TransmitRoom())
      return false;
    TransmitEntry(msg, tx);
    return true;
  });
  LogTransmitted(tx);
  // The timer runs every millisecond: the window changes only when a frame
  // went or the replay ended.
  if (FReplay->Running() && FReplay->Sent() == before)
    return;
  ShowCounters();
  if (!FReplay->Running())
    TimerReplay->stop();
  ShowReplay();
}

void TFormMain::mf_ReplayClick() {
  if (FReplay->Running()) {
    StopReplay();
    return;
  }
  if (FileDialogRun(ReplayDialog1))
    StartReplay(ReplayDialog1->selectedFiles().first());
}
