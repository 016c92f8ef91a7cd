// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlotData.h"

#include "can/Frame.h"

#include <algorithm>
#include <cmath>

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
    c.Points.clear();
}

bool TPlotData::Take(const TLogLine &line) {
  if (FCurves.empty())
    return false;
  const TCanMessage msg = line.Message();
  if (IsRemote(msg))
    return false;
  const uint32_t id = MaskedId(msg);
  const bool extended = IsExtended(msg);
  const int length = PayloadLength(msg);
  bool taken = false;
  for (TCurve &c : FCurves) {
    if (c.Message.Id != id || c.Message.Extended != extended)
      continue;
    const TSignal &s = c.Sig();
    uint64_t raw;
    if (!SignalPresent(c.Message, s, msg.Data, length) || !RawBits(s, msg.Data, length, raw))
      continue;
    // Frames come in time order per direction; a stamp older than the last
    // (the other direction's clock running behind) is put in its place.
    const TPlotPoint p{line.TimeUs, Physical(s, raw)};
    if (!std::isfinite(p.Value)) // a float signal's NaN has no place on an axis
      continue;
    if (c.Points.empty() || c.Points.back().TimeUs <= p.TimeUs)
      c.Points.push_back(p);
    else
      c.Points.insert(std::upper_bound(c.Points.begin(), c.Points.end(), p.TimeUs,
                                       [](int64_t t, const TPlotPoint &q) { return t < q.TimeUs; }),
                      p);
    if (c.Points.size() > MaxPoints)
      c.Points.pop_front();
    taken = true;
  }
  return taken;
}

bool TPlotData::Span(int64_t &firstUs, int64_t &lastUs) const {
  bool any = false;
  for (const TCurve &c : FCurves) {
    if (c.Points.empty())
      continue;
    firstUs = any ? std::min(firstUs, c.Points.front().TimeUs) : c.Points.front().TimeUs;
    lastUs = any ? std::max(lastUs, c.Points.back().TimeUs) : c.Points.back().TimeUs;
    any = true;
  }
  return any;
}

void Decimate(const std::deque<TPlotPoint> &points, int64_t fromUs, int64_t toUs, int columns,
              std::vector<TPlotPoint> &out) {
  out.clear();
  if (points.empty() || toUs <= fromUs || columns <= 0)
    return;
  const auto before = [](const TPlotPoint &p, int64_t t) { return p.TimeUs < t; };
  auto it = std::lower_bound(points.begin(), points.end(), fromUs, before);
  const auto end = std::upper_bound(points.begin(), points.end(), toUs,
                                    [](int64_t t, const TPlotPoint &p) { return t < p.TimeUs; });
  if (it != points.begin())
    out.push_back(*(it - 1));
  const double perColumn = static_cast<double>(toUs - fromUs) / columns;
  while (it != end) {
    // One column: its points' smallest and largest, in the order they came.
    const int column = std::min(columns - 1, static_cast<int>(static_cast<double>(it->TimeUs - fromUs) / perColumn));
    const int64_t columnEnd = fromUs + static_cast<int64_t>(perColumn * (column + 1));
    auto lo = it, hi = it;
    for (++it; it != end && (it->TimeUs < columnEnd || column == columns - 1); ++it) {
      if (it->Value < lo->Value)
        lo = it;
      if (it->Value > hi->Value)
        hi = it;
    }
    if (lo == hi) {
      out.push_back(*lo);
    } else {
      out.push_back(lo->TimeUs <= hi->TimeUs ? *lo : *hi);
      out.push_back(lo->TimeUs <= hi->TimeUs ? *hi : *lo);
    }
  }
  if (end != points.end())
    out.push_back(*end);
}
