// SPDX-License-Identifier: GPL-3.0-or-later
// The plotted values: taken from frames as their signals are present, and
// reduced to each pixel column's smallest and largest value.

#include "mainwindow/PlotData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

std::deque<TPlotPoint> Wave(int n, int64_t stepUs) {
  std::deque<TPlotPoint> points;
  for (int i = 0; i < n; ++i)
    points.push_back({i * stepUs, std::sin(i * 0.37) * 100 + (i == 500 ? 1000 : 0)});
  return points;
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
  // Every column's smallest and largest value, worked out here from the points.
  const double width = double(to - from) / columns;
  for (int c = 0; c < columns; ++c) {
    double lo = INFINITY, hi = -INFINITY;
    for (const TPlotPoint &p : points)
      if (p.TimeUs >= from && p.TimeUs <= to && std::min(columns - 1, int((p.TimeUs - from) / width)) == c) {
        lo = std::min(lo, p.Value);
        hi = std::max(hi, p.Value);
      }
    auto has = [&](double v) { return std::any_of(out.begin(), out.end(), [&](auto &p) { return p.Value == v; }); };
    EXPECT_TRUE(has(lo) && has(hi)) << "column " << c;
  }
  // The spike at point 500 (5,000 us) survives the reduction.
  EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](auto &p) { return p.TimeUs == 5000; }));

  // A span with no point in it: only the neighbours; none at all outside the data.
  Decimate(points, 5001, 5009, columns, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].TimeUs, 5000);
  EXPECT_EQ(out[1].TimeUs, 5010);
  Decimate(points, 30000, 40000, columns, out);
  ASSERT_EQ(out.size(), 1u);
  Decimate({}, 0, 100, columns, out);
  EXPECT_TRUE(out.empty());
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
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0].Value, 60);
  EXPECT_EQ(points[1].TimeUs, 25);
  EXPECT_EQ(points[1].Value, 80);
  EXPECT_EQ(points[2].Value, 100);
  int64_t first, last;
  ASSERT_TRUE(plot.Span(first, last));
  EXPECT_EQ(first, 10);
  EXPECT_EQ(last, 40);
  plot.ClearPoints();
  EXPECT_FALSE(plot.Span(first, last));
  EXPECT_EQ(plot.Curves().size(), 1u);
  plot.Remove(0);
  EXPECT_FALSE(plot.Take(frame(0, 100, 50)));
}

} // namespace
