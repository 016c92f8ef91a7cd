// SPDX-License-Identifier: GPL-3.0-or-later
// A CAN database in the window: loaded from the File menu, names in the log,
// the overview's rows unfolding into signals with their values, remembered
// over a restart, and a file gone or damaged reported without stopping.

#include "GuiHelpers.h"
#include "mainwindow/Application.h"
#include "mainwindow/Overview.h"
#include "mainwindow/UnitPlot.h"
#include "mainwindow/UnitMain.h"
#include "dialogs/LimitedEdit.h"
#include "dialogs/UnitEditMsg.h"

#include <QChartView>
#include <QFile>
#include <QImage>
#include <QLineSeries>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QListView>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace {

class Database : public GuiTest {
protected:
  QTemporaryDir dir;
  QString Copy(const char *name) {
    const QString path = dir.filePath(name);
    QFile::remove(path);
    EXPECT_TRUE(QFile::copy(MOLVAR_DEMO_DBC, path));
    return path;
  }
  // Chooses the file in File > Load Database..., then acts on the modal
  // widgets that follow with then.
  static void LoadThroughTheMenu(const QString &path, ModalDriver &d, ModalDriver::Action then = {}) {
    d.Then([path](QWidget *w) {
      EXPECT_EQ(w->windowTitle(), "Load Database");
      TypeFileName(path)(w);
    });
    if (then)
      d.Then(then);
    ChooseMenuItem(FormMain->mm_File, Qt::Key_F, Qt::Key_D);
    ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0 && !QApplication::activeModalWidget(); }));
  }
  static QString Panel() { return FormMain->StatusBar1->findChild<QLabel *>("StatusPanelDatabase")->text(); }
  static void Restart() {
    FormMain->close();
    DestroyForms();
    CreateForms();
    FormMain->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormMain));
  }
};

TEST_F(Database, NamesAndSignalValuesFromALoadedDatabase) {
  const QString path = Copy("demo.dbc");
  ModalDriver d;
  LoadThroughTheMenu(path, d);
  EXPECT_EQ(Panel(), "demo.dbc: 6 messages");
  sim_add_adapter("A1");
  Connect();
  auto temps = FrameBytes(0, 0, 3, 0x3E8, {0x01, 0x41, 0x3A});
  auto gear = FrameBytes(0, 0, 4, 0x2F0, {0x03, 0x03, 0x00, 0x00});
  auto other = FrameBytes(0, 0, 1, 0x555, {0x01});
  for (auto *f : {&temps, &gear, &other})
    sim_inject_frame("A1", f->data());
  ASSERT_TRUE(WaitUntil([] { return RxLineCount() == 3; }));
  EXPECT_EQ(RxLine(0), "Rx\tStd\t  3E8\t01\t41\t3A\tTemperatures");
  EXPECT_EQ(RxLine(2), "Rx\tStd\t  555\t01");

  FormMain->mv_Overview->trigger();
  QTreeView *t = FormMain->TableOverview;
  ASSERT_TRUE(WaitUntil([&] { return t->model()->rowCount() == 3; }));
  // Sorted by identifier: 2F0, 3E8, 555.
  const QModelIndex temperatures = t->model()->index(1, 0);
  EXPECT_EQ(t->model()->index(1, TOverviewModel::ColName).data().toString(), "Temperatures");
  EXPECT_EQ(t->model()->index(2, TOverviewModel::ColName).data().toString(), "");
  ASSERT_EQ(t->model()->rowCount(temperatures), 5);
  auto signal = [&](const QModelIndex &parent, int row) {
    return t->model()->index(row, TOverviewModel::ColName, parent).data().toString() + "=" +
           t->model()->index(row, TOverviewModel::ColData, parent).data().toString();
  };
  EXPECT_EQ(signal(temperatures, 0), "Page=1");
  EXPECT_EQ(signal(temperatures, 1), "CoolantTemp="); // page 0 only
  EXPECT_EQ(signal(temperatures, 3), "IntakeTemp=25 degC");
  EXPECT_EQ(signal(temperatures, 4), "AmbientTemp=18 degC");
  const QModelIndex transmission = t->model()->index(0, 0);
  EXPECT_EQ(signal(transmission, 0), "Gear=3");
  EXPECT_EQ(signal(transmission, 1), "Selector=D"); // the value table's text
  // Unfolded with the keyboard, as a user would.
  t->setFocus();
  t->setCurrentIndex(temperatures);
  QTest::keyClick(t, Qt::Key_Right);
  EXPECT_TRUE(t->isExpanded(temperatures));
}

// The frame editor's signals page and its data page stay in step; the
// transmit list names the frame.
TEST_F(Database, AFrameEditedBySignalsKeepsItsBytesInStepAndIsNamedInTheList) {
  ModalDriver load;
  LoadThroughTheMenu(Copy("demo.dbc"), load);
  TFormEditMsg *e = FormEditMsg;
  QTabBar *tabs = e->TabbedNotebook1->tabBar();
  auto value = [e](int row) { return e->TableSignals->item(row, 1)->text() + "|" + e->TableSignals->item(row, 2)->text(); };
  // Types into a signal's value cell and presses Return, as a user does.
  auto type = [e](int row, const QString &text) {
    e->TableSignals->setFocus();
    e->TableSignals->setCurrentCell(row, 1);
    // The first key opens the cell's editor, which takes the rest (the
    // dialog's own focus widget, also before the window system activates it).
    for (QChar c : text)
      QTest::keyClicks(e->focusWidget(), QString(c));
    QTest::keyClick(e->focusWidget(), Qt::Key_Return);
    Settle();
  };
  QStringList bytes, afterByteEdit;
  bool openForOther = true, openForTransmission = false;
  ModalDriver d;
  d.Then([&](QWidget *) {
    QTest::keyClicks(e->LabeledEditID, "555");
    openForOther = e->TabbedNotebook1->isTabEnabled(2);
    e->LabeledEditID->clear();
    QTest::keyClicks(e->LabeledEditID, "2F0");
    openForTransmission = e->TabbedNotebook1->isTabEnabled(2);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    type(0, "reverse"); // a value's meaning, in any case
    type(1, "2");
    type(1, "x"); // not a value: nothing changes
    for (QLineEdit *b : e->DataEdits)
      bytes << b->text();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    e->DataEdits[1]->clear();
    QTest::keyClicks(e->DataEdits[1], "03");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    afterByteEdit << value(0) << value(1);
    QTest::mouseClick(e->BitBtnOk, Qt::LeftButton);
  });
  QTest::mouseClick(FormMain->BitBtnNew, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0 && !QApplication::activeModalWidget(); }));
  EXPECT_FALSE(openForOther);
  EXPECT_TRUE(openForTransmission);
  // Grown to the message's four bytes, gear 7 and selector 2 ("N").
  EXPECT_EQ(bytes.join(' ').trimmed(), "07 02 00 00");
  EXPECT_EQ(afterByteEdit, (QStringList{"7|Reverse", "3|D"}));
  ASSERT_EQ(TxLines().size(), 1);
  EXPECT_EQ(TxLines()[0], "Std\t  2F0\t07\t03\t00\t00");
  EXPECT_EQ(FormMain->ListBoxTx->model()->index(0, 0).data().toString(), "Std\t  2F0\t07\t03\t00\t00\tTransmission");
}

// Space on a signal's row in the overview plots it; the plot follows the
// values, stops following when panned, saves its image and its data, and the
// plotted signals come back after a restart.
TEST_F(Database, ATickedSignalIsPlottedSavedAndRemembered) {
  ModalDriver load;
  LoadThroughTheMenu(Copy("demo.dbc"), load);
  sim_add_adapter("A1");
  Connect();
  auto gear = [](uint8_t g) {
    auto f = FrameBytes(0, 0, 4, 0x2F0, {g, 0x03, 0x00, 0x00});
    sim_inject_frame("A1", f.data());
  };
  gear(1);
  ChooseMenuItem(FormMain->mm_View, Qt::Key_V, Qt::Key_O);
  QTreeView *t = FormMain->TableOverview;
  ASSERT_TRUE(WaitUntil([&] { return t->model()->rowCount() == 1; }));
  t->setCurrentIndex(t->model()->index(0, TOverviewModel::ColCount));
  QTest::keyClick(t, Qt::Key_Right); // unfolds
  QTest::keyClick(t, Qt::Key_Down);  // the first signal: Gear
  QTest::keyClick(t, Qt::Key_Space);
  TFormPlot *plot = FormMain->FormPlot;
  ASSERT_TRUE(plot->isVisible());
  ASSERT_EQ(plot->ChartViewPlot->chart()->series().size(), 1);
  auto *series = static_cast<QLineSeries *>(plot->ChartViewPlot->chart()->series()[0]);
  EXPECT_EQ(series->name(), "Transmission.Gear");
  EXPECT_EQ(t->model()->index(0, 0, t->model()->index(0, 0)).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  gear(2);
  gear(3);
  auto values = [&] {
    QList<double> v;
    for (const QPointF &p : series->points())
      v << p.y();
    return v;
  };
  // From the log's first frame on, which came before the tick.
  ASSERT_TRUE(WaitUntil([&] { return values() == QList<double>({1, 2, 3}); })) << values().size();
  EXPECT_TRUE(plot->Following());
  plot->ChartViewPlot->setFocus();
  QTest::keyClick(plot->ChartViewPlot, Qt::Key_Left);
  EXPECT_TRUE(plot->BitBtnPlotPause->isChecked());
  QTest::keyClick(plot->ChartViewPlot, Qt::Key_End);
  EXPECT_FALSE(plot->BitBtnPlotPause->isChecked());

  const QString csv = dir.filePath("plot.csv"), png = dir.filePath("plot.png");
  ModalDriver d;
  d.Then(TypeFileName(csv));
  QTest::mouseClick(plot->BitBtnPlotData, Qt::LeftButton);
  d.Then(TypeFileName(png));
  QTest::mouseClick(plot->BitBtnPlotImage, Qt::LeftButton);
  ASSERT_EQ(d.Pending(), 0u);
  QFile f(csv);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QStringList rows = QString(f.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(rows.size(), 4);
  EXPECT_EQ(rows[0], "Time (s),Transmission.Gear");
  EXPECT_TRUE(rows[1].endsWith(",1") && rows[2].endsWith(",2") && rows[3].endsWith(",3"))
      << rows.join('|').toStdString();
  const QImage image(png);
  EXPECT_EQ(image.size(), plot->ChartViewPlot->size());

  // Cleared with Space as it was ticked, and ticked again to be remembered.
  t->setFocus();
  QTest::keyClick(t, Qt::Key_Space);
  EXPECT_TRUE(plot->ChartViewPlot->chart()->series().isEmpty());
  QTest::keyClick(t, Qt::Key_Space);
  Restart();
  ASSERT_EQ(FormMain->FormPlot->ChartViewPlot->chart()->series().size(), 1);
  EXPECT_EQ(FormMain->FormPlot->ChartViewPlot->chart()->series()[0]->name(), "Transmission.Gear");
  ASSERT_TRUE(WaitUntil([] { return FormMain->FormPlot->isVisible(); }));
}

TEST_F(Database, RememberedOverARestartAndAFileGoneOrChangedIsReported) {
  const QString path = Copy("remembered.dbc");
  QStringList problems;
  ASSERT_TRUE(FormMain->LoadDatabase(path, problems));
  Restart();
  EXPECT_EQ(Panel(), "remembered.dbc: 6 messages");
  // Changed between runs: loaded as it is now, and said so.
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::Append));
  f.write("\nBO_ 1 Extra: 1 X\n SG_ Broken 0|8@1+ (1,0) [0|1] \"\" X\n");
  f.close();
  Restart();
  EXPECT_EQ(Panel(), "remembered.dbc: 7 messages, changed since the last run, 1 line not read");
  QFile::remove(path);
  Restart();
  EXPECT_EQ(Panel(), "remembered.dbc: not found");
  EXPECT_TRUE(FormMain->isVisible());
  // Still remembered: back in place, it is loaded again.
  Copy("remembered.dbc");
  Restart();
  EXPECT_TRUE(Panel().startsWith("remembered.dbc: 6 messages")) << Panel().toStdString();
}

TEST_F(Database, ADamagedFileIsLoadedWithoutItsBadLinesAndSaysWhich) {
  const QString path = dir.filePath("damaged.dbc");
  WriteFile(path, "BO_ 256 Good: 2 X\n SG_ A : 0|8@1+ (1,0) [0|255] \"\" X\n SG_ B 8|8@1+ (1,0) [0|255] \"\" X\n");
  QString text;
  ModalDriver d;
  LoadThroughTheMenu(path, d, PressMessageButton(QMessageBox::Ok, &text));
  EXPECT_TRUE(text.contains("line 3: SG_")) << text.toStdString();
  EXPECT_EQ(Panel(), "damaged.dbc: 1 message");
}

} // namespace
