#pragma once
// Models and the drawing of the two frame lists. The frame log keeps a
// compact record per line and formats its text only when the view asks, so
// millions of lines stay cheap; the transmit list keeps its line texts, which
// are also what set-up files store.

#include "adapter/Vni_if.h"

#include <QAbstractListModel>
#include <QStringList>
#include <QStyledItemDelegate>

#include <vector>

enum class TDirection : uint8_t { Rx, Tx };

// One frame log line: the frame's shown fields and its direction.
struct TLogLine {
  uint32_t ID;
  uint8_t IDType;
  uint8_t RTR;
  uint8_t DLC;
  TDirection Direction;
  uint8_t Data[8];

  static TLogLine From(TDirection dir, const TCanMessage &msg);
  TCanMessage Message() const;
};
static_assert(sizeof(TLogLine) == 16);

class TFrameLogModel : public QAbstractListModel {
  Q_OBJECT
public:
  using QAbstractListModel::QAbstractListModel;
  int rowCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;

  void Append(const TLogLine &line);
  void Append(const std::vector<TLogLine> &lines);
  void Clear();
  QString Line(int row) const;
  size_t Count() const { return FLines.size(); }

private:
  std::vector<TLogLine> FLines;
};

class TTextListModel : public QAbstractListModel {
  Q_OBJECT
public:
  using QAbstractListModel::QAbstractListModel;
  int rowCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;

  void Append(const QString &line);
  void Replace(int row, const QString &line);
  void Remove(int row);
  void SetLines(QStringList lines);
  const QStringList &Lines() const { return FLines; }

private:
  QStringList FLines;
};

// Draws tab-separated lines with a tab stop every three average character
// widths, so that the fields of frame lines form columns.
class TTabStopDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
  QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

class QListView;
// A list view set up as a frame list: fixed-pitch 16-pixel font, tab stops,
// uniform rows, single selection.
void SetUpFrameListView(QListView *view);
