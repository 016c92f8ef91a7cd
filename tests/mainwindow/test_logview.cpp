// SPDX-License-Identifier: GPL-3.0-or-later
// The View menu: the time stamp column and the rate panel, and how they are
// kept in the settings file.

#include "GuiHelpers.h"
#include "comm/UnitComm.h"
#include "config/IniFile.h"
#include "mainwindow/Application.h"
#include "mainwindow/FrameLogView.h"
#include "mainwindow/LineModels.h"
#include "mainwindow/UnitMain.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryFile>
#include <QTest>

namespace {

class LogView : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    sim_add_adapter("A1");
  }
  QVariant Time(int row) const { return RxModel()->data(RxModel()->index(row), TFrameLogModel::TimeRole); }
  void Restart() {
    FormMain->close();
    DestroyForms();
    CreateForms();
  }
  QByteArray Settings() {
    QFile f(SettingsPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
};

TEST_F(LogView, TimeColumnShowsSecondsWithoutChangingTheLineText) {
  EXPECT_FALSE(FormMain->mv_TimeStamps->isChecked());
  Connect();
  auto f = FrameBytes(0, 0, 2, 0x123, {0x11, 0x22});
  sim_inject_frame("A1", f.data());
  ASSERT_TRUE(WaitUntil([] { return RxLineCount() == 1; }));
  EXPECT_FALSE(Time(0).isValid());
  FormMain->mv_TimeStamps->trigger();
  ASSERT_TRUE(FormMain->mv_TimeStamps->isChecked());
  const QString t = Time(0).toString();
  EXPECT_TRUE(t.contains(QRegularExpression(R"(^\d+\.\d{6}$)"))) << t.toStdString();
  EXPECT_EQ(t, TimeStampText(RxModel()->At(0).TimeUs));
  EXPECT_EQ(RxLine(0), "Rx\tStd\t  123\t11\t22");
  FormMain->mv_TimeStamps->trigger();
  EXPECT_FALSE(Time(0).isValid());

  EXPECT_EQ(TimeStampText(0), "0.000000");
  EXPECT_EQ(TimeStampText(12345678), "12.345678");
  EXPECT_EQ(TimeStampText(-5), "-0.000005");
}

// Transmitted frames' lines show when the adapter accepted them, which is
// later than when they were handed over while the adapter refused them;
// Tx all logs its lines as one run after a received line, and each stamp
// finds its own line.
TEST_F(LogView, TransmittedLinesTakeTheAdapterAcceptanceTimes) {
  Connect();
  QTemporaryFile f;
  ASSERT_TRUE(f.open());
  f.write("[Messages]\r\nn=3\r\n0=Std\t  321\t05\r\n1=Std\t  322\t06\r\n2=Std\t  323\t07\r\n");
  f.close();
  TIniFile ini(f.fileName());
  FormMain->LoadSetup(ini);
  auto rx = FrameBytes(0, 0, 2, 0x123, {0x11, 0x22});
  sim_inject_frame("A1", rx.data());
  ASSERT_TRUE(WaitUntil([] { return RxLineCount() == 1; }));
  const int64_t received = RxModel()->At(0).TimeUs;
  sim_set_transmit_status("A1", 0);
  QTest::mouseClick(FormMain->BitBtnTxAll, Qt::LeftButton);
  ASSERT_EQ(RxLineCount(), 4);
  std::vector<int64_t> handedOver;
  for (int row = 1; row <= 3; ++row)
    handedOver.push_back(RxModel()->At(row).TimeUs);
  ASSERT_TRUE(WaitUntil([] { return CountPrefix(Requests(), "01 05 00 00 00 01 00 00 21 03") >= 3; }));
  const int64_t beforeAccepting = FormMain->DevComm()->ElapsedUs();
  sim_set_transmit_status("A1", 1);
  ASSERT_TRUE(WaitUntil([&] { return RxModel()->At(3).TimeUs != handedOver[2]; }));
  EXPECT_EQ(RxModel()->At(0).TimeUs, received);
  for (int row = 1; row <= 3; ++row) {
    EXPECT_GE(RxModel()->At(row).TimeUs, beforeAccepting) << row;
    EXPECT_EQ(RxLine(row), QString("Tx\tStd\t  32%1\t0%2").arg(row).arg(row + 4));
  }
}

// The choices are written to the settings file only once they were
// changed, so a user who never touches them keeps the file as it was.
TEST_F(LogView, ChoicesSurviveARestartAndUntouchedOnesAreNotWritten) {
  Restart();
  EXPECT_FALSE(Settings().contains("TimeStamps"));
  EXPECT_FALSE(Settings().contains("Rates"));
  FormMain->mv_TimeStamps->trigger();
  FormMain->mv_Rates->trigger();
  Restart();
  EXPECT_TRUE(Settings().contains("TimeStamps=1\r\n"));
  EXPECT_TRUE(Settings().contains("Rates=0\r\n"));
  EXPECT_TRUE(FormMain->mv_TimeStamps->isChecked());
  EXPECT_TRUE(RxModel()->ShowTime());
  EXPECT_FALSE(FormMain->mv_Rates->isChecked());
  FormMain->mv_TimeStamps->trigger();
  FormMain->mv_Rates->trigger();
  Restart();
  EXPECT_TRUE(Settings().contains("TimeStamps=0\r\n"));
  EXPECT_TRUE(Settings().contains("Rates=1\r\n"));
  EXPECT_FALSE(FormMain->mv_TimeStamps->isChecked());
}

TEST_F(LogView, RatePanelFollowsTheConnectionAndTheMenu) {
  FormMain->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(FormMain));
  auto *panel = FormMain->StatusBar1->findChild<QLabel *>("StatusPanelRates");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(RatesText(), "");
  Connect();
  EXPECT_EQ(RatesText(), "Rx 0/s  Tx 0/s  Load 0.0 %");
  // The panel sits after the counters.
  EXPECT_GT(panel->x(), FormMain->StatusBar1->findChild<QLabel *>("StatusPanel2")->x());
  EXPECT_TRUE(panel->isVisible());
  for (int i = 0; i < 20; ++i) {
    auto f = FrameBytes(0, 0, 0, 0);
    sim_inject_frame("A1", f.data());
  }
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 20; }));
  // The next reading (once a second) counts them.
  ASSERT_TRUE(WaitUntil([] { return RatesText() != "Rx 0/s  Tx 0/s  Load 0.0 %"; }));
  EXPECT_TRUE(RatesText().contains(QRegularExpression(R"(^Rx \d+/s  Tx 0/s  Load \d+\.\d %$)")))
      << RatesText().toStdString();
  FormMain->mv_Rates->trigger();
  EXPECT_FALSE(panel->isVisible());
  FormMain->mv_Rates->trigger();
  EXPECT_TRUE(panel->isVisible());
  FormMain->Disconnect();
  EXPECT_EQ(RatesText(), "");
}

} // namespace

namespace {

// A log longer than its view: keys and clicks move by whole rows, and the
// row under the mouse is the one that is chosen.
TEST_F(LogView, KeysAndClicksReachEveryRowOfALongLog) {
  Connect();
  for (int i = 0; i < 200; ++i) {
    auto f = FrameBytes(0, 0, 2, 0x100 + i, {uint8_t(i), 0x55});
    sim_inject_frame("A1", f.data());
  }
  ASSERT_TRUE(WaitUntil([] { return RxLineCount() == 200; }));
  TFrameLogView *v = FormMain->ListBoxRx;
  const int h = v->RowHeight();
  const int page = v->viewport()->height() / h;
  ASSERT_GT(page, 2);
  ASSERT_LT(page, 200);
  auto shown = [v](int row) { return v->viewport()->rect().contains(v->visualRect(v->model()->index(row, 0))); };
  v->setFocus();
  QTest::keyClick(v, Qt::Key_Home);
  EXPECT_EQ(v->currentIndex().row(), 0);
  EXPECT_TRUE(shown(0));
  QTest::keyClick(v, Qt::Key_PageDown);
  EXPECT_EQ(v->currentIndex().row(), page);
  EXPECT_TRUE(shown(page));
  QTest::keyClick(v, Qt::Key_End);
  EXPECT_EQ(v->currentIndex().row(), 199);
  EXPECT_TRUE(shown(199));
  EXPECT_FALSE(shown(199 - page));
  // The third row shown, then with Shift the fifth: three lines to copy.
  const int first = v->indexAt(QPoint(5, 1)).row();
  QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, QPoint(20, 2 * h + h / 2));
  QTest::mouseClick(v->viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(20, 4 * h + h / 2));
  QTest::keyClick(v, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(),
            QStringList({RxLine(first + 2), RxLine(first + 3), RxLine(first + 4)}).join('\n'));
}

} // namespace
