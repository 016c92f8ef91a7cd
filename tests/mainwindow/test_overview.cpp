// SPDX-License-Identifier: GPL-3.0-or-later
// The overview by identifier, copying lines, the pause and the identifier
// filter, driven through the window's keys.

#include "GuiHelpers.h"
#include "mainwindow/LineModels.h"
#include "mainwindow/Overview.h"
#include "mainwindow/FrameLogView.h"
#include "mainwindow/UnitMain.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>
#include <QTest>

namespace {

TLogLine Line(uint32_t id, int64_t us, std::vector<uint8_t> data = {1, 2}, bool extended = false,
              TDirection dir = TDirection::Rx) {
  TCanMessage m{};
  m.ID = id;
  m.IDType = extended ? 4 : 0;
  m.DLC = static_cast<uint8_t>(data.size());
  std::copy(data.begin(), data.end(), m.Data);
  return TLogLine::From(dir, m, us);
}

// Known stamps: 0x100 every 10 ms but one gap of 14 ms and one of 6 ms; the
// same identifier extended, and sent, are rows of their own.
TEST(OverviewModel, CountsPeriodsJitterAndChangedBytes) {
  TOverviewModel m;
  const int64_t stamps[] = {0, 10000, 24000, 30000, 40000};
  for (int64_t t : stamps)
    m.Add(Line(0x100, t, {0x11, t == 30000 ? uint8_t(0x99) : uint8_t(0x22)}));
  m.Add(Line(0x100, 5000, {7}, true));
  m.Add(Line(0x100, 6000, {7}, false, TDirection::Tx));
  EXPECT_EQ(m.rowCount(), 0); // nothing shown before a refresh
  m.Refresh(40500);
  ASSERT_EQ(m.rowCount(), 3);
  EXPECT_EQ(m.RowText(0), "Rx\tStd\t100\t2\t11 22\t5\t10.0\t6.0 - 14.0\t0.0\t");
  EXPECT_EQ(m.RowText(1), "Rx\tExt\t00000100\t1\t07\t1\t\t\t0.0\t");
  EXPECT_EQ(m.RowText(2), "Tx\tStd\t100\t1\t07\t1\t\t\t0.0\t");
  // The second byte changed at 30 ms and back at 40 ms: lit for a second.
  EXPECT_EQ(m.index(0, TOverviewModel::ColData).data(TOverviewModel::ChangedBytesRole).toInt(), 0b10);
  m.Refresh(40000 + TOverviewModel::ChangeShownUs + 1);
  EXPECT_EQ(m.index(0, TOverviewModel::ColData).data(TOverviewModel::ChangedBytesRole).toInt(), 0);
  EXPECT_EQ(m.index(0, TOverviewModel::ColLastSeen).data().toString(), "1.0");
  // The period is over the newest intervals only.
  for (int i = 1; i <= TOverviewModel::Intervals; ++i)
    m.Add(Line(0x100, 40000 + i * 20000));
  m.Refresh(400000);
  EXPECT_EQ(m.index(0, TOverviewModel::ColPeriod).data().toString(), "20.0");
  EXPECT_EQ(m.index(0, TOverviewModel::ColJitter).data().toString(), "20.0 - 20.0");
  m.Clear();
  EXPECT_EQ(m.rowCount(), 0);
}

class Overview : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    sim_add_adapter("A1");
    Connect();
  }
  static void Inject(uint32_t id, uint8_t b0 = 0x11) {
    auto f = FrameBytes(0, 0, 2, id, {b0, 0x22});
    sim_inject_frame("A1", f.data());
  }
};

TEST_F(Overview, ViewMenuSwitchesToOneRowPerIdentifierAndCopiesItsRows) {
  for (uint32_t id : {0x300u, 0x100u, 0x300u, 0x200u, 0x300u})
    Inject(id);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 5; }));
  ChooseMenuItem(FormMain->mm_View, Qt::Key_V, Qt::Key_O);
  EXPECT_TRUE(FormMain->mv_Overview->isChecked());
  EXPECT_TRUE(FormMain->TableOverview->isVisible());
  EXPECT_FALSE(FormMain->ListBoxRx->isVisible());
  EXPECT_TRUE(FormMain->TableOverview->hasFocus());
  QTreeView *t = FormMain->TableOverview;
  ASSERT_TRUE(WaitUntil([&] { return t->model()->rowCount() == 3; }));
  // Sorted by identifier; a click on the count's header sorts by count.
  EXPECT_EQ(t->model()->index(0, TOverviewModel::ColId).data().toString(), "100");
  EXPECT_EQ(t->model()->index(2, TOverviewModel::ColCount).data().toString(), "3");
  QTest::keyClick(t, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(t, Qt::Key_C, Qt::ControlModifier);
  const QStringList rows = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(rows.size(), 3);
  EXPECT_TRUE(rows[0].startsWith("Rx\tStd\t100\t2\t11 22\t1\t")) << rows[0].toStdString();
  EXPECT_TRUE(rows[2].startsWith("Rx\tStd\t300\t2\t11 22\t3\t")) << rows[2].toStdString();
  EXPECT_EQ(rows[2].split('\t').size(), TOverviewModel::ColumnCount);
  // Clear empties it too; the View item goes back to the log.
  QTest::keyClick(FormMain, Qt::Key_L, Qt::AltModifier);
  ASSERT_TRUE(WaitUntil([&] { return t->model()->rowCount() == 0; }));
  ChooseMenuItem(FormMain->mm_View, Qt::Key_V, Qt::Key_O);
  EXPECT_TRUE(FormMain->ListBoxRx->isVisible());
  EXPECT_TRUE(FormMain->ListBoxRx->hasFocus());
}

TEST_F(Overview, CtrlCCopiesTheSelectedLogLinesAsShown) {
  Inject(0x123);
  Inject(0x456, 0x33);
  ASSERT_TRUE(WaitUntil([] { return RxLineCount() == 2; }));
  FormMain->ListBoxRx->setFocus();
  QTest::keyClick(FormMain->ListBoxRx, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(FormMain->ListBoxRx, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), RxLine(0) + "\n" + RxLine(1));
  // A click beside the lines clears the selection; the current line is
  // copied then.
  QWidget *area = FormMain->ListBoxRx->viewport();
  QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(10, area->height() - 5));
  ASSERT_TRUE(FormMain->ListBoxRx->selectionModel()->selectedIndexes().isEmpty());
  QTest::keyClick(FormMain->ListBoxRx, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), RxLine(FormMain->ListBoxRx->currentIndex().row()));
  // With time stamps shown, each line begins with its time, as drawn.
  FormMain->mv_TimeStamps->setChecked(true);
  QTest::keyClick(FormMain->ListBoxRx, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(FormMain->ListBoxRx, Qt::Key_C, Qt::ControlModifier);
  const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[1].endsWith("\t" + RxLine(1)));
  EXPECT_EQ(lines[1].section('\t', 0, 0), TimeStampText(RxModel()->At(1).TimeUs));
}

TEST_F(Overview, PauseKeepsTheViewStillAndLosesNothing) {
  Inject(0x100);
  ASSERT_TRUE(WaitUntil([] { return RxLineCount() == 1; }));
  QTest::keyClick(FormMain->ListBoxRx, Qt::Key_P, Qt::ControlModifier);
  ASSERT_TRUE(FormMain->mv_Pause->isChecked());
  for (uint32_t id = 0x101; id <= 0x105; ++id)
    Inject(id);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 6; }));
  EXPECT_EQ(RxLineCount(), 1);
  EXPECT_EQ(RxItemIndex(), 0);
  QTest::keyClick(FormMain->ListBoxRx, Qt::Key_Pause);
  EXPECT_FALSE(FormMain->mv_Pause->isChecked());
  ASSERT_EQ(RxLineCount(), 6);
  EXPECT_TRUE(RxLine(5).contains("105"));
  EXPECT_EQ(RxItemIndex(), 5);
}

TEST_F(Overview, IdentifierFilterAppliesToNewLinesAndAMistakeChangesNothing) {
  QLineEdit *edit = FormMain->EditIdFilter;
  QTest::keyClicks(edit, "100-1FF, !150");
  for (uint32_t id : {0x100u, 0x150u, 0x200u, 0x1FFu})
    Inject(id);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 4; }));
  ASSERT_EQ(RxLineCount(), 2);
  EXPECT_TRUE(RxLine(0).contains("100"));
  EXPECT_TRUE(RxLine(1).contains("1FF"));
  // A typing mistake is shown and the filter that read stays in force.
  QTest::keyClicks(edit, ", 3G");
  EXPECT_FALSE(edit->styleSheet().isEmpty());
  EXPECT_TRUE(edit->toolTip().contains("at character")) << edit->toolTip().toStdString();
  Inject(0x200);
  Inject(0x101);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 6; }));
  ASSERT_EQ(RxLineCount(), 3);
  EXPECT_TRUE(RxLine(2).contains("101"));
  // The overview counts the bus, not what the log shows.
  ChooseMenuItem(FormMain->mm_View, Qt::Key_V, Qt::Key_O);
  QTreeView *t = FormMain->TableOverview;
  ASSERT_TRUE(WaitUntil([&] { return t->model()->rowCount() == 5; }));
  EXPECT_EQ(t->model()->index(2, TOverviewModel::ColId).data().toString(), "150");
  EXPECT_EQ(t->model()->index(4, TOverviewModel::ColId).data().toString(), "200");
  EXPECT_EQ(t->model()->index(4, TOverviewModel::ColCount).data().toString(), "2");
  ChooseMenuItem(FormMain->mm_View, Qt::Key_V, Qt::Key_O);
  // Emptied, it lets everything through again.
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  EXPECT_TRUE(edit->styleSheet().isEmpty());
  Inject(0x200);
  ASSERT_TRUE(WaitUntil([] { return RxLineCount() == 4; }));
}

// After a reconnection time goes on: the log's stamps, the overview's
// period and what is exported keep one time base.
TEST_F(Overview, TimeGoesOnAcrossAReconnection) {
  Inject(0x123);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 1; }));
  QTest::qWait(20);
  QTest::mouseClick(FormMain->SpeedButtonConnect, Qt::LeftButton);
  ASSERT_EQ(FormMain->DevComm(), nullptr);
  Connect();
  Inject(0x123);
  ASSERT_TRUE(WaitUntil([] { return RxLineCount() == 2; }));
  const int64_t first = RxModel()->At(0).TimeUs, second = RxModel()->At(1).TimeUs;
  EXPECT_GT(second - first, 20000);
  EXPECT_EQ(RxModel()->WallTimeUs(1) - RxModel()->WallTimeUs(0), second - first);
  ChooseMenuItem(FormMain->mm_View, Qt::Key_V, Qt::Key_O);
  QTreeView *t = FormMain->TableOverview;
  ASSERT_TRUE(WaitUntil([&] { return t->model()->rowCount() == 1; }));
  const double period = t->model()->index(0, TOverviewModel::ColPeriod).data().toString().toDouble();
  EXPECT_NEAR(period, (second - first) / 1000.0, 0.051);
}

} // namespace
