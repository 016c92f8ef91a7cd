// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The frame log's view: rows of one height, the full width of the view, laid
// out by arithmetic. It keeps nothing per row (a list view keeps a layout
// position for each), so a log of millions of lines costs the view nothing
// but the rows it draws; it scrolls by whole rows.

#include <QAbstractItemView>

class TFrameLogView : public QAbstractItemView {
  Q_OBJECT
public:
  explicit TFrameLogView(QWidget *parent = nullptr);

  QRect visualRect(const QModelIndex &index) const override;
  void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint &point) const override;
  int RowHeight() const;

protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override { return 0; }
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex &) const override { return false; }
  void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection &selection) const override;
  void paintEvent(QPaintEvent *event) override;
  void updateGeometries() override;
  void rowsInserted(const QModelIndex &parent, int start, int end) override;
  void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
  void scrollContentsBy(int dx, int dy) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  int Rows() const;
  int FirstRow() const;
  // Whole rows the viewport shows.
  int PageRows() const;
};
