// SPDX-License-Identifier: GPL-3.0-or-later
#include "Overview.h"

#include "PlotData.h"
#include "can/Dbc.h"
#include "can/Frame.h"

#include <QPainter>

#include <algorithm>

namespace {
uint64_t Key(const TLogLine &l, bool extended, uint32_t id) {
  return (static_cast<uint64_t>(l.Direction == TDirection::Tx) << 33) | (static_cast<uint64_t>(extended) << 32) | id;
}
QString Milliseconds(int64_t us) { return QString::number(us / 1000.0, 'f', 1); }
} // namespace

// A message row's internal id is 0; a signal row's is its message's row + 1.
QModelIndex TOverviewModel::index(int row, int column, const QModelIndex &parent) const {
  if (row < 0 || column < 0 || column >= ColumnCount)
    return {};
  if (!parent.isValid())
    return row < static_cast<int>(FShownRows) ? createIndex(row, column, quintptr(0)) : QModelIndex();
  if (parent.internalId() != 0 || row >= SignalCount(FEntries[static_cast<size_t>(parent.row())]))
    return {};
  return createIndex(row, column, quintptr(parent.row() + 1));
}

QModelIndex TOverviewModel::parent(const QModelIndex &child) const {
  if (!child.isValid() || child.internalId() == 0)
    return {};
  return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr(0));
}

int TOverviewModel::rowCount(const QModelIndex &parent) const {
  if (!parent.isValid())
    return static_cast<int>(FShownRows);
  if (parent.internalId() != 0 || parent.column() != 0)
    return 0;
  return SignalCount(FEntries[static_cast<size_t>(parent.row())]);
}

int TOverviewModel::columnCount(const QModelIndex &) const { return ColumnCount; }

int TOverviewModel::SignalCount(const TEntry &e) const {
  const TDbcMessage *m = FDatabase ? FDatabase->Find(e.Id, e.Extended) : nullptr;
  return m ? static_cast<int>(m->Signals.size()) : 0;
}

void TOverviewModel::SetDatabase(const TDatabase *db) {
  beginResetModel();
  FDatabase = db;
  endResetModel();
}

// A signal's row: its name in the name column, its value in the data column
// (empty while its multiplexer selects another).
QString TOverviewModel::SignalCell(const TEntry &e, int signal, int column) const {
  const TDbcMessage *m = FDatabase ? FDatabase->Find(e.Id, e.Extended) : nullptr;
  if (!m || signal >= static_cast<int>(m->Signals.size()))
    return QString();
  const TSignal &s = m->Signals[static_cast<size_t>(signal)];
  // The name in the identifier's column too, where it is seen beside its
  // message's row.
  if (column == ColName || column == ColId)
    return QString::fromStdString(s.Name);
  if (column != ColData)
    return QString();
  uint64_t raw;
  if (e.Remote || !SignalPresent(*m, s, e.Data, e.Length) || !RawBits(s, e.Data, e.Length, raw))
    return QString();
  if (const std::string *text = ValueText(s, raw))
    return QString::fromStdString(*text);
  const QString value = QString::number(Physical(s, raw), 'g', 10);
  return s.Unit.empty() ? value : value + ' ' + QString::fromStdString(s.Unit);
}

void TOverviewModel::SetPlot(const TPlotData *plot) {
  FPlot = plot;
}

Qt::ItemFlags TOverviewModel::flags(const QModelIndex &index) const {
  Qt::ItemFlags f = QAbstractItemModel::flags(index);
  if (FPlot && index.isValid() && index.internalId() != 0 && index.column() == 0)
    f |= Qt::ItemIsUserCheckable;
  return f;
}

bool TOverviewModel::setData(const QModelIndex &index, const QVariant &value, int role) {
  if (role != Qt::CheckStateRole || !(flags(index) & Qt::ItemIsUserCheckable))
    return false;
  const TEntry &owner = FEntries[static_cast<size_t>(index.internalId() - 1)];
  emit PlotTicked(owner.Id, owner.Extended, index.row(), value.toInt() == Qt::Checked);
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

QVariant TOverviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char *const names[ColumnCount] = {"Dir",       "Type",      "ID",          "Len",    "Data", "Count",
                                                 "Period ms", "Jitter ms", "Last seen s", "Message"};
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
    return QString(names[section]);
  return QAbstractItemModel::headerData(section, orientation, role);
}

void TOverviewModel::Add(const TLogLine &line) {
  const TCanMessage msg = line.Message();
  const bool extended = IsExtended(msg);
  const uint32_t id = MaskedId(msg);
  auto [it, fresh] = FIndex.try_emplace(Key(line, extended, id), FEntries.size());
  if (fresh) {
    TEntry e{};
    e.Direction = line.Direction;
    e.Extended = extended;
    e.Id = id;
    FEntries.push_back(e);
  }
  TEntry &e = FEntries[it->second];
  const int length = PayloadLength(msg);
  for (int i = 0; i < 8; ++i) {
    const uint8_t now = i < length ? msg.Data[i] : 0;
    if (e.Count > 0 && i < length && now != e.Data[i])
      e.ChangedUs[i] = line.TimeUs;
    e.Data[i] = now;
  }
  e.Remote = IsRemote(msg);
  e.Length = static_cast<uint8_t>(FrameLength(msg));
  // Never before the one seen last: no interval is negative.
  e.Stamps[e.Count % e.Stamps.size()] = e.Count > 0 ? std::max(line.TimeUs, Stamp(e, 0)) : line.TimeUs;
  ++e.Count;
}

int64_t TOverviewModel::Stamp(const TEntry &e, int back) const {
  return e.Stamps[(e.Count - 1 - static_cast<uint64_t>(back)) % e.Stamps.size()];
}

QString TOverviewModel::Cell(const TEntry &e, int column) const {
  const int stamps = StampCount(e);
  switch (column) {
  case ColDirection:
    return e.Direction == TDirection::Rx ? "Rx" : "Tx";
  case ColType:
    return QString(e.Extended ? "Ext" : "Std") + (e.Remote ? " Rtr" : "");
  case ColId:
    return QString("%1").arg(e.Id, e.Extended ? 8 : 3, 16, QChar('0')).toUpper();
  case ColLength:
    return QString::number(e.Length);
  case ColData: {
    if (e.Remote)
      return QString();
    QString text;
    for (int i = 0; i < e.Length; ++i)
      text += QString("%1%2").arg(i ? " " : "").arg(e.Data[i], 2, 16, QChar('0')).toUpper();
    return text;
  }
  case ColCount:
    return QString::number(e.Count);
  case ColPeriod:
    return stamps < 2 ? QString() : Milliseconds((Stamp(e, 0) - Stamp(e, stamps - 1)) / (stamps - 1));
  case ColJitter: {
    if (stamps < 2)
      return QString();
    int64_t lo = INT64_MAX, hi = INT64_MIN;
    for (int i = 0; i + 1 < stamps; ++i) {
      const int64_t interval = Stamp(e, i) - Stamp(e, i + 1);
      lo = std::min(lo, interval);
      hi = std::max(hi, interval);
    }
    return Milliseconds(lo) + " - " + Milliseconds(hi);
  }
  case ColLastSeen:
    return QString::number(std::max<int64_t>(0, FNowUs - Stamp(e, 0)) / 1e6, 'f', 1);
  case ColName: {
    const TDbcMessage *m = FDatabase ? FDatabase->Find(e.Id, e.Extended) : nullptr;
    return m ? QString::fromStdString(m->Name) : QString();
  }
  default:
    return QString();
  }
}

QVariant TOverviewModel::SortValue(const TEntry &e, int column) const {
  const int stamps = StampCount(e);
  switch (column) {
  case ColId:
    return static_cast<qulonglong>(e.Id);
  case ColLength:
    return e.Length;
  case ColCount:
    return static_cast<qulonglong>(e.Count);
  case ColPeriod:
    return stamps < 2 ? 0.0 : double(Stamp(e, 0) - Stamp(e, stamps - 1)) / (stamps - 1);
  case ColLastSeen:
    return static_cast<qlonglong>(FNowUs - Stamp(e, 0));
  default:
    return Cell(e, column);
  }
}

QVariant TOverviewModel::data(const QModelIndex &index, int role) const {
  if (!index.isValid())
    return {};
  if (index.internalId() != 0) {
    const TEntry &owner = FEntries[static_cast<size_t>(index.internalId() - 1)];
    if (role == Qt::DisplayRole)
      return SignalCell(owner, index.row(), index.column());
    if (role == Qt::CheckStateRole && FPlot && index.column() == 0) {
      const TDbcMessage *m = FDatabase ? FDatabase->Find(owner.Id, owner.Extended) : nullptr;
      const bool plotted = m && index.row() < static_cast<int>(m->Signals.size()) &&
                           FPlot->Find(owner.Id, owner.Extended, m->Signals[static_cast<size_t>(index.row())].Name) >= 0;
      return plotted ? Qt::Checked : Qt::Unchecked;
    }
    // A message's signals stay in the database's order.
    if (role == SortRole)
      return index.row();
    return {};
  }
  if (index.row() >= static_cast<int>(FShownRows))
    return {};
  const TEntry &e = FEntries[static_cast<size_t>(index.row())];
  if (role == Qt::DisplayRole)
    return Cell(e, index.column());
  if (role == SortRole)
    return SortValue(e, index.column());
  if (role == ChangedBytesRole && index.column() == ColData) {
    int mask = 0;
    for (int i = 0; i < 8; ++i)
      if (e.ChangedUs[i] != 0 && FNowUs - e.ChangedUs[i] < ChangeShownUs)
        mask |= 1 << i;
    return mask;
  }
  if (role == Qt::TextAlignmentRole && index.column() >= ColCount)
    return int(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

void TOverviewModel::Refresh(int64_t nowUs) {
  FNowUs = nowUs;
  if (FEntries.size() > FShownRows) {
    beginInsertRows({}, static_cast<int>(FShownRows), static_cast<int>(FEntries.size()) - 1);
    FShownRows = FEntries.size();
    endInsertRows();
  }
  if (FShownRows == 0)
    return;
  emit dataChanged(index(0, 0), index(static_cast<int>(FShownRows) - 1, ColumnCount - 1));
  // The signal rows of each message that has them.
  for (size_t r = 0; r < FShownRows; ++r) {
    const int signalRows = SignalCount(FEntries[r]);
    if (signalRows > 0) {
      const QModelIndex parent = index(static_cast<int>(r), 0);
      emit dataChanged(index(0, 0, parent), index(signalRows - 1, ColumnCount - 1, parent));
    }
  }
}

void TOverviewModel::Clear() {
  beginResetModel();
  FEntries.clear();
  FIndex.clear();
  FShownRows = 0;
  endResetModel();
}

QString TOverviewModel::RowText(int row) const {
  if (row < 0 || row >= static_cast<int>(FShownRows))
    return QString();
  QStringList cells;
  for (int c = 0; c < ColumnCount; ++c)
    cells << Cell(FEntries[static_cast<size_t>(row)], c);
  return cells.join('\t');
}

void TOverviewDataDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const {
  // A signal's value is drawn as any text.
  if (index.parent().isValid()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionViewItem opt;
  const QString text = DrawFrame(painter, option, index, opt);
  const int changed = index.data(TOverviewModel::ChangedBytesRole).toInt();
  const QFontMetrics fm(opt.font);
  const int byteWidth = fm.horizontalAdvance("00 ");
  QRect r = opt.rect.adjusted(4, 0, 0, 0);
  painter->save();
  painter->setFont(opt.font);
  const QStringList bytes = text.split(' ', Qt::SkipEmptyParts);
  for (int i = 0; i < bytes.size(); ++i) {
    const QRect cell(r.left() + i * byteWidth, r.top(), fm.horizontalAdvance("00"), r.height());
    if (changed & (1 << i))
      painter->fillRect(cell.adjusted(-1, 1, 1, -1), QColor(255, 200, 80));
    painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(cell, Qt::AlignCenter, bytes[i]);
  }
  painter->restore();
}
