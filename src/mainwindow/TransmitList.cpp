// SPDX-License-Identifier: GPL-3.0-or-later
// The transmit list's entries and their lines; see TransmitList.h.

#include "TransmitList.h"

#include "can/Dbc.h"
#include "can/Frame.h"
#include "can/FrameText.h"

#include <algorithm>

int TTransmitList::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FEntries.size());
}

QVariant TTransmitList::data(const QModelIndex &index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= static_cast<int>(FEntries.size()))
    return {};
  const TTransmitEntry &e = FEntries[index.row()];
  if (FDatabase)
    if (const TDbcMessage *m = FDatabase->Find(MaskedId(e.Frame), IsExtended(e.Frame)))
      return e.Line + '\t' + QString::fromStdString(m->Name);
  return e.Line;
}

void TTransmitList::SetDatabase(const TDatabase *db) {
  FDatabase = db;
  if (!FEntries.empty())
    emit dataChanged(index(0), index(static_cast<int>(FEntries.size()) - 1));
}

void TTransmitList::Append(TTransmitEntry entry) {
  const int row = static_cast<int>(FEntries.size());
  beginInsertRows({}, row, row);
  FEntries.push_back(std::move(entry));
  endInsertRows();
}

void TTransmitList::Changed(size_t i) {
  if (i >= FEntries.size())
    return;
  FEntries[i].Line = MessageToLine(QString(), FEntries[i].Frame);
  emit dataChanged(index(static_cast<int>(i)), index(static_cast<int>(i)));
}

void TTransmitList::Remove(size_t i) {
  if (i >= FEntries.size())
    return;
  beginRemoveRows({}, static_cast<int>(i), static_cast<int>(i));
  FEntries.erase(FEntries.begin() + static_cast<std::ptrdiff_t>(i));
  endRemoveRows();
}

void TTransmitList::SetAll(std::vector<TTransmitEntry> entries) {
  beginResetModel();
  FEntries = std::move(entries);
  endResetModel();
}

QStringList TTransmitList::Lines() const {
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(FEntries.size()));
  for (const TTransmitEntry &e : FEntries)
    lines.append(e.Line);
  return lines;
}

std::vector<int> TTransmitList::Cycles() const {
  std::vector<int> cycles;
  cycles.reserve(FEntries.size());
  for (const TTransmitEntry &e : FEntries)
    cycles.push_back(e.CycleMs);
  return cycles;
}

bool TTransmitList::AnyCyclic() const {
  return std::any_of(FEntries.begin(), FEntries.end(), [](const TTransmitEntry &e) { return e.CycleMs > 0; });
}
