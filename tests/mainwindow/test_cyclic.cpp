// SPDX-License-Identifier: GPL-3.0-or-later
// Cyclic transmission and the cycle times in set-up files.

#include "GuiHelpers.h"
#include "comm/UnitComm.h"
#include "config/IniFile.h"
#include "mainwindow/CyclicSchedule.h"
#include "mainwindow/UnitMain.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

class Cyclic : public GuiTest {
protected:
  QTemporaryDir dir;
  QString Path(const char *name) const { return dir.filePath(name); }
  void Load(const QByteArray &text) {
    QFile f(Path("load.vni"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    TIniFile ini(f.fileName());
    FormMain->LoadSetup(ini);
  }
  QByteArray Save(const char *name) {
    {
      TIniFile ini(Path(name));
      FormMain->SaveSetup(ini);
      ini.UpdateFile();
    }
    QFile f(Path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  // Frames the adapter accepted for transmission, by their first data byte.
  static int Sent(uint8_t marker) {
    int n = 0;
    for (const auto &w : Trace())
      if (w.out && w.bytes.size() == 20 && w.bytes[0] == 0x01 && w.bytes[1] == 0x05 && w.bytes[12] == marker)
        ++n;
    return n;
  }
  const QByteArray threeFrames = "[Messages]\r\nn=3\r\n0=Std\t  100\tAA\r\n1=Std\t  200\tBB\r\n2=Std\t  300\tCC\r\n";
};

TEST_F(Cyclic, FramesGoOutOnTheirPeriodsCountedAndLogged) {
  sim_add_adapter("A1");
  Load(threeFrames + "[Cycles]\r\n0=10\r\n2=200\r\n");
  EXPECT_EQ(TxCycles(), (std::vector<int>{10, 0, 200}));
  EXPECT_FALSE(FormMain->BitBtnTxCyclic->isHidden());
  // Not connected: nothing starts.
  FormMain->BitBtnTxCyclic->click();
  EXPECT_FALSE(CyclicRunning());
  EXPECT_FALSE(FormMain->BitBtnTxCyclic->isChecked());

  Connect();
  FormMain->BitBtnTxCyclic->click();
  ASSERT_TRUE(CyclicRunning());
  // Both go out at once; then the 10 ms frame many times before the 200 ms
  // frame has gone out three times.
  ASSERT_TRUE(WaitUntil([] { return Sent(0xCC) >= 3; }));
  FormMain->BitBtnTxCyclic->click();
  EXPECT_FALSE(CyclicRunning());
  const int tx = TxCounter();
  ASSERT_TRUE(WaitUntil([&] { return sim_frames_transmitted("A1") == tx; }));
  const int fast = Sent(0xAA), slow = Sent(0xCC);
  EXPECT_EQ(Sent(0xBB), 0);
  EXPECT_EQ(fast + slow, tx);
  EXPECT_GE(slow, 3);
  EXPECT_GT(fast, 2 * slow);
  // Every frame sent has its line in the log.
  EXPECT_EQ(RxLineCount(), tx);
  EXPECT_EQ(StatusPanel(2), QString("Tx: %1").arg(tx));
  // Stopped means stopped.
  Settle();
  EXPECT_EQ(TxCounter(), tx);
}

TEST_F(Cyclic, DisconnectingOrLosingEveryCycleStopsIt) {
  sim_add_adapter("A1");
  Load(threeFrames + "[Cycles]\r\n1=5\r\n");
  Connect();
  FormMain->BitBtnTxCyclic->click();
  ASSERT_TRUE(WaitUntil([] { return Sent(0xBB) >= 2; }));
  FormMain->Disconnect();
  EXPECT_FALSE(CyclicRunning());
  EXPECT_FALSE(FormMain->BitBtnTxCyclic->isChecked());

  Connect();
  FormMain->BitBtnTxCyclic->click();
  ASSERT_TRUE(CyclicRunning());
  SetTxItemIndex(1);
  FormMain->BitBtnDeleteClick();
  EXPECT_FALSE(CyclicRunning());
  EXPECT_TRUE(FormMain->BitBtnTxCyclic->isHidden());
}

// An adapter that does not send: the cycle stops handing frames over once
// the bound waits, and goes on once the adapter sends again.
TEST_F(Cyclic, StuckAdapterDoesNotMakeTheQueueGrow) {
  sim_add_adapter("A1");
  Load(threeFrames + "[Cycles]\r\n0=1\r\n");
  Connect();
  sim_set_transmit_status("A1", 0);
  FormMain->BitBtnTxCyclic->click();
  const int bound = static_cast<int>(TDevComm::TransmitWaitingBound);
  ASSERT_TRUE(WaitUntil([&] { return TxCounter() >= bound; }));
  // Two hundred more refused attempts: time enough for hundreds of periods.
  const int attempts = CountPrefix(Requests(), "01 05");
  ASSERT_TRUE(WaitUntil([&] { return CountPrefix(Requests(), "01 05") >= attempts + 200; }));
  EXPECT_EQ(TxCounter(), bound);
  sim_set_transmit_status("A1", 1);
  ASSERT_TRUE(WaitUntil([&] { return TxCounter() > bound + 50; }));
  FormMain->BitBtnTxCyclic->click();
  const int tx = TxCounter();
  ASSERT_TRUE(WaitUntil([&] { return sim_frames_transmitted("A1") == tx; }));
}

// Without cycle times the button stays hidden.
TEST_F(Cyclic, WithoutCycleTimesTheWindowIsAsBefore) {
  Load(threeFrames);
  EXPECT_EQ(TxCycles(), (std::vector<int>{0, 0, 0}));
  EXPECT_TRUE(FormMain->BitBtnTxCyclic->isHidden());
  sim_add_adapter("A1");
  FormMain->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(FormMain));
  QTest::keyClick(FormMain, Qt::Key_C, Qt::AltModifier);
  ASSERT_TRUE(WaitUntil([] { return FormMain->DevComm() != nullptr; }));
}

TEST_F(Cyclic, CyclesSectionRoundTripsAndIsLeftOutWhenEmpty) {
  Load(threeFrames + "[Cycles]\r\n0=10\r\n2=60000\r\n");
  const QByteArray saved = Save("a.vni");
  EXPECT_TRUE(saved.contains("[Cycles]\r\n0=10\r\n2=60000\r\n")) << saved.toStdString();
  Load(threeFrames);
  Load(saved);
  EXPECT_EQ(TxCycles(), (std::vector<int>{10, 0, 60000}));

  // A file without cycles is written as it always was; stale cycles of a
  // file saved before go.
  Load(threeFrames);
  EXPECT_FALSE(Save("b.vni").contains("Cycles"));
  QFile::copy(Path("a.vni"), Path("c.vni"));
  EXPECT_FALSE(Save("c.vni").contains("Cycles"));
}

TEST_F(Cyclic, DamagedCycleValuesAreBroughtIntoRange) {
  Load(threeFrames + "[Cycles]\r\n0=-5\r\n1=999999\r\n2=fast\r\n3=10\r\n");
  EXPECT_EQ(TxCycles(), (std::vector<int>{0, 60000, 0}));
  // A zero count brings no list and keeps the cycles of the one shown.
  Load("[Messages]\r\nn=0\r\n[Cycles]\r\n0=1\r\n");
  EXPECT_EQ(TxCycles(), (std::vector<int>{0, 60000, 0}));
}

// The schedule alone: every entry with a cycle is due at the start, then
// once a cycle; a late look skips the periods missed instead of catching up.
TEST(CyclicSchedule, DueOncePerCycleAndNeverInABurst) {
  TTransmitList list;
  for (int cycle : {10, 0, 25}) {
    TTransmitEntry e;
    e.CycleMs = cycle;
    list.Append(e);
  }
  StartCycles(list, 100);
  EXPECT_EQ(TakeDueEntries(list, 100), (std::vector<size_t>{0, 2}));
  EXPECT_TRUE(TakeDueEntries(list, 109).empty());
  EXPECT_EQ(TakeDueEntries(list, 110), (std::vector<size_t>{0}));
  EXPECT_EQ(TakeDueEntries(list, 125), (std::vector<size_t>{0, 2}));
  // Half a second late: each entry once, then on its period from now.
  EXPECT_EQ(TakeDueEntries(list, 625), (std::vector<size_t>{0, 2}));
  EXPECT_TRUE(TakeDueEntries(list, 634).empty());
  EXPECT_EQ(TakeDueEntries(list, 635), (std::vector<size_t>{0}));
}

} // namespace
