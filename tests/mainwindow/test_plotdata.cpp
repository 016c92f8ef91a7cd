// SPDX-License-Identifier: GPL-3.0-or-later
// The plotted values: taken from frames as their signals are present, and
// reduced to each pixel column's smallest and largest value.

#include "mainwindow/PlotData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

TPointStore Wave(int n, int64_t stepUs) {
  TPointStore points;
  for (int i = 0; i < n; ++i)
    points.Add({i * stepUs, std::sin(i * 0.37) * 100 + (i == 500 ? 1000 : 0)});
  return points;
}

// Every column's smallest and largest value, worked out from the points one
// by one, are among the reduced points.
void ExpectColumnExtremes(const TPointStore &points, int64_t from, int64_t to, int columns,
                          const std::vector<TPlotPoint> &out) {
  const double width = double(to - from) / columns;
  for (int c = 0; c < columns; ++c) {
    double lo = INFINITY, hi = -INFINITY;
    for (size_t i = 0; i < points.Size(); ++i) {
      const TPlotPoint &p = points[i];
      if (p.TimeUs >= from && p.TimeUs <= to && std::min(columns - 1, int((p.TimeUs - from) / width)) == c) {
        lo = std::min(lo, p.Value);
        hi = std::max(hi, p.Value);
      }
    }
    auto has = [&](double v) { return std::any_of(out.begin(), out.end(), [&](auto &p) { return p.Value == v; }); };
    EXPECT_TRUE(lo == INFINITY || (has(lo) && has(hi))) << "column " << c;
  }
}

TEST(PlotData, DecimatedColumnsKeepEachExtremeInTimeOrderAndTheEdges) {
  const auto points = Wave(2000, 10); // 0 .. 19,990 us
  std::vector<TPlotPoint> out;
  const int columns = 40;
  const int64_t from = 1000, to = 15000;
  Decimate(points, from, to, columns, out);
  ASSERT_LE(out.size(), size_t(2 * columns + 2));
  // The neighbours beyond either end, so that the line reaches the edges.
  EXPECT_EQ(out.front().TimeUs, from - 10);
  EXPECT_EQ(out.back().TimeUs, to + 10);
  EXPECT_TRUE(std::is_sorted(out.begin(), out.end(), [](auto &a, auto &b) { return a.TimeUs < b.TimeUs; }));
  ExpectColumnExtremes(points, from, to, columns, out);
  // The spike at point 500 (5,000 us) survives the reduction.
  EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](auto &p) { return p.TimeUs == 5000; }));

  // A span with no point in it: only the neighbours; none at all outside the data.
  Decimate(points, 5001, 5009, columns, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].TimeUs, 5000);
  EXPECT_EQ(out[1].TimeUs, 5010);
  Decimate(points, 30000, 40000, columns, out);
  ASSERT_EQ(out.size(), 1u);
  Decimate(TPointStore(), 0, 100, columns, out);
  EXPECT_TRUE(out.empty());
}

// The blocks that stand for runs of points stay true when points go from the
// front, come out of time order or are cleared.
TEST(PlotData, ExtremesStayTrueAfterDropsLateStampsAndClearing) {
  TPointStore points = Wave(3000, 10);
  for (int i = 0; i < 45; ++i) // the front block's extremes are among these
    points.DropFront();
  for (int64_t t : {29975, 12345, 455, 20001})
    points.Add({t, t == 12345 ? -5000.0 : 7000.0});
  ASSERT_EQ(points.Size(), 3000u - 45 + 4);
  for (size_t i = 1; i < points.Size(); ++i)
    ASSERT_LE(points[i - 1].TimeUs, points[i].TimeUs);
  std::vector<TPlotPoint> out;
  for (int columns : {1, 7, 64, 5000}) {
    Decimate(points, 0, 30000, columns, out);
    ExpectColumnExtremes(points, 0, 30000, columns, out);
  }
  points.Clear();
  points.Add({5, 1});
  points.Add({6, 2});
  Decimate(points, 0, 10, 1, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1].Value, 2);
}

TEST(PlotData, FramesFeedTheirSignalsWhenPresentAndInTimeOrder) {
  const TDatabase db = TDatabase::Parse("BO_ 1000 Temps: 3 X\n"
                                        " SG_ Page M : 0|8@1+ (1,0) [0|1] \"\" X\n"
                                        " SG_ Coolant m0 : 8|8@1+ (1,-40) [-40|215] \"degC\" X\n"
                                        " SG_ Intake m1 : 8|8@1+ (1,-40) [-40|215] \"degC\" X\n");
  ASSERT_TRUE(db.Errors.empty());
  TPlotData plot;
  const TDbcMessage &m = db.Messages[0];
  ASSERT_EQ(plot.Add(m, 1), 0);
  ASSERT_EQ(plot.Add(m, 1), 0); // the same signal once
  EXPECT_EQ(plot.Find(1000, false, "Coolant"), 0);
  EXPECT_EQ(plot.Find(1000, true, "Coolant"), -1);
  auto frame = [](uint8_t page, uint8_t value, int64_t us, uint32_t id = 1000) {
    TCanMessage msg{};
    msg.ID = id;
    msg.DLC = 3;
    msg.Data[0] = page;
    msg.Data[1] = value;
    return TLogLine::From(TDirection::Rx, msg, us);
  };
  EXPECT_TRUE(plot.Take(frame(0, 100, 10)));
  EXPECT_FALSE(plot.Take(frame(1, 100, 20)));         // page 1: not the coolant
  EXPECT_FALSE(plot.Take(frame(0, 100, 30, 1001)));   // another message
  EXPECT_TRUE(plot.Take(frame(0, 140, 40)));
  EXPECT_TRUE(plot.Take(frame(0, 120, 25)));          // an older stamp goes in its place
  const auto &points = plot.Curves()[0].Points;
  ASSERT_EQ(points.Size(), 3u);
  EXPECT_EQ(points[0].Value, 60);
  EXPECT_EQ(points[1].TimeUs, 25);
  EXPECT_EQ(points[1].Value, 80);
  EXPECT_EQ(points[2].Value, 100);
  int64_t first, last;
  ASSERT_TRUE(plot.Span(first, last));
  EXPECT_EQ(first, 10);
  EXPECT_EQ(last, 40);
  // A second connection's stamps start again from 0; the plot's clock runs on.
  plot.BeginConnection(1'000'000);
  plot.BeginConnection(1'000'500);
  EXPECT_TRUE(plot.Take(frame(0, 90, 10)));
  EXPECT_EQ(points[3].TimeUs, 510);
  EXPECT_TRUE(plot.TakeFor(0, frame(0, 90, 0), plot.PlotTime(1'000'045)));
  EXPECT_EQ(points[3].TimeUs, 45);
  plot.ClearPoints();
  EXPECT_FALSE(plot.Span(first, last));
  EXPECT_EQ(plot.Curves().size(), 1u);
  plot.Remove(0);
  EXPECT_FALSE(plot.Take(frame(0, 100, 50)));
}

} // namespace
