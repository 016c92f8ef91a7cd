// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The overview: one row per identifier, identifier kind and direction, with
// its last data, its count, its period and jitter and the time since it was
// last seen. Frames update their row's record as they come (a hash look-up
// and a few stores); the view hears of it only at Refresh, a few times a
// second, so a saturated bus costs the window little. With a database, a
// row the database describes carries its message name and unfolds into
// the message's signals (name, and value with unit or value text).

class TDatabase;
class TPlotData;

#include "can/LogLine.h"

#include "LineModels.h"

#include <QAbstractItemModel>

#include <array>
#include <unordered_map>
#include <vector>

class TOverviewModel : public QAbstractItemModel {
  Q_OBJECT
public:
  enum TColumn {
    ColDirection, ColType, ColId, ColLength, ColData, ColCount, ColPeriod, ColJitter, ColLastSeen, ColName,
    ColumnCount
  };
  // The value a column sorts by (numbers sort as numbers).
  static constexpr int SortRole = Qt::UserRole + 1;
  // For the data column: the bytes that changed within the last second, one
  // bit per byte.
  static constexpr int ChangedBytesRole = Qt::UserRole + 2;
  // How long a changed byte stays lit.
  static constexpr int64_t ChangeShownUs = 1000000;
  // Intervals the period and the jitter are taken over.
  static constexpr int Intervals = 16;

  using QAbstractItemModel::QAbstractItemModel;
  QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
  QModelIndex parent(const QModelIndex &child) const override;
  int rowCount(const QModelIndex &parent = {}) const override;
  int columnCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;
  // A signal row's tick (its first column) plots the signal.
  bool setData(const QModelIndex &index, const QVariant &value, int role) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // A frame at its stamp (microseconds on the log's clock).
  void Add(const TLogLine &line);
  // Shows what was added since the last refresh, as at nowUs.
  void Refresh(int64_t nowUs);
  void Clear();
  // The row's cells as shown, separated by TABs.
  QString RowText(int row) const;
  // Names and signals by this database (none: bytes only). The model does
  // not own it; it must outlive the model or be replaced first.
  void SetDatabase(const TDatabase *db);
  // Which signals are plotted, for the ticks of the signal rows (none: no
  // ticks). Not owned.
  void SetPlot(const TPlotData *plot);

signals:
  // The user ticked (or cleared) a signal's row: the message's signal by its
  // index in the database.
  void PlotTicked(quint32 id, bool extended, int signal, bool plotted);

private:
  struct TEntry {
    TDirection Direction;
    bool Extended;
    bool Remote;
    uint32_t Id;
    uint8_t Length;
    uint8_t Data[8];
    uint64_t Count = 0;
    std::array<int64_t, Intervals + 1> Stamps{}; // the newest stamps, a ring
    std::array<int64_t, 8> ChangedUs{};          // when each byte last changed
  };
  QString Cell(const TEntry &e, int column) const;
  QString SignalCell(const TEntry &e, int signal, int column) const;
  int SignalCount(const TEntry &e) const;
  QVariant SortValue(const TEntry &e, int column) const;
  int StampCount(const TEntry &e) const { return static_cast<int>(std::min<uint64_t>(e.Count, Intervals + 1)); }
  int64_t Stamp(const TEntry &e, int back) const; // 0: the newest

  std::vector<TEntry> FEntries;
  std::unordered_map<uint64_t, size_t> FIndex;
  size_t FShownRows = 0;
  int64_t FNowUs = 0;
  const TDatabase *FDatabase = nullptr;
  const TPlotData *FPlot = nullptr;
};

// Draws the data column with each recently changed byte lit.
class TOverviewDataDelegate : public TTextDrawingDelegate {
public:
  using TTextDrawingDelegate::TTextDrawingDelegate;
  void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
