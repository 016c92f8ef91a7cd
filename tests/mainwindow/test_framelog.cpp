// SPDX-License-Identifier: GPL-3.0-or-later
// The frame log: receive timer, counters, view filter, clearing.

#include "GuiHelpers.h"
#include "comm/UnitComm.h"
#include "config/IniFile.h"
#include "mainwindow/UnitMain.h"

#include <QTemporaryFile>

#include <QComboBox>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <thread>

namespace {

class FrameLog : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    sim_add_adapter("A1");
    Connect();
  }
  void Inject(uint32_t id, uint8_t kind = 0, std::vector<uint8_t> data = {0x11, 0x22}) {
    auto f = FrameBytes(kind, 0, static_cast<uint8_t>(data.size()), id, data);
    sim_inject_frame("A1", f.data());
  }
  void AddTxEntry(const QString &line) {
    // Through a set-up file's reader, the same way lines arrive from disk.
    QTemporaryFile f;
    ASSERT_TRUE(f.open());
    f.write(("[Messages]\r\nn=1\r\n0=" + line + "\r\n").toLatin1());
    f.close();
    TIniFile ini(f.fileName());
    FormMain->LoadSetup(ini);
  }
};

TEST_F(FrameLog, ReceivedFramesAreLoggedCountedAndSelected) {
  Inject(0x123);
  Inject(0x1ABCD, 4, {0x0A});
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 2; }));
  ASSERT_EQ(RxLineCount(), 2);
  EXPECT_EQ(RxLine(0), "Rx\tStd\t  123\t11\t22");
  EXPECT_EQ(RxLine(1), "Rx\tExt\t1ABCD\t0A");
  EXPECT_EQ(RxItemIndex(), 1);
  EXPECT_EQ(StatusPanel(1), "Rx: 2");
}

// Frames the communication thread already holds when the user disconnects
// reach the log and the counter: while this test runs, no event is
// processed, so the receive timer cannot take them before the click.
TEST_F(FrameLog, DisconnectKeepsTheFramesAlreadyTakenFromTheAdapter) {
  Settle();
  const int before = RxCounter();
  const int lines = RxLineCount();
  for (uint32_t id = 0; id < 20; ++id)
    Inject(0x200 + id);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (sim_frames_delivered("A1") < 20 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  ASSERT_EQ(sim_frames_delivered("A1"), 20);
  QTest::mouseClick(FormMain->SpeedButtonConnect, Qt::LeftButton);
  ASSERT_EQ(FormMain->DevComm(), nullptr);
  EXPECT_EQ(RxCounter(), before + 20);
  ASSERT_EQ(RxLineCount(), lines + 20);
  EXPECT_EQ(RxLine(lines + 19), "Rx\tStd\t  213\t11\t22");
}

// A quiet connection lets the receive timer slow down; the thread wakes
// it when a frame comes. The slowed timer is set here to an hour, so only
// the wake can bring the frame to the log.
TEST_F(FrameLog, AFrameAfterAQuietSpellWakesTheLog) {
  ASSERT_TRUE(WaitUntil([] { return FormMain->TimerReceive->interval() > 10; }));
  FormMain->TimerReceive->setInterval(3600 * 1000);
  Inject(0x321);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 1; }));
  EXPECT_EQ(RxLine(0), "Rx\tStd\t  321\t11\t22");
  EXPECT_EQ(FormMain->TimerReceive->interval(), 10) << "frames coming: the timer ticks at its pace again";
}

TEST_F(FrameLog, OnlyTransmittedViewCountsReceivedFramesWithoutLines) {
  FormMain->ComboBoxView->setCurrentIndex(2);
  Inject(0x1);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 1; }));
  EXPECT_EQ(RxLineCount(), 0);
  EXPECT_EQ(StatusPanel(1), "Rx: 1");
}

TEST_F(FrameLog, NoViewSelectedListsReceivedButNotTransmitted) {
  FormMain->ComboBoxView->setCurrentIndex(-1);
  Inject(0x2);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 1; }));
  EXPECT_EQ(RxLineCount(), 1);
  AddTxEntry("Std\t  555\t01");
  FormMain->BitBtnTxAllClick();
  EXPECT_EQ(TxCounter(), 1);
  EXPECT_EQ(RxLineCount(), 1);
}

TEST_F(FrameLog, SwitchingTheViewKeepsExistingLinesAndClearKeepsCounters) {
  Inject(0x3);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 1; }));
  FormMain->ComboBoxView->setCurrentIndex(2);
  EXPECT_EQ(RxLineCount(), 1);
  FormMain->ComboBoxView->setCurrentIndex(0);
  FormMain->BitBtnRxClearClick();
  EXPECT_EQ(RxLineCount(), 0);
  EXPECT_EQ(StatusPanel(1), "Rx: 1");
  Inject(0x4);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 2; }));
  EXPECT_EQ(StatusPanel(1), "Rx: 2");
  EXPECT_EQ(RxLineCount(), 1);
}

TEST_F(FrameLog, FramesComeInTheOrderTheAdapterGaveThem) {
  for (uint32_t id = 0x100; id < 0x120; ++id)
    Inject(id, 0, {});
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 32; }));
  for (int i = 0; i < 32; ++i)
    EXPECT_EQ(RxLine(i), QString("Rx\tStd\t  %1").arg(0x100 + i, 3, 16).toUpper().replace("RX\tSTD", "Rx\tStd"));
}

TEST_F(FrameLog, DisconnectedLogGetsNothingAndCountersStay) {
  Inject(0x5);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 1; }));
  FormMain->Disconnect();
  FormMain->TimerReceiveTimer(); // no thread: nothing
  EXPECT_EQ(RxLineCount(), 1);
  EXPECT_EQ(StatusPanel(1), "Rx: 1");
  EXPECT_EQ(StatusPanel(2), "Tx: 0");
}

} // namespace
