// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's plot: signals ticked in the overview, their values taken
// from every frame, the plot window, and the plotted signals remembered in
// the settings file.

#include "UnitMain.h"

#include "LineModels.h"
#include "Overview.h"
#include "PlotData.h"
#include "UnitPlot.h"
#include "can/Dbc.h"
#include "config/IniFile.h"

#include <QTimer>

void TFormMain::PlotTicked(quint32 id, bool extended, int signal, bool plotted) {
  const TDbcMessage *m = FDatabase ? FDatabase->Find(id, extended) : nullptr;
  if (!m || signal < 0 || signal >= static_cast<int>(m->Signals.size()))
    return;
  const int curve = FPlotData->Find(id, extended, m->Signals[static_cast<size_t>(signal)].Name);
  if (plotted && curve < 0)
    FillFromLog(FPlotData->Add(*m, static_cast<size_t>(signal)));
  else if (!plotted)
    FPlotData->Remove(curve);
  FormPlot->CurvesChanged();
  // Shown beside the overview without taking the keyboard from it, so that
  // more signals can be ticked.
  if (plotted && !FormPlot->isVisible()) {
    FormPlot->setAttribute(Qt::WA_ShowWithoutActivating);
    FormPlot->show();
  }
}

// A signal ticked shows at once what the log holds of it.
void TFormMain::FillFromLog(int curve) {
  for (size_t row = 0; row < FRxModel->Count(); ++row)
    FPlotData->TakeFor(curve, FRxModel->At(row), FPlotData->PlotTime(FRxModel->WallTimeUs(row)));
}

void TFormMain::mv_PlotClick() {
  FormPlot->setAttribute(Qt::WA_ShowWithoutActivating, false);
  FormPlot->show();
  FormPlot->raise();
  FormPlot->activateWindow();
}

// "Message.Signal" names, by the database loaded at start; the ones it no
// longer has are dropped.
void TFormMain::LoadPlotSetting(TIniFile &ini) {
  const QStringList names = ini.ReadString("Plot", "Signals", QString()).split(',', Qt::SkipEmptyParts);
  if (!FDatabase || names.isEmpty())
    return;
  for (const QString &name : names) {
    const QStringList parts = name.trimmed().split('.');
    if (parts.size() != 2)
      continue;
    for (const TDbcMessage &m : FDatabase->Messages) {
      if (QString::fromStdString(m.Name) != parts[0])
        continue;
      for (size_t s = 0; s < m.Signals.size(); ++s)
        if (QString::fromStdString(m.Signals[s].Name) == parts[1])
          FPlotData->Add(m, s);
    }
  }
  FormPlot->CurvesChanged();
  if (ini.ReadInteger("Plot", "Shown", 0) == 1 && !FPlotData->Curves().empty())
    QTimer::singleShot(0, this, [this] {
      if (isVisible()) {
        FormPlot->setAttribute(Qt::WA_ShowWithoutActivating);
        FormPlot->show();
      }
    });
}

void TFormMain::SavePlotSetting(TIniFile &ini) {
  QStringList names;
  for (const TCurve &c : FPlotData->Curves())
    names << QString::fromStdString(c.Title());
  // Written once there is something to remember.
  if (names.isEmpty() && ini.ReadString("Plot", "Signals", QString()).isEmpty())
    return;
  ini.WriteString("Plot", "Signals", names.join(','));
  ini.WriteInteger("Plot", "Shown", FormPlot->isVisible() ? 1 : 0);
}
