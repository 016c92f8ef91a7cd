// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlotData.h"

#include "can/Frame.h"

#include <algorithm>
#include <cmath>

void TPointStore::Add(TPlotPoint p) {
  if (FPoints.empty() || FPoints.back().TimeUs <= p.TimeUs) {
    FPoints.push_back(p);
    const size_t a = FDropped + FPoints.size() - 1;
    if (a / BlockSize == FFirstBlock + FBlocks.size()) {
      FBlocks.push_back({a, a});
    } else {
      TBlock &b = FBlocks.back();
      if (p.Value < Absolute(b.Lo).Value)
        b.Lo = a;
      if (p.Value > Absolute(b.Hi).Value)
        b.Hi = a;
    }
    return;
  }
  const size_t at = static_cast<size_t>(
      std::upper_bound(FPoints.begin(), FPoints.end(), p.TimeUs,
                       [](int64_t t, const TPlotPoint &q) { return t < q.TimeUs; }) -
      FPoints.begin());
  FPoints.insert(FPoints.begin() + static_cast<std::ptrdiff_t>(at), p);
  RebuildFrom(FDropped + at);
}

// The blocks from the one holding the absolute index on, after the points
// there moved.
void TPointStore::RebuildFrom(size_t absolute) {
  const size_t block = absolute / BlockSize;
  FBlocks.resize(block - FFirstBlock);
  for (size_t a = std::max(block * BlockSize, FDropped); a < FDropped + FPoints.size(); ++a) {
    if (a / BlockSize == FFirstBlock + FBlocks.size()) {
      FBlocks.push_back({a, a});
      continue;
    }
    TBlock &b = FBlocks.back();
    if (Absolute(a).Value < Absolute(b.Lo).Value)
      b.Lo = a;
    if (Absolute(a).Value > Absolute(b.Hi).Value)
      b.Hi = a;
  }
}

void TPointStore::DropFront() {
  if (FPoints.empty())
    return;
  FPoints.pop_front();
  ++FDropped;
  // A block partly dropped is never used (its extremes may be gone); it goes
  // when its last point does.
  if (FDropped % BlockSize == 0) {
    FBlocks.pop_front();
    ++FFirstBlock;
  }
}

void TPointStore::Clear() {
  FPoints.clear();
  FBlocks.clear();
  FDropped = 0;
  FFirstBlock = 0;
}

size_t TPointStore::LowerBound(int64_t t) const {
  return static_cast<size_t>(
      std::lower_bound(FPoints.begin(), FPoints.end(), t, [](const TPlotPoint &p, int64_t v) { return p.TimeUs < v; }) -
      FPoints.begin());
}

void TPointStore::Extremes(size_t first, size_t last, size_t &lo, size_t &hi) const {
  lo = hi = first;
  for (size_t i = first; i < last;) {
    const size_t a = FDropped + i;
    if (a % BlockSize == 0 && i + BlockSize <= last) {
      const TBlock &b = FBlocks[a / BlockSize - FFirstBlock];
      if (Absolute(b.Lo).Value < FPoints[lo].Value)
        lo = b.Lo - FDropped;
      if (Absolute(b.Hi).Value > FPoints[hi].Value)
        hi = b.Hi - FDropped;
      i += BlockSize;
      continue;
    }
    if (FPoints[i].Value < FPoints[lo].Value)
      lo = i;
    if (FPoints[i].Value > FPoints[hi].Value)
      hi = i;
    ++i;
  }
}

std::string TCurve::Title() const { return Message.Name + '.' + Sig().Name; }

int TPlotData::Find(uint32_t id, bool extended, const std::string &signal) const {
  for (size_t i = 0; i < FCurves.size(); ++i) {
    const TCurve &c = FCurves[i];
    if (c.Message.Id == id && c.Message.Extended == extended && c.Sig().Name == signal)
      return static_cast<int>(i);
  }
  return -1;
}

int TPlotData::Add(const TDbcMessage &message, size_t signal) {
  if (signal >= message.Signals.size())
    return -1;
  const int found = Find(message.Id, message.Extended, message.Signals[signal].Name);
  if (found >= 0)
    return found;
  TCurve c;
  c.Message = message;
  c.Signal = signal;
  FCurves.push_back(std::move(c));
  return static_cast<int>(FCurves.size()) - 1;
}

void TPlotData::Remove(int curve) {
  if (curve >= 0 && curve < static_cast<int>(FCurves.size()))
    FCurves.erase(FCurves.begin() + curve);
}

void TPlotData::ClearPoints() {
  for (TCurve &c : FCurves)
    c.Points.Clear();
}

void TPlotData::BeginConnection(int64_t wallUs) {
  if (FOriginWallUs < 0)
    FOriginWallUs = wallUs;
  FOffsetUs = wallUs - FOriginWallUs;
}

bool TPlotData::Take(const TLogLine &line) {
  if (FCurves.empty())
    return false;
  const TCanMessage msg = line.Message();
  bool taken = false;
  for (TCurve &c : FCurves)
    taken |= TakeInto(c, msg, line.TimeUs + FOffsetUs);
  return taken;
}

bool TPlotData::TakeFor(int curve, const TLogLine &line, int64_t plotUs) {
  return curve >= 0 && curve < static_cast<int>(FCurves.size()) &&
         TakeInto(FCurves[static_cast<size_t>(curve)], line.Message(), plotUs);
}

bool TPlotData::TakeInto(TCurve &c, const TCanMessage &msg, int64_t plotUs) {
  if (IsRemote(msg) || c.Message.Id != MaskedId(msg) || c.Message.Extended != IsExtended(msg))
    return false;
  const int length = PayloadLength(msg);
  const TSignal &s = c.Sig();
  uint64_t raw;
  if (!SignalPresent(c.Message, s, msg.Data, length) || !RawBits(s, msg.Data, length, raw))
    return false;
  const TPlotPoint p{plotUs, Physical(s, raw)};
  if (!std::isfinite(p.Value)) // a float signal's NaN has no place on an axis
    return false;
  // Frames come in time order per direction; a point older than the last
  // (the other direction's clock running behind) goes in its place.
  c.Points.Add(p);
  if (c.Points.Size() > MaxPoints)
    c.Points.DropFront();
  return true;
}

bool TPlotData::Span(int64_t &firstUs, int64_t &lastUs) const {
  bool any = false;
  for (const TCurve &c : FCurves) {
    if (c.Points.Empty())
      continue;
    firstUs = any ? std::min(firstUs, c.Points.Front().TimeUs) : c.Points.Front().TimeUs;
    lastUs = any ? std::max(lastUs, c.Points.Back().TimeUs) : c.Points.Back().TimeUs;
    any = true;
  }
  return any;
}

void Decimate(const TPointStore &points, int64_t fromUs, int64_t toUs, int columns, std::vector<TPlotPoint> &out) {
  out.clear();
  if (points.Empty() || toUs <= fromUs || columns <= 0)
    return;
  size_t i = points.LowerBound(fromUs);
  const size_t end = toUs == INT64_MAX ? points.Size() : points.LowerBound(toUs + 1);
  if (i > 0)
    out.push_back(points[i - 1]);
  const double perColumn = static_cast<double>(toUs - fromUs) / columns;
  while (i < end) {
    // One column: its points' smallest and largest, in the order they came.
    const int column =
        std::min(columns - 1, static_cast<int>(static_cast<double>(points[i].TimeUs - fromUs) / perColumn));
    const size_t next = column == columns - 1
                            ? end
                            : std::min(end, std::max(i + 1, points.LowerBound(fromUs + static_cast<int64_t>(
                                                                                          perColumn * (column + 1)))));
    size_t lo, hi;
    points.Extremes(i, next, lo, hi);
    out.push_back(points[std::min(lo, hi)]);
    if (lo != hi)
      out.push_back(points[std::max(lo, hi)]);
    i = next;
  }
  if (end < points.Size())
    out.push_back(points[end]);
}
