// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The transmit list: one entry per frame the user keeps ready for sending,
// with the line it is shown and stored as and its cycle. The list view shows
// the lines; set-up files store them.

#include "adapter/Vni_if.h"

#include <QAbstractListModel>
#include <QStringList>

#include <vector>

class TDatabase;

struct TTransmitEntry {
  TCanMessage Frame{};
  QString Line;     // as the list shows it and set-up files store it
  int CycleMs = 0;  // 0: not sent cyclically
  qint64 DueMs = 0; // when its cycle sends it next, on the cycle clock
};

class TTransmitList : public QAbstractListModel {
public:
  using QAbstractListModel::QAbstractListModel;
  int rowCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;

  size_t Size() const { return FEntries.size(); }
  bool Empty() const { return FEntries.empty(); }
  const TTransmitEntry &At(size_t i) const { return FEntries[i]; }
  TTransmitEntry &At(size_t i) { return FEntries[i]; }
  const std::vector<TTransmitEntry> &Entries() const { return FEntries; }

  void Append(TTransmitEntry entry);
  // The entry's frame and cycle changed: its line follows the frame.
  void Changed(size_t i);
  void Remove(size_t i);
  void SetAll(std::vector<TTransmitEntry> entries);

  // Message names beside the lines, by this database (none: lines only);
  // the stored lines stay as they are.
  void SetDatabase(const TDatabase *db);

  QStringList Lines() const;
  std::vector<int> Cycles() const;
  bool AnyCyclic() const;

private:
  std::vector<TTransmitEntry> FEntries;
  const TDatabase *FDatabase = nullptr;
};
