// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window's log shows: the direction box, the identifier
// filter, the pause and copying lines.

#include "UnitMain.h"

#include "FrameLogView.h"
#include "LineModels.h"
#include "Overview.h"
#include "PlotData.h"
#include "UnitPlot.h"
#include "comm/UnitComm.h"
#include "can/Frame.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QSortFilterProxyModel>
#include <QTreeView>

#include <algorithm>

bool TFormMain::LogShows(TDirection direction, const TCanMessage &msg) const {
  const int view = ComboBoxView->currentIndex();
  // With no choice in the box, received frames show and sent ones do not.
  const bool wanted = direction == TDirection::Rx ? view < 2 : view == 0 || view == 2;
  return wanted && FIdFilter.Passes(MaskedId(msg));
}

// A filter that does not read is shown as such and the last one that did
// stays in force.
void TFormMain::EditIdFilterEdited(const QString &text) {
  std::string error;
  const std::optional<TIdFilter> filter = TIdFilter::Parse(text.toStdString(), error);
  if (filter)
    FIdFilter = *filter;
  EditIdFilter->setStyleSheet(filter ? QString() : QString("QLineEdit { background: #ffd0d0; }"));
  EditIdFilter->setToolTip(filter ? QString("show only these identifiers (hexadecimal; ranges with -, exclusions with !)")
                                  : QString::fromStdString("not a filter: " + error));
}

// A few times a second at most, and only while it is seen and moving.
void TFormMain::RefreshOverview(bool now) {
  if (!TableOverview->isVisible() || FRxModel->Paused())
    return;
  if (!now && FOverviewClock.isValid() && FOverviewClock.elapsed() < 250)
    return;
  FOverviewClock.start();
  FOverview->Refresh(FTimeBase.NowUs());
}

void TFormMain::mv_PauseClick(bool paused) {
  FRxModel->SetPaused(paused);
  if (!paused) {
    SelectLastLogLine();
    RefreshOverview(true);
  }
}

void TFormMain::mv_OverviewClick(bool shown) {
  ListBoxRx->setVisible(!shown);
  TableOverview->setVisible(shown);
  RefreshOverview(true);
  (shown ? static_cast<QWidget *>(TableOverview) : ListBoxRx)->setFocus();
}

void TFormMain::CopySelectedLogLines() {
  QModelIndexList rows = ListBoxRx->selectionModel()->selectedIndexes();
  // Nothing selected (a click beside the lines clears the selection): the
  // current line, as the list has always copied.
  if (rows.isEmpty() && ListBoxRx->currentIndex().isValid())
    rows << ListBoxRx->currentIndex();
  if (rows.isEmpty())
    return;
  std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
  QStringList lines;
  for (const QModelIndex &i : rows) {
    const QString time = i.data(TFrameLogModel::TimeRole).toString();
    lines << (time.isEmpty() ? QString() : time + '\t') + i.data(Qt::DisplayRole).toString();
  }
  QApplication::clipboard()->setText(lines.join('\n'));
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event) {
  // Space ticks the current signal row for the plot, whichever of its cells
  // is current.
  if (watched == TableOverview && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space) {
    const QModelIndex current = FOverviewSort->mapToSource(TableOverview->currentIndex());
    const QModelIndex tick = current.isValid() ? FOverview->index(current.row(), 0, current.parent()) : QModelIndex();
    if (FOverview->flags(tick) & Qt::ItemIsUserCheckable)
      FOverview->setData(tick, tick.data(Qt::CheckStateRole).toInt() == Qt::Checked ? Qt::Unchecked : Qt::Checked,
                         Qt::CheckStateRole);
    return true;
  }
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
    if (watched == ListBoxRx) {
      CopySelectedLogLines();
      return true;
    }
    if (watched == TableOverview) {
      QModelIndexList rows = TableOverview->selectionModel()->selectedRows();
      // In the order shown: a row's signals follow it.
      std::sort(rows.begin(), rows.end(), [this](const QModelIndex &a, const QModelIndex &b) {
        return TableOverview->visualRect(a).top() < TableOverview->visualRect(b).top();
      });
      QStringList lines;
      for (const QModelIndex &i : rows) {
        const QModelIndex source = FOverviewSort->mapToSource(i);
        if (!source.parent().isValid()) {
          lines << FOverview->RowText(source.row());
          continue;
        }
        // A signal's row: its name and its value.
        const QModelIndex parent = source.parent();
        lines << FOverview->index(source.row(), TOverviewModel::ColName, parent).data().toString() + '\t' +
                     FOverview->index(source.row(), TOverviewModel::ColData, parent).data().toString();
      }
      if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines.join('\n'));
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}
