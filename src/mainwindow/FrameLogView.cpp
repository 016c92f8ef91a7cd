// SPDX-License-Identifier: GPL-3.0-or-later
#include "FrameLogView.h"

#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>

#include <algorithm>

TFrameLogView::TFrameLogView(QWidget *parent) : QAbstractItemView(parent) {
  setVerticalScrollMode(ScrollPerItem);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

int TFrameLogView::Rows() const { return model() ? model()->rowCount(rootIndex()) : 0; }

int TFrameLogView::FirstRow() const { return verticalScrollBar()->value(); }

int TFrameLogView::RowHeight() const {
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const QModelIndex first = model() ? model()->index(0, 0, rootIndex()) : QModelIndex();
  return std::max(1, itemDelegate()->sizeHint(option, first).height());
}

int TFrameLogView::PageRows() const { return std::max(1, viewport()->height() / RowHeight()); }

int TFrameLogView::verticalOffset() const { return FirstRow() * RowHeight(); }

QRect TFrameLogView::visualRect(const QModelIndex &index) const {
  if (!index.isValid() || index.parent() != rootIndex())
    return {};
  const int h = RowHeight();
  return {0, (index.row() - FirstRow()) * h, viewport()->width(), h};
}

QModelIndex TFrameLogView::indexAt(const QPoint &point) const {
  if (point.y() < 0 || !model())
    return {};
  const int row = FirstRow() + point.y() / RowHeight();
  return row < Rows() ? model()->index(row, 0, rootIndex()) : QModelIndex();
}

void TFrameLogView::scrollTo(const QModelIndex &index, ScrollHint hint) {
  if (!index.isValid())
    return;
  const int row = index.row(), page = PageRows();
  QScrollBar *bar = verticalScrollBar();
  switch (hint) {
  case PositionAtTop:
    bar->setValue(row);
    break;
  case PositionAtBottom:
    bar->setValue(row - page + 1);
    break;
  case PositionAtCenter:
    bar->setValue(row - page / 2);
    break;
  default:
    if (row < bar->value())
      bar->setValue(row);
    else if (row >= bar->value() + page)
      bar->setValue(row - page + 1);
    break;
  }
}

QModelIndex TFrameLogView::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
  const int rows = Rows();
  if (rows == 0)
    return {};
  const QModelIndex current = currentIndex();
  int row = current.isValid() ? current.row() : 0;
  switch (action) {
  case MoveUp:
  case MovePrevious:
    row = current.isValid() ? row - 1 : 0;
    break;
  case MoveDown:
  case MoveNext:
    row = current.isValid() ? row + 1 : 0;
    break;
  case MovePageUp:
    row -= PageRows();
    break;
  case MovePageDown:
    row += PageRows();
    break;
  case MoveHome:
    row = 0;
    break;
  case MoveEnd:
    row = rows - 1;
    break;
  default:
    break;
  }
  return model()->index(std::clamp(row, 0, rows - 1), 0, rootIndex());
}

void TFrameLogView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) {
  if (!model() || Rows() == 0)
    return;
  const QRect r = rect.normalized();
  const int h = RowHeight();
  const int top = std::clamp(FirstRow() + r.top() / h, 0, Rows() - 1);
  const int bottom = std::clamp(FirstRow() + r.bottom() / h, 0, Rows() - 1);
  selectionModel()->select(QItemSelection(model()->index(top, 0, rootIndex()), model()->index(bottom, 0, rootIndex())),
                           command);
}

QRegion TFrameLogView::visualRegionForSelection(const QItemSelection &selection) const {
  QRegion region;
  const int first = FirstRow(), last = first + PageRows();
  for (const QItemSelectionRange &range : selection) {
    const int top = std::max(range.top(), first), bottom = std::min(range.bottom(), last);
    if (top <= bottom)
      region += visualRect(model()->index(top, 0, rootIndex())) | visualRect(model()->index(bottom, 0, rootIndex()));
  }
  return region;
}

void TFrameLogView::paintEvent(QPaintEvent *event) {
  if (!model())
    return;
  QPainter painter(viewport());
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const int h = RowHeight();
  const QModelIndex current = currentIndex();
  const int first = FirstRow() + event->rect().top() / h;
  const int last = std::min(Rows() - 1, FirstRow() + event->rect().bottom() / h);
  for (int row = first; row <= last; ++row) {
    const QModelIndex index = model()->index(row, 0, rootIndex());
    QStyleOptionViewItem o = option;
    o.rect = visualRect(index);
    if (selectionModel() && selectionModel()->isSelected(index))
      o.state |= QStyle::State_Selected;
    if (index == current && hasFocus())
      o.state |= QStyle::State_HasFocus;
    if (!isEnabled())
      o.state &= ~QStyle::State_Enabled;
    itemDelegate()->paint(&painter, o, index);
  }
}

void TFrameLogView::updateGeometries() {
  QScrollBar *bar = verticalScrollBar();
  const int page = PageRows();
  bar->setRange(0, std::max(0, Rows() - page));
  bar->setPageStep(page);
  bar->setSingleStep(1);
  QAbstractItemView::updateGeometries();
}

void TFrameLogView::rowsInserted(const QModelIndex &parent, int start, int end) {
  QAbstractItemView::rowsInserted(parent, start, end);
  updateGeometries();
  viewport()->update();
}

void TFrameLogView::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) {
  QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
  viewport()->update();
}

void TFrameLogView::scrollContentsBy(int, int) { viewport()->update(); }

void TFrameLogView::resizeEvent(QResizeEvent *event) {
  QAbstractItemView::resizeEvent(event);
  updateGeometries();
}
