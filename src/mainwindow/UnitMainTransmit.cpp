// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's transmit list: New, Edit, Delete, Transmit, Tx all and
// cyclic transmission.

#include "UnitMain.h"

#include "CyclicSchedule.h"
#include "LineModels.h"
#include "TransmitList.h"
#include "can/Frame.h"
#include "can/FrameText.h"
#include "comm/UnitComm.h"
#include "dialogs/UnitEditMsg.h"

#include <QComboBox>
#include <QListView>
#include <QPushButton>
#include <QTimer>

QStringList TFormMain::TxLines() const { return FTxList->Lines(); }
std::vector<int> TFormMain::TxCycles() const { return FTxList->Cycles(); }

int TFormMain::TxItemIndex() const {
  const QModelIndexList sel = ListBoxTx->selectionModel()->selectedRows();
  return sel.isEmpty() ? -1 : sel.first().row();
}

void TFormMain::SetTxItemIndex(int row) {
  if (row < 0 || row >= FTxList->rowCount()) {
    ListBoxTx->selectionModel()->clearSelection();
    ListBoxTx->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    return;
  }
  const QModelIndex i = FTxList->index(row);
  ListBoxTx->setCurrentIndex(i);
  ListBoxTx->selectionModel()->select(i, QItemSelectionModel::ClearAndSelect);
  ListBoxTx->scrollTo(i);
}

qint64 TFormMain::CycleNow() const { return FCycleClock.isValid() ? FCycleClock.elapsed() : 0; }

void TFormMain::SetTxEntries(std::vector<TTransmitEntry> entries) {
  StopCyclic();
  FTxList->SetAll(std::move(entries));
  UpdateCyclicButton();
}

void TFormMain::BitBtnNewClick() {
  TTransmitEntry e;
  FormEditMsg->SetDatabase(Database());
  if (!FormEditMsg->NewMessage(e.Frame, x() + 20, y() + 20, &e.CycleMs))
    return;
  e.Line = MessageToLine(QString(), e.Frame);
  e.DueMs = CycleNow();
  FTxList->Append(std::move(e));
  UpdateCyclicButton();
  SetTxItemIndex(FTxList->rowCount() - 1);
}

void TFormMain::BitBtnTxEditClick() {
  const int i = TxItemIndex();
  if (i < 0)
    return;
  TTransmitEntry &e = FTxList->At(i);
  FormEditMsg->SetDatabase(Database());
  if (FormEditMsg->EditMessage(e.Frame, x() + 20, y() + 20, &e.CycleMs)) {
    e.DueMs = CycleNow(); // an edited entry starts its cycle again
    FTxList->Changed(i);
    SetTxItemIndex(i);
    UpdateCyclicButton();
  }
}

void TFormMain::BitBtnDeleteClick() {
  const int i = TxItemIndex();
  if (i < 0)
    return;
  FTxList->Remove(i);
  SetTxItemIndex(i - 1);
  UpdateCyclicButton();
}

// Hands the frame over, counts it and records it; its line (when the view
// shows transmitted frames) joins the run's lines.
void TFormMain::TransmitEntry(const TCanMessage &entry, TTxLines &tx) {
  // The thread owns the copy from the hand-over on; the log, the counters
  // and the recording take the frame as it goes on the bus.
  const TCanMessage wire = WireFrame(entry);
  const std::optional<uint64_t> seq = FDevComm->TransmitMessage(new TCanMessage(wire));
  ++FTxCounter;
  if (seq) {
    FStatistics.Count(wire, false);
    FTxAwaiting.emplace_back(*seq, wire);
  }
  const int64_t now = FTimeBase.FromConnection(FDevComm->ElapsedUs());
  if (LogShows(TDirection::Tx, wire)) {
    tx.Lines.push_back(TLogLine::From(TDirection::Tx, wire, now));
    tx.Seqs.push_back(seq);
  }
}

void TFormMain::LogTransmitted(const TTxLines &tx) {
  if (tx.Lines.empty())
    return;
  FRxModel->Append(tx.Lines);
  const int first = static_cast<int>(FRxModel->Count() - tx.Lines.size());
  for (size_t i = 0; i < tx.Seqs.size(); ++i)
    if (tx.Seqs[i])
      FRxModel->AwaitAcceptance(first + static_cast<int>(i), *tx.Seqs[i]);
  SelectLastLogLine();
}

void TFormMain::BitBtnTxClick() {
  const int i = TxItemIndex();
  if (i < 0 || !FDevComm)
    return;
  TTxLines tx;
  TransmitEntry(FTxList->At(i).Frame, tx);
  LogTransmitted(tx);
  ShowCounters();
}

void TFormMain::BitBtnTxAllClick() {
  if (FTxList->Empty() || !FDevComm)
    return;
  TTxLines tx;
  for (const TTransmitEntry &e : FTxList->Entries())
    TransmitEntry(e.Frame, tx);
  LogTransmitted(tx);
  ShowCounters();
}

// ---- cyclic transmission -----------------------------------------------------


void TFormMain::UpdateCyclicButton() {
  const bool any = FTxList->AnyCyclic();
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
  StartCycles(*FTxList, 0);
  BitBtnTxCyclic->setChecked(true);
  TimerCyclic->start();
  TimerCyclicTimer();
}

void TFormMain::TimerCyclicTimer() {
  if (!FDevComm) {
    StopCyclic();
    return;
  }
  bool sent = false;
  TTxLines tx;
  for (size_t i : TakeDueEntries(*FTxList, FCycleClock.elapsed())) {
    // While the adapter does not send, the period passes without a frame.
    if (FDevComm->TransmitRoom()) {
      TransmitEntry(FTxList->At(i).Frame, tx);
      sent = true;
    }
  }
  LogTransmitted(tx);
  if (sent)
    ShowCounters();
}
