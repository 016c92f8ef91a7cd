// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The values of the plotted signals over time: one curve per signal, fed
// with every frame of its message, and the reduction of a curve to what a
// plot of a given width can show (the smallest and largest value of each
// pixel column), so that drawing costs the same for a minute as for hours.
// No window code: the plot window draws what this holds.

#include "can/Dbc.h"
#include "can/LogLine.h"

#include <cstdint>
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

struct TPlotPoint {
  int64_t TimeUs;
  double Value;
};

// A curve's points in time order, with the smallest and largest of each
// block of BlockSize points at hand, so that the extremes of a long run of
// points cost a look at each block, not at each point.
class TPointStore {
public:
  static constexpr size_t BlockSize = 32;
  // In its place by time (at the end, as frames come, costs nothing more).
  void Add(TPlotPoint p);
  void DropFront();
  void Clear();
  size_t Size() const { return FPoints.size(); }
  bool Empty() const { return FPoints.empty(); }
  const TPlotPoint &operator[](size_t i) const { return FPoints[i]; }
  const TPlotPoint &Front() const { return FPoints.front(); }
  const TPlotPoint &Back() const { return FPoints.back(); }
  // The first point at or after t (Size() when none).
  size_t LowerBound(int64_t t) const;
  // The points with the smallest and the largest value among [first, last).
  void Extremes(size_t first, size_t last, size_t &lo, size_t &hi) const;

private:
  struct TBlock {
    size_t Lo, Hi; // absolute indices
  };
  void RebuildFrom(size_t absolute);
  const TPlotPoint &Absolute(size_t a) const { return FPoints[a - FDropped]; }
  std::deque<TPlotPoint> FPoints;
  std::deque<TBlock> FBlocks; // block k covers absolute [(FFirstBlock + k) * BlockSize, ...)
  size_t FDropped = 0;        // points dropped from the front over the store's life
  size_t FFirstBlock = 0;
};

struct TCurve {
  // A copy: a curve keeps its meaning when another database is loaded.
  TDbcMessage Message;
  size_t Signal = 0;
  TPointStore Points;
  const TSignal &Sig() const { return Message.Signals[Signal]; }
  // "Message.Signal".
  std::string Title() const;
};

class TPlotData {
public:
  // An hour of a signal sent every millisecond; beyond it the oldest go.
  static constexpr size_t MaxPoints = 3600000;

  // The curve of the message's signal, or -1.
  int Find(uint32_t id, bool extended, const std::string &signal) const;
  // Starts plotting the signal (its curve's index; the existing one when it
  // has one).
  int Add(const TDbcMessage &message, size_t signal);
  void Remove(int curve);
  // Drops the values, keeps the curves.
  void ClearPoints();
  // The plot's clock runs on over connections: its zero is the first
  // connection's start, and a line's stamp (microseconds since its own
  // connection's start) counts from this connection's (wall-clock
  // microseconds since the Unix epoch).
  void BeginConnection(int64_t wallUs);
  // The frame's values for each curve of its message, when the frame holds
  // the signal; true when any was taken.
  bool Take(const TLogLine &line);
  // The frame's value for one curve, at the time given on the plot's clock
  // (for frames of earlier connections).
  bool TakeFor(int curve, const TLogLine &line, int64_t plotUs);
  // A wall-clock time on the plot's clock.
  int64_t PlotTime(int64_t wallUs) const { return FOriginWallUs < 0 ? 0 : wallUs - FOriginWallUs; }

  const std::vector<TCurve> &Curves() const { return FCurves; }
  // The first and last time stamps over all curves; false when none has a
  // point.
  bool Span(int64_t &firstUs, int64_t &lastUs) const;

private:
  bool TakeInto(TCurve &c, const TCanMessage &msg, int64_t plotUs);
  std::vector<TCurve> FCurves;
  int64_t FOriginWallUs = -1;
  int64_t FOffsetUs = 0; // this connection's start on the plot's clock
};

// The points of a curve between fromUs and toUs, at most the smallest and
// the largest value of each of the columns in time order, and the nearest
// point beyond either end so that the line runs on to the edges.
void Decimate(const TPointStore &points, int64_t fromUs, int64_t toUs, int columns,
              std::vector<TPlotPoint> &out);
