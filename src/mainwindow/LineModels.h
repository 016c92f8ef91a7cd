// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Models and the drawing of the two frame lists. The frame log keeps a
// compact record per line and formats its text only when the view asks, so
// millions of lines stay cheap; the transmit list keeps its line texts, which
// are also what set-up files store.

#include "can/LogLine.h"

#include <QAbstractListModel>
#include <QStringList>
#include <QStyledItemDelegate>

#include <deque>
#include <vector>

class TDatabase;

// Seconds with six decimals, as the time column shows a stamp.
QString TimeStampText(int64_t timeUs);

class TFrameLogModel : public QAbstractListModel {
  Q_OBJECT
public:
  // The time column's text; only while the column is shown.
  static constexpr int TimeRole = Qt::UserRole + 1;

  using QAbstractListModel::QAbstractListModel;
  int rowCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;

  void Append(const TLogLine &line);
  void Append(const std::vector<TLogLine> &lines);
  void Clear();
  QString Line(int row) const;
  const TLogLine &At(size_t row) const { return FLines[row]; }
  size_t Count() const { return FLines.size(); }

  // A transmitted frame's line takes the time the adapter accepted it: the
  // line of the frame handed over with number seq in this connection.
  void AwaitAcceptance(int row, uint64_t seq);
  void SetAcceptedTime(uint64_t seq, int64_t timeUs);
  void SetShowTime(bool show);
  bool ShowTime() const { return FShowTime; }
  // Lines appended from now on belong to a connection made at this
  // wall-clock time (microseconds since the Unix epoch).
  void BeginConnection(int64_t wallUs);
  // The wall-clock time of a line: its connection's plus its stamp.
  int64_t WallTimeUs(size_t row) const;
  // While paused the view sees the lines it had: lines appended meanwhile are
  // kept (and exported) and appear when the pause ends.
  void SetPaused(bool paused);
  // With a database, a line the database describes ends in its message's
  // name (a TAB before it). The model does not own it.
  void SetDatabase(const TDatabase *db);
  bool Paused() const { return FPaused; }

private:
  void ShowNewLines();

  // In blocks, not one array: a log of millions of lines grows without ever
  // copying itself (which would stall the window) or keeping a doubled
  // array's unused half.
  std::deque<TLogLine> FLines;
  size_t FShown = 0; // the lines the view has been told of
  bool FPaused = false;
  const TDatabase *FDatabase = nullptr;
  bool FShowTime = false;
  // The first line of each connection and the connection's wall-clock time.
  std::vector<std::pair<size_t, int64_t>> FConnections;
  // Transmitted lines waiting for their acceptance time: number and row.
  std::deque<std::pair<uint64_t, size_t>> FAwaitingAcceptance;
};

// A delegate that draws its text itself: the style draws the item's
// background, selection and focus, and the text is handed back.
class TTextDrawingDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;

protected:
  // Draws the item without its text; opt receives the item's options.
  QString DrawFrame(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                    QStyleOptionViewItem &opt) const;
};

// Draws tab-separated lines with a tab stop every three average character
// widths, so that the fields of frame lines form columns.
class TTabStopDelegate : public TTextDrawingDelegate {
  Q_OBJECT
public:
  using TTextDrawingDelegate::TTextDrawingDelegate;
  void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
  QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

class QAbstractItemView;
// A view set up as a frame list: fixed-pitch 16-pixel font, tab stops,
// uniform rows, single selection.
void SetUpFrameListView(QAbstractItemView *view);
