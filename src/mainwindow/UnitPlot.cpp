// SPDX-License-Identifier: GPL-3.0-or-later
// The plot window; see UnitPlot.h.
#include "UnitPlot.h"

#include "FileDialogs.h"
#include "LineModels.h" // TimeStampText
#include "can/Numbers.h"
#include "UnitConnect.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
QPushButton *Button(QWidget *parent, const char *name, const char *caption, const char *tip) {
  auto *b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setToolTip(tip);
  return b;
}

// The values in view fill the axis, which starts and ends on round numbers
// with ticks at steps of 1, 2 or 5 times a power of ten; a flat line sits in
// the middle. The axis is touched only when that changes: laying out an
// axis costs more than the rest of a redraw.
void SetValueRange(QValueAxis *axis, double lo, double hi) {
  if (lo > hi) {
    lo = 0;
    hi = 1;
  }
  if (hi - lo < std::max(1e-9, std::fabs(hi) * 1e-9)) {
    const double half = std::max(1.0, std::fabs(hi) * 0.05);
    lo -= half;
    hi += half;
  }
  const double raw = (hi - lo) / 4;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double m = raw / power;
  const double step = (m <= 1 ? 1 : m <= 2 ? 2 : m <= 5 ? 5 : 10) * power;
  const double from = std::floor(lo / step) * step, to = std::ceil(hi / step) * step;
  if (axis->min() == from && axis->max() == to && axis->tickInterval() == step)
    return;
  axis->setTickInterval(step);
  axis->setTickAnchor(from);
  axis->setRange(from, to);
}

QString Heading(const TCurve &c) {
  const QString unit = QString::fromStdString(c.Sig().Unit);
  return QString::fromStdString(c.Title()) + (unit.isEmpty() ? QString() : " (" + unit + ")");
}

// A CSV cell: quoted when it holds a comma, a quote or a line end.
QString CsvCell(QString text) {
  if (!text.contains(QRegularExpression("[,\"\r\n]")))
    return text;
  return '"' + text.replace('"', "\"\"") + '"';
}
} // namespace

TFormPlot::TFormPlot(TPlotData &data, QWidget *parent) : QWidget(parent, Qt::Window), FData(data) {
  setObjectName("FormPlot");
  setWindowTitle("Plot");
  resize(820, 520);

  FChart = new QChart;
  FChart->legend()->setAlignment(Qt::AlignBottom);
  FAxisTime = new QValueAxis;
  FAxisTime->setTitleText("Time (s)");
  FAxisTime->setLabelFormat("%.1f");
  FChart->addAxis(FAxisTime, Qt::AlignBottom);
  ChartViewPlot = new QChartView(FChart, this);
  ChartViewPlot->setObjectName("ChartViewPlot");
  ChartViewPlot->setRenderHint(QPainter::Antialiasing, false);
  ChartViewPlot->setRubberBand(QChartView::HorizontalRubberBand);
  ChartViewPlot->setFocusPolicy(Qt::StrongFocus);
  ChartViewPlot->installEventFilter(this);
  ChartViewPlot->viewport()->installEventFilter(this);

  BitBtnPlotPause = Button(this, "BitBtnPlotPause", "&Pause", "stop following the newest values (End follows again)");
  BitBtnPlotPause->setCheckable(true);
  BitBtnPlotFit = Button(this, "BitBtnPlotFit", "&Fit", "show every value held (Home)");
  BitBtnPlotClear = Button(this, "BitBtnPlotClear", "&Clear", "drop the values, keep the signals");
  BitBtnPlotImage = Button(this, "BitBtnPlotImage", "Save &Image...", "save the plot as a PNG image");
  BitBtnPlotData = Button(this, "BitBtnPlotData", "Save &Data...", "save the values as CSV");
  LabelPlotHint = new QLabel("drag: zoom in, right click: zoom out, wheel: zoom, arrows: pan", this);
  LabelPlotHint->setObjectName("LabelPlotHint");
  PlotImageDialog1 = SaveFileDialog(this, "PlotImageDialog1", "Save Plot Image", "PNG Images (*.png)", "png");
  PlotDataDialog1 = SaveFileDialog(this, "PlotDataDialog1", "Save Plot Data", "CSV Files (*.csv)", "csv");

  auto *buttons = new QHBoxLayout;
  for (QWidget *w : {static_cast<QWidget *>(BitBtnPlotPause), static_cast<QWidget *>(BitBtnPlotFit),
                     static_cast<QWidget *>(BitBtnPlotClear), static_cast<QWidget *>(BitBtnPlotImage),
                     static_cast<QWidget *>(BitBtnPlotData)})
    buttons->addWidget(w);
  buttons->addWidget(LabelPlotHint, 1);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(ChartViewPlot, 1);
  layout->addLayout(buttons);

  TimerPlot = new QTimer(this);
  TimerPlot->setObjectName("TimerPlot");
  TimerPlot->setInterval(100);
  connect(TimerPlot, &QTimer::timeout, this, [this] {
    if (FFollowing && FDirty)
      Redraw();
  });

  connect(BitBtnPlotPause, &QPushButton::toggled, this, [this](bool paused) { SetFollowing(!paused); });
  connect(BitBtnPlotFit, &QPushButton::clicked, this, &TFormPlot::Fit);
  connect(BitBtnPlotClear, &QPushButton::clicked, this, [this] {
    FData.ClearPoints();
    emit Cleared();
    Redraw();
  });
  connect(BitBtnPlotImage, &QPushButton::clicked, this, [this] { SaveClick(PlotImageDialog1, true); });
  connect(BitBtnPlotData, &QPushButton::clicked, this, [this] { SaveClick(PlotDataDialog1, false); });
  // A rubber band or a right click changed the time axis: that span stays.
  connect(FAxisTime, &QValueAxis::rangeChanged, this, [this](qreal min, qreal max) {
    if (FSettingRange)
      return;
    const auto from = static_cast<int64_t>(min * 1e6), to = static_cast<int64_t>(max * 1e6);
    QTimer::singleShot(0, this, [this, from, to] { ShowSpan(from, to); });
  });
  CurvesChanged();
}

void TFormPlot::CurvesChanged() {
  // Axes come and go here: no range the user chose.
  FSettingRange = true;
  for (QLineSeries *s : FSeries)
    FChart->removeSeries(s);
  for (QValueAxis *a : FAxes)
    FChart->removeAxis(a);
  qDeleteAll(FSeries);
  qDeleteAll(FAxes);
  FSeries.clear();
  FAxes.clear();
  // Each curve on its own axis, alternately left and right, in its colour.
  for (const TCurve &c : FData.Curves()) {
    auto *series = new QLineSeries;
    series->setName(Heading(c));
    auto *axis = new QValueAxis;
    axis->setTitleText(QString::fromStdString(c.Sig().Name));
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setLabelFormat("%g");
    FChart->addSeries(series);
    FChart->addAxis(axis, FAxes.size() % 2 ? Qt::AlignRight : Qt::AlignLeft);
    series->attachAxis(FAxisTime);
    series->attachAxis(axis);
    const QColor colour = series->color();
    axis->setLinePenColor(colour);
    axis->setLabelsColor(colour);
    axis->setTitleBrush(colour);
    FSeries.push_back(series);
    FAxes.push_back(axis);
  }
  FSettingRange = false;
  Redraw();
}

int TFormPlot::Columns() const { return std::max(1, static_cast<int>(FChart->plotArea().width())); }

void TFormPlot::Redraw() {
  FDirty = false;
  int64_t first = 0, last = 0;
  const bool any = FData.Span(first, last);
  if (FFollowing) {
    FToUs = any ? std::max(last, FSpanUs) : FSpanUs;
    FFromUs = FToUs - FSpanUs;
  }
  FSettingRange = true;
  FAxisTime->setRange(FFromUs / 1e6, FToUs / 1e6);
  const int columns = Columns();
  const auto &curves = FData.Curves();
  for (size_t i = 0; i < curves.size() && i < FSeries.size(); ++i) {
    Decimate(curves[i].Points, FFromUs, FToUs, columns, FScratch);
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(FScratch.size()));
    double lo = INFINITY, hi = -INFINITY;
    for (const TPlotPoint &p : FScratch) {
      points.append(QPointF(p.TimeUs / 1e6, p.Value));
      if (p.TimeUs >= FFromUs && p.TimeUs <= FToUs) {
        lo = std::min(lo, p.Value);
        hi = std::max(hi, p.Value);
      }
    }
    FSeries[i]->replace(points);
    SetValueRange(FAxes[i], lo, hi);
  }
  FSettingRange = false;
}

void TFormPlot::SetFollowing(bool following) {
  FFollowing = following;
  if (BitBtnPlotPause->isChecked() == following)
    BitBtnPlotPause->setChecked(!following);
  if (following)
    FSpanUs = std::max<int64_t>(FToUs - FFromUs, 1000);
  Redraw();
}

void TFormPlot::ShowSpan(int64_t fromUs, int64_t toUs) {
  if (toUs - fromUs < 100) // a tenth of a millisecond at the closest
    toUs = fromUs + 100;
  FFromUs = fromUs;
  FToUs = toUs;
  if (FFollowing)
    SetFollowing(false);
  else
    Redraw();
}

// Zooms the time axis by factor around the share at of the span (0: left).
void TFormPlot::Zoom(double factor, double at) {
  const double span = static_cast<double>(FToUs - FFromUs);
  const double pivot = static_cast<double>(FFromUs) + span * at;
  const double newSpan = std::clamp(span * factor, 100.0, 1e13);
  ShowSpan(static_cast<int64_t>(pivot - newSpan * at), static_cast<int64_t>(pivot + newSpan * (1 - at)));
}

void TFormPlot::Fit() {
  int64_t first, last;
  if (FData.Span(first, last))
    ShowSpan(first, last);
}

// The timer runs only while the plot is seen: a hidden plot costs nothing.
void TFormPlot::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  TimerPlot->start();
  Redraw();
}

void TFormPlot::hideEvent(QHideEvent *event) {
  QWidget::hideEvent(event);
  TimerPlot->stop();
}

bool TFormPlot::eventFilter(QObject *watched, QEvent *event) {
  if (watched == ChartViewPlot && event->type() == QEvent::KeyPress) {
    const auto *key = static_cast<QKeyEvent *>(event);
    const int64_t quarter = (FToUs - FFromUs) / 4;
    switch (key->key()) {
    case Qt::Key_Left:
      ShowSpan(FFromUs - quarter, FToUs - quarter);
      return true;
    case Qt::Key_Right:
      ShowSpan(FFromUs + quarter, FToUs + quarter);
      return true;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      Zoom(0.5, 0.5);
      return true;
    case Qt::Key_Minus:
      Zoom(2, 0.5);
      return true;
    case Qt::Key_Home:
      Fit();
      return true;
    case Qt::Key_End:
      SetFollowing(true);
      return true;
    default:
      break;
    }
  }
  if (watched == ChartViewPlot->viewport() && event->type() == QEvent::Wheel) {
    const auto *wheel = static_cast<QWheelEvent *>(event);
    const QRectF area = FChart->plotArea();
    const double at = std::clamp((wheel->position().x() - area.left()) / std::max(1.0, area.width()), 0.0, 1.0);
    Zoom(wheel->angleDelta().y() > 0 ? 0.8 : 1.25, at);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TFormPlot::SaveClick(QFileDialog *dialog, bool image) {
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
    return;
  const QString path = dialog->selectedFiles().first();
  QString error;
  if (image ? SaveImage(path, error) : SaveData(path, error))
    return;
  QApplication::beep();
  QMessageBox box(QMessageBox::Critical, ApplicationTitle,
                  QString("The plot's %1 could not be saved to \"%2\": %3").arg(image ? "image" : "data", path, error),
                  QMessageBox::Ok, this);
  box.setObjectName("MessagePlotSave");
  box.exec();
}

bool TFormPlot::SaveImage(const QString &path, QString &error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    error = file.errorString();
    return false;
  }
  if (!ChartViewPlot->grab().save(&file, "PNG")) {
    error = file.error() != QFileDevice::NoError ? file.errorString() : QString("the image could not be made");
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    error = file.errorString();
    return false;
  }
  return true;
}

// One row per time stamp, merged over the curves; a curve without a value at
// that stamp leaves its cell empty.
bool TFormPlot::SaveData(const QString &path, QString &error) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    error = file.errorString();
    return false;
  }
  const auto &curves = FData.Curves();
  QStringList head{"Time (s)"};
  for (const TCurve &c : curves)
    head << CsvCell(Heading(c));
  QByteArray out = head.join(',').toUtf8() + '\n';
  std::vector<size_t> next(curves.size(), 0);
  for (;;) {
    int64_t t = INT64_MAX;
    for (size_t i = 0; i < curves.size(); ++i)
      if (next[i] < curves[i].Points.Size())
        t = std::min(t, curves[i].Points[next[i]].TimeUs);
    if (t == INT64_MAX)
      break;
    out += TimeStampText(t).toLatin1();
    for (size_t i = 0; i < curves.size(); ++i) {
      out += ',';
      if (next[i] < curves[i].Points.Size() && curves[i].Points[next[i]].TimeUs == t) {
        out += FormatDouble(curves[i].Points[next[i]++].Value).c_str();
      }
    }
    out += '\n';
    if (out.size() > (1 << 20)) {
      if (file.write(out) != out.size())
        break;
      out.clear();
    }
  }
  if (file.write(out) != out.size() || !file.commit()) {
    error = file.errorString();
    file.cancelWriting();
    return false;
  }
  return true;
}
