// SPDX-License-Identifier: GPL-3.0-or-later
// The transmit list: New, Edit, Delete, Transmit, double click, Tx all.

#include "GuiHelpers.h"
#include "comm/UnitComm.h"
#include "config/IniFile.h"
#include "dialogs/LimitedEdit.h"
#include "dialogs/UnitEditMsg.h"
#include "mainwindow/TransmitList.h"
#include "mainwindow/UnitMain.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryFile>
#include <QTest>

namespace {

class TxList : public GuiTest {
protected:
  void Load(const QStringList &lines) {
    QTemporaryFile f;
    ASSERT_TRUE(f.open());
    QByteArray text = "[Messages]\r\nn=" + QByteArray::number(lines.size()) + "\r\n";
    for (int i = 0; i < lines.size(); ++i)
      text += QByteArray::number(i) + "=" + lines[i].toLatin1() + "\r\n";
    f.write(text);
    f.close();
    TIniFile ini(f.fileName());
    FormMain->LoadSetup(ini);
  }
  // Frames the adapter accepted, as frame lines without prefix.
  static std::vector<std::string> SentIds() {
    std::vector<std::string> ids;
    for (const auto &w : Trace())
      if (w.out && w.bytes.size() == 20)
        ids.push_back(Hex({w.bytes[9], w.bytes[8]}));
    return ids;
  }
  const QStringList three{"Std\t  111\t01", "Ext\t00222\t02\t03", "Std\t  333\tremote request (DLC=2)"};
};

TEST_F(TxList, NewAppendsAndSelectsCancelLeavesEverythingAsItWas) {
  Load(three);
  SetTxItemIndex(0);
  ModalDriver d;
  d.Then(RejectDialog());
  FormMain->BitBtnNewClick();
  EXPECT_EQ(TxLines(), three);
  EXPECT_EQ(TxItemIndex(), 0);
  d.Then([](QWidget *) {
    FormEditMsg->RadioExtended->setChecked(true);
    QTest::keyClicks(FormEditMsg->LabeledEditID, "1abcd");
    QTest::keyClicks(FormEditMsg->DataEdits[0], "a");
    FormEditMsg->BitBtnOk->click();
  });
  FormMain->BitBtnNewClick();
  ASSERT_EQ(TxLines().size(), 4);
  EXPECT_EQ(TxLines()[3], "Ext\t1ABCD\t0A");
  EXPECT_EQ(TxItemIndex(), 3);
  EXPECT_EQ(::TxList().Size(), 4u);
  EXPECT_EQ(::TxList().At(3).Frame.Command, 0); // not sent yet
}

TEST_F(TxList, EditChangesOnlyItsLineCancelChangesNothing) {
  Load(three);
  SetTxItemIndex(1);
  ModalDriver d;
  d.Then([](QWidget *) {
    FormEditMsg->LabeledEditID->setText("FFF");
    FormEditMsg->BitBtnCancel->click();
  });
  FormMain->BitBtnTxEditClick();
  EXPECT_EQ(TxLines(), three);
  EXPECT_EQ(::TxList().At(1).Frame.ID, 0x222u);
  d.Then([](QWidget *) {
    EXPECT_EQ(FormEditMsg->LabeledEditID->text(), "00222");
    FormEditMsg->RadioStandard->setChecked(true);
    FormEditMsg->BitBtnOk->click();
  });
  FormMain->BitBtnTxEditClick();
  EXPECT_EQ(TxLines()[1], "Std\t  222\t02\t03");
  EXPECT_EQ(TxLines()[0], three[0]);
  EXPECT_EQ(TxLines()[2], three[2]);
  EXPECT_EQ(TxItemIndex(), 1);
}

TEST_F(TxList, CommandsWithoutSelectionDoNothing) {
  Load(three);
  SetTxItemIndex(-1);
  ModalDriver d; // no dialog may open
  FormMain->BitBtnTxEditClick();
  FormMain->BitBtnDeleteClick();
  sim_add_adapter("A1");
  Connect();
  sim_trace_clear();
  FormMain->BitBtnTxClick();
  EXPECT_EQ(TxLines(), three);
  EXPECT_EQ(TxCounter(), 0);
  EXPECT_TRUE(SentIds().empty());
  EXPECT_TRUE(d.Seen.isEmpty());
}

TEST_F(TxList, DeleteSelectsTheLineBeforeOrNothing) {
  Load(three);
  SetTxItemIndex(1);
  FormMain->BitBtnDeleteClick();
  EXPECT_EQ(TxLines(), (QStringList{three[0], three[2]}));
  EXPECT_EQ(TxItemIndex(), 0);
  EXPECT_EQ(::TxList().At(1).Frame.ID, 0x333u);
  FormMain->BitBtnDeleteClick(); // the first: nothing selected afterwards
  EXPECT_EQ(TxLines(), QStringList{three[2]});
  EXPECT_EQ(TxItemIndex(), -1);
  SetTxItemIndex(0);
  FormMain->BitBtnDeleteClick();
  EXPECT_TRUE(TxLines().isEmpty());
  EXPECT_TRUE(::TxList().Empty());
  EXPECT_EQ(TxItemIndex(), -1);
}

TEST_F(TxList, NothingIsSentWhileDisconnected) {
  Load(three);
  SetTxItemIndex(0);
  FormMain->BitBtnTxClick();
  FormMain->BitBtnTxAllClick();
  EXPECT_EQ(TxCounter(), 0);
  EXPECT_EQ(RxLineCount(), 0);
  EXPECT_EQ(StatusPanel(2), "");
}

TEST_F(TxList, TransmitAllSendsLogsAndCountsInListOrder) {
  Load(three);
  SetTxItemIndex(2);
  sim_add_adapter("A1");
  Connect();
  FormMain->BitBtnTxAllClick();
  EXPECT_EQ(TxCounter(), 3);
  EXPECT_EQ(StatusPanel(2), "Tx: 3");
  ASSERT_EQ(RxLineCount(), 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(RxLine(i), "Tx\t" + three[i]);
  EXPECT_EQ(RxItemIndex(), 2);
  EXPECT_EQ(TxItemIndex(), 2); // the list's selection is untouched
  ASSERT_TRUE(WaitUntil([] { return sim_frames_transmitted("A1") == 3; }));
  EXPECT_EQ(SentIds(), (std::vector<std::string>{"01 11", "02 22", "03 33"}));
  // The remote request went out with its length and kind.
  for (const auto &w : Trace()) {
    if (w.out && w.bytes.size() == 20 && w.bytes[8] == 0x33) {
      EXPECT_EQ(Hex(w.bytes), "01 05 00 02 00 02 00 00 33 03 00 00 00 00 00 00 00 00 00 00");
    }
  }
}

// A set-up file may hold an identifier wider than its kind: the list shows
// what the file holds, the bus gets the identifier masked by the kind.
TEST_F(TxList, IdentifiersFromASetUpFileReachTheAdapterMasked) {
  Load({"Ext\tFFFFFFFF\t11", "Std\t  FFF\t22"});
  const QStringList shown = TxLines();
  sim_add_adapter("A1");
  Connect();
  QTest::mouseClick(FormMain->BitBtnTxAll, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([] { return sim_frames_transmitted("A1") == 2; }));
  std::vector<std::string> ids;
  for (const auto &w : Trace())
    if (w.out && w.bytes.size() == 20)
      ids.push_back(Hex({w.bytes[11], w.bytes[10], w.bytes[9], w.bytes[8]}));
  EXPECT_EQ(ids, (std::vector<std::string>{"1F FF FF FF", "00 00 07 FF"}));
  EXPECT_EQ(TxLines(), shown);
  EXPECT_EQ(::TxList().At(0).Frame.ID, 0xFFFFFFFFu);
}

TEST_F(TxList, OnlyReceivedViewSendsAndCountsWithoutLines) {
  Load(three);
  sim_add_adapter("A1");
  Connect();
  FormMain->ComboBoxView->setCurrentIndex(1);
  FormMain->BitBtnTxAllClick();
  EXPECT_EQ(TxCounter(), 3);
  EXPECT_EQ(RxLineCount(), 0);
  ASSERT_TRUE(WaitUntil([] { return sim_frames_transmitted("A1") == 3; }));
}

TEST_F(TxList, TransmitTwiceAndDoubleClickSendSeparateCopies) {
  Load(three);
  sim_add_adapter("A1");
  Connect();
  SetTxItemIndex(1);
  FormMain->BitBtnTxClick();
  const QRect r = FormMain->ListBoxTx->visualRect(FormMain->ListBoxTx->model()->index(1, 0));
  QTest::mouseClick(FormMain->ListBoxTx->viewport(), Qt::LeftButton, {}, r.center());
  QTest::mouseDClick(FormMain->ListBoxTx->viewport(), Qt::LeftButton, {}, r.center());
  EXPECT_EQ(TxCounter(), 2);
  EXPECT_EQ(RxLineCount(), 2);
  EXPECT_EQ(RxLine(1), "Tx\t" + three[1]);
  ASSERT_TRUE(WaitUntil([] { return sim_frames_transmitted("A1") == 2; }));
  EXPECT_EQ(SentIds(), (std::vector<std::string>{"02 22", "02 22"}));
  EXPECT_EQ(::TxList().At(1).Frame.Command, 0x0501); // set by the reader, never by sending
}

TEST_F(TxList, LoopbackBringsTransmittedFramesBackAsReceived) {
  Load({"Std\t  7FF\tDE\tAD"});
  FormMain->DevConfig().LoopbackMode = 1;
  sim_add_adapter("A1");
  Connect();
  SetTxItemIndex(0);
  FormMain->BitBtnTxClick();
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 1; }));
  EXPECT_EQ(RxLine(0), "Tx\tStd\t  7FF\tDE\tAD");
  EXPECT_EQ(RxLine(1), "Rx\tStd\t  7FF\tDE\tAD");
}

} // namespace

namespace {

// Tx all does not wait for the thread frame by frame: five thousand frames
// are handed over, counted and logged within a few rounds of the thread
// (each round of an adapter that refuses makes one attempt), where a
// hand-over per round would take five thousand. Disconnecting then frees
// every frame still waiting (the sanitizer builds check).
TEST_F(TxList, TxAllHandsOverWithoutWaitingRoundByRound) {
  QStringList lines;
  for (int i = 0; i < 5000; ++i)
    lines << QString("Std\t  %1\t%2").arg(0x100 + i % 0x100, 3, 16, QChar('0')).arg(i % 256, 2, 16, QChar('0')).toUpper();
  Load(lines);
  sim_add_adapter("A1");
  Connect();
  sim_set_transmit_status("A1", 0);
  const int attemptsBefore = CountPrefix(Requests(), "01 05");
  FormMain->BitBtnTxAllClick();
  const int attempts = CountPrefix(Requests(), "01 05") - attemptsBefore;
  EXPECT_EQ(TxCounter(), 5000);
  EXPECT_EQ(RxLineCount(), 5000);
  EXPECT_LT(attempts, 1000);
  EXPECT_EQ(sim_frames_transmitted("A1"), 0);
  ASSERT_TRUE(WaitUntil([] { return FormMain->DevComm()->WaitingFrames() == 5000; }));
  QTest::mouseClick(FormMain->SpeedButtonConnect, Qt::LeftButton);
  EXPECT_EQ(FormMain->DevComm(), nullptr);
}

} // namespace
