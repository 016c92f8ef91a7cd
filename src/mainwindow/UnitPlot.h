// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plot window: the ticked signals over time, each on an axis of its own
// in its colour, following the newest values (ten redraws a second at most)
// until paused, zoomed or panned. Each redraw draws the smallest and largest
// value per pixel column of what is in view, never every point.

#include "PlotData.h"

#include <QWidget>

#include <vector>

class QChart;
class QChartView;
class QFileDialog;
class QLabel;
class QLineSeries;
class QPushButton;
class QTimer;
class QValueAxis;

class TFormPlot : public QWidget {
  Q_OBJECT
public:
  TFormPlot(TPlotData &data, QWidget *parent);

  // The data's curves were added or removed: series and axes follow.
  void CurvesChanged();
  // New values came: the next tick draws them while following.
  void PointsAdded() { FDirty = true; }
  // Draws what is in view now.
  void Redraw();
  // Shows the last span of time as it comes (false: the view stays).
  void SetFollowing(bool following);
  bool Following() const { return FFollowing; }
  // The span in view, microseconds on the log's clock.
  int64_t ViewFromUs() const { return FFromUs; }
  int64_t ViewToUs() const { return FToUs; }
  // The chart as a PNG image; the data as CSV, one row per time stamp and a
  // column per curve. False, with the reason, when the file cannot be written.
  bool SaveImage(const QString &path, QString &error);
  bool SaveData(const QString &path, QString &error) const;

  QChartView *ChartViewPlot;
  QPushButton *BitBtnPlotPause;
  QPushButton *BitBtnPlotFit;
  QPushButton *BitBtnPlotClear;
  QPushButton *BitBtnPlotImage;
  QPushButton *BitBtnPlotData;
  QLabel *LabelPlotHint;
  QFileDialog *PlotImageDialog1;
  QFileDialog *PlotDataDialog1;
  QTimer *TimerPlot;

signals:
  // The plot's Clear: the values are gone.
  void Cleared();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void hideEvent(QHideEvent *event) override;

private:
  // A view the user chose: the span stays put.
  void ShowSpan(int64_t fromUs, int64_t toUs);
  void Zoom(double factor, double at);
  void Fit();
  void SaveClick(QFileDialog *dialog, bool image);
  int Columns() const;

  TPlotData &FData;
  QChart *FChart;
  QValueAxis *FAxisTime;
  std::vector<QLineSeries *> FSeries;
  std::vector<QValueAxis *> FAxes;
  std::vector<TPlotPoint> FScratch;
  bool FFollowing = true;
  bool FDirty = false;
  bool FSettingRange = false;
  int64_t FSpanUs = 30000000; // while following
  int64_t FFromUs = 0;
  int64_t FToUs = 30000000;
};
