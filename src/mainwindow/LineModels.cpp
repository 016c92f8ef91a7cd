// SPDX-License-Identifier: GPL-3.0-or-later
// The frame log's model and the drawing of frame lines in columns.
#include "LineModels.h"

#include "can/Dbc.h"
#include "can/Frame.h"
#include "can/FrameText.h"

#include <QApplication>
#include <QFontDatabase>
#include <QListView>
#include <QPainter>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <cstring>

int TFrameLogModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FShown);
}

QString TFrameLogModel::Line(int row) const {
  if (row < 0 || row >= static_cast<int>(FLines.size()))
    return {};
  const TLogLine &l = FLines[row];
  const TCanMessage msg = l.Message();
  QString text = MessageToLine(l.Direction == TDirection::Rx ? QStringLiteral("Rx") : QStringLiteral("Tx"), msg);
  if (FDatabase)
    if (const TDbcMessage *m = FDatabase->Find(MaskedId(msg), IsExtended(msg)))
      text += '\t' + QString::fromStdString(m->Name);
  return text;
}

QString TimeStampText(int64_t timeUs) {
  const char *sign = timeUs < 0 ? "-" : "";
  const uint64_t magnitude = timeUs < 0 ? 0 - static_cast<uint64_t>(timeUs) : static_cast<uint64_t>(timeUs);
  return QString("%1%2.%3").arg(sign).arg(magnitude / 1000000).arg(magnitude % 1000000, 6, 10, QChar('0'));
}

QVariant TFrameLogModel::data(const QModelIndex &index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(FShown))
    return {};
  if (role == Qt::DisplayRole)
    return Line(index.row());
  if (role == TimeRole && FShowTime)
    return TimeStampText(FLines[index.row()].TimeUs);
  return {};
}

void TFrameLogModel::AwaitAcceptance(int row, uint64_t seq) {
  if (row >= 0 && row < static_cast<int>(FLines.size()))
    FAwaitingAcceptance.emplace_back(seq, static_cast<size_t>(row));
}

// Stamps come in hand-over order; a line whose stamp the thread could not
// keep stays with its hand-over time.
void TFrameLogModel::SetAcceptedTime(uint64_t seq, int64_t timeUs) {
  while (!FAwaitingAcceptance.empty() && FAwaitingAcceptance.front().first < seq)
    FAwaitingAcceptance.pop_front();
  if (FAwaitingAcceptance.empty() || FAwaitingAcceptance.front().first != seq)
    return;
  const int row = static_cast<int>(FAwaitingAcceptance.front().second);
  FAwaitingAcceptance.pop_front();
  FLines[row].TimeUs = timeUs;
  if (FShowTime && static_cast<size_t>(row) < FShown)
    emit dataChanged(index(row), index(row), {TimeRole});
}

void TFrameLogModel::SetShowTime(bool show) {
  if (show == FShowTime)
    return;
  FShowTime = show;
  // Every row's drawing changes; one signal for the whole range.
  if (FShown > 0)
    emit dataChanged(index(0), index(static_cast<int>(FShown) - 1));
}

void TFrameLogModel::BeginConnection(int64_t wallUs) {
  FConnections.emplace_back(FLines.size(), wallUs);
  FAwaitingAcceptance.clear(); // a new connection numbers its frames from 0
}

int64_t TFrameLogModel::WallTimeUs(size_t row) const {
  if (row >= FLines.size())
    return 0;
  // The last connection that began at or before the row.
  auto it = std::upper_bound(FConnections.begin(), FConnections.end(), row,
                             [](size_t r, const std::pair<size_t, int64_t> &c) { return r < c.first; });
  const int64_t base = it == FConnections.begin() ? 0 : std::prev(it)->second;
  return base + FLines[row].TimeUs;
}

void TFrameLogModel::ShowNewLines() {
  if (FPaused || FShown == FLines.size())
    return;
  beginInsertRows({}, static_cast<int>(FShown), static_cast<int>(FLines.size()) - 1);
  FShown = FLines.size();
  endInsertRows();
}

void TFrameLogModel::Append(const TLogLine &line) {
  FLines.push_back(line);
  ShowNewLines();
}

void TFrameLogModel::Append(const std::vector<TLogLine> &lines) {
  FLines.insert(FLines.end(), lines.begin(), lines.end());
  ShowNewLines();
}

void TFrameLogModel::SetDatabase(const TDatabase *db) {
  FDatabase = db;
  if (FShown > 0)
    emit dataChanged(index(0), index(static_cast<int>(FShown) - 1));
}

void TFrameLogModel::SetPaused(bool paused) {
  FPaused = paused;
  ShowNewLines();
}

void TFrameLogModel::Clear() {
  beginResetModel();
  FShown = 0;
  FLines.clear();
  FLines.shrink_to_fit();
  FAwaitingAcceptance.clear();
  // Lines added after the clearing still belong to the current connection.
  if (!FConnections.empty())
    FConnections = {{0, FConnections.back().second}};
  endResetModel();
}

QString TTextDrawingDelegate::DrawFrame(QPainter *painter, const QStyleOptionViewItem &option,
                                        const QModelIndex &index, QStyleOptionViewItem &opt) const {
  opt = option;
  initStyleOption(&opt, index);
  const QString text = opt.text;
  opt.text.clear();
  const QWidget *w = opt.widget;
  QStyle *style = w ? w->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);
  return text;
}

void TTabStopDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const {
  QStyleOptionViewItem opt;
  const QString text = DrawFrame(painter, option, index, opt);
  painter->save();
  painter->setFont(opt.font);
  painter->setPen(opt.palette.color((opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
  // A TAB moves on to the next stop strictly after the text before it, so a
  // field that ends exactly on a stop is still followed by a gap.
  const QFontMetricsF fm(opt.font);
  // Three character widths: in the fixed-pitch font every character has
  // the width of the digit 0.
  const qreal stop = 3 * fm.horizontalAdvance(QLatin1Char('0'));
  QRectF r = QRectF(opt.rect).adjusted(2, 0, -2, 0);
  // The time column: right-aligned in twelve character widths, then the
  // frame line from the next stop on, drawn as without the column.
  const QVariant time = index.data(TFrameLogModel::TimeRole);
  if (time.isValid()) {
    const qreal width = 12 * fm.horizontalAdvance(QLatin1Char('0'));
    painter->drawText(QRectF(r.left(), r.top(), width, r.height()), Qt::AlignRight | Qt::AlignVCenter, time.toString());
    r.setLeft(r.left() + width + stop);
  }
  qreal x = 0;
  qsizetype start = 0;
  for (;;) {
    const qsizetype tab = text.indexOf('\t', start);
    const QString field = text.mid(start, tab < 0 ? -1 : tab - start);
    painter->drawText(QRectF(r.left() + x, r.top(), r.width() - x, r.height()), Qt::AlignLeft | Qt::AlignVCenter, field);
    if (tab < 0)
      break;
    x += fm.horizontalAdvance(field);
    x = (std::floor(x / stop + 1e-6) + 1) * stop;
    start = tab + 1;
  }
  painter->restore();
}

QSize TTabStopDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const {
  return {option.rect.width() > 0 ? option.rect.width() : 200, option.fontMetrics.height() + 2};
}

void SetUpFrameListView(QAbstractItemView *view) {
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setPixelSize(16);
  view->setFont(f);
  if (auto *list = qobject_cast<QListView *>(view))
    list->setUniformItemSizes(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setItemDelegate(new TTabStopDelegate(view));
}
