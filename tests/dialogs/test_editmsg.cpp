// SPDX-License-Identifier: GPL-3.0-or-later
// The frame editor: what it shows, what OK stores, the focus advance.

#include "GuiHelpers.h"
#include "dialogs/LimitedEdit.h"
#include "dialogs/UnitEditMsg.h"
#include "mainwindow/UnitMain.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <cstring>

namespace {

class EditMsg : public GuiTest {
protected:
  // Opens the editor on msg (or empty), lets fn work the controls, then OK.
  bool Run(TCanMessage &msg, bool isNew, std::function<void()> fn, bool ok = true) {
    ModalDriver d;
    d.Then([&](QWidget *) {
      fn();
      (ok ? FormEditMsg->BitBtnOk : FormEditMsg->BitBtnCancel)->click();
    });
    return isNew ? FormEditMsg->NewMessage(msg, 100, 120) : FormEditMsg->EditMessage(msg, 100, 120);
  }
  static TCanMessage Frame(uint8_t kind, uint8_t rtr, uint8_t dlc, uint32_t id) {
    TCanMessage m{};
    m.IDType = kind;
    m.RTR = rtr;
    m.DLC = dlc;
    m.ID = id;
    for (int i = 0; i < 8; ++i)
      m.Data[i] = rtr ? 0 : static_cast<uint8_t>(0x10 + i);
    return m;
  }
};

TEST_F(EditMsg, NewWithNothingEnteredIsAnEmptyStandardDataFrame) {
  TCanMessage m{};
  std::memset(&m, 0xEE, sizeof m);
  QPoint pos;
  ASSERT_TRUE(Run(m, true, [&] { pos = FormEditMsg->pos(); }));
  EXPECT_EQ(pos, QPoint(100, 120));
  EXPECT_EQ(m.IDType, 0);
  EXPECT_EQ(m.RTR, 0);
  EXPECT_EQ(m.ID, 0u);
  EXPECT_EQ(m.DLC, 0);
  EXPECT_EQ(m.Reserved1, 0xEE); // bytes the editor does not own stay untouched
}

TEST_F(EditMsg, IdentifierIsMaskedByKind) {
  struct Case {
    const char *typed;
    bool extended;
    uint32_t id;
  } cases[] = {{"800", false, 0},           {"FFFFF9", false, 0x7FF},          {"FFFFF", true, 0xFFFFF},
               {"18FEF100", true, 0x18FEF100}, {"18daf110", true, 0x18DAF110}, {"FFFFFFFF", true, 0x1FFFFFFF},
               {"1FFFFFFF7", true, 0x1FFFFFFF}};
  for (const Case &c : cases) {
    TCanMessage m{};
    ASSERT_TRUE(Run(m, true, [&] {
      // A standard identifier takes 5 characters, an extended one 8.
      QTest::mouseClick(c.extended ? FormEditMsg->RadioExtended : FormEditMsg->RadioStandard, Qt::LeftButton);
      QTest::keyClicks(FormEditMsg->LabeledEditID, c.typed);
    }));
    EXPECT_EQ(m.ID, c.id) << c.typed;
    EXPECT_EQ(m.IDType, c.extended ? 4 : 0);
  }
  QGuiApplication::clipboard()->setText("18FEF100");
  TCanMessage pasted{};
  ASSERT_TRUE(Run(pasted, true, [&] {
    QTest::mouseClick(FormEditMsg->RadioExtended, Qt::LeftButton);
    QTest::keyClick(FormEditMsg->LabeledEditID, Qt::Key_V, Qt::ControlModifier);
  }));
  EXPECT_EQ(pasted.ID, 0x18FEF100u);
}

TEST_F(EditMsg, EditingShowsTheRecordAndKeepsLongIdentifiersWhole) {
  TCanMessage m = Frame(0, 0, 2, 0x7F);
  QString shown;
  QString spin;
  ASSERT_TRUE(Run(m, false, [&] {
    shown = FormEditMsg->LabeledEditID->text();
    spin = QString::number(FormEditMsg->SpinEdit1->value());
    EXPECT_EQ(FormEditMsg->TabbedNotebook1->currentIndex(), 0);
    EXPECT_EQ(FormEditMsg->DataEdits[1]->text(), "11");
    EXPECT_EQ(FormEditMsg->DataEdits[2]->text(), "");
  }));
  EXPECT_EQ(shown, "07F");
  EXPECT_EQ(spin, "2");
  TCanMessage big = Frame(4, 0, 0, 0x1ABCDEF0 & 0x1FFFFFFF);
  ASSERT_TRUE(Run(big, false, [&] { shown = FormEditMsg->LabeledEditID->text(); }));
  EXPECT_EQ(shown, "1ABCDEF0");
  EXPECT_EQ(big.ID, 0x1ABCDEF0u);
}

TEST_F(EditMsg, SwitchingToStandardMasksTheIdentifier) {
  TCanMessage m = Frame(4, 0, 0, 0x12345);
  ASSERT_TRUE(Run(m, false, [] { FormEditMsg->RadioStandard->setChecked(true); }));
  EXPECT_EQ(m.IDType, 0);
  EXPECT_EQ(m.ID, 0x345u);
}

TEST_F(EditMsg, DataLengthEndsAtTheFirstEmptyEditAndTextIsHex) {
  TCanMessage m{};
  ASSERT_TRUE(Run(m, true, [] {
    FormEditMsg->DataEdits[0]->setText("11");
    FormEditMsg->DataEdits[2]->setText("33");
  }));
  EXPECT_EQ(m.DLC, 1);
  EXPECT_EQ(m.Data[0], 0x11);
  ASSERT_TRUE(Run(m, true, [] {
    FormEditMsg->DataEdits[0]->setText("a");
    FormEditMsg->DataEdits[1]->setText("G");
    FormEditMsg->DataEdits[2]->setText("1 ");
    FormEditMsg->DataEdits[3]->setText(" 1");
  }));
  EXPECT_EQ(m.DLC, 4);
  EXPECT_EQ(m.Data[0], 0x0A);
  EXPECT_EQ(m.Data[1], 0x00);
  EXPECT_EQ(m.Data[2], 0x10);
  EXPECT_EQ(m.Data[3], 0x01);
}

TEST_F(EditMsg, RemotePageMakesARemoteRequest) {
  TCanMessage m{};
  ASSERT_TRUE(Run(m, true, [] {
    FormEditMsg->DataEdits[0]->setText("55");
    FormEditMsg->TabbedNotebook1->setCurrentIndex(1);
    FormEditMsg->SpinEdit1->setValue(3);
  }));
  EXPECT_EQ(m.RTR, 2);
  EXPECT_EQ(m.DLC, 3);
  for (uint8_t b : m.Data)
    EXPECT_EQ(b, 0);
}

TEST_F(EditMsg, RemoteRequestOpensOnItsPageAndTurnsIntoZeroDataOnTheDataPage) {
  TCanMessage m = Frame(0, 2, 3, 0x10);
  int page = -1, spin = -1;
  ASSERT_TRUE(Run(m, false, [&] {
    page = FormEditMsg->TabbedNotebook1->currentIndex();
    spin = FormEditMsg->SpinEdit1->value();
    FormEditMsg->TabbedNotebook1->setCurrentIndex(0);
    EXPECT_EQ(FormEditMsg->DataEdits[2]->text(), "00");
  }));
  EXPECT_EQ(page, 1);
  EXPECT_EQ(spin, 3);
  EXPECT_EQ(m.RTR, 0);
  EXPECT_EQ(m.DLC, 3);
}

// The editor is one dialog for every call: a new frame after an extended
// remote request starts afresh.
TEST_F(EditMsg, NewAfterEditingAnExtendedRemoteRequestIsAStandardDataFrame) {
  TCanMessage edited = Frame(4, 2, 3, 0x12345);
  bool extendedShown = false;
  ASSERT_TRUE(Run(edited, false, [&] { extendedShown = FormEditMsg->RadioExtended->isChecked(); }));
  EXPECT_TRUE(extendedShown);
  EXPECT_EQ(edited.IDType, 4);
  EXPECT_EQ(edited.RTR, 2);
  TCanMessage m{};
  int page = -1;
  bool standardShown = false;
  ASSERT_TRUE(Run(m, true, [&] {
    page = FormEditMsg->TabbedNotebook1->currentIndex();
    standardShown = FormEditMsg->RadioStandard->isChecked();
    QTest::keyClicks(FormEditMsg->DataEdits[0], "7");
  }));
  EXPECT_EQ(page, 0);
  EXPECT_TRUE(standardShown);
  EXPECT_EQ(m.IDType, 0);
  EXPECT_EQ(m.RTR, 0);
  EXPECT_EQ(m.DLC, 1);
  EXPECT_EQ(m.Data[0], 0x07);
}

TEST_F(EditMsg, CancelLeavesTheRecordUntouched) {
  TCanMessage m = Frame(4, 0, 5, 0x1234);
  const TCanMessage before = m;
  EXPECT_FALSE(Run(
      m, false,
      [] {
        FormEditMsg->RadioStandard->setChecked(true);
        FormEditMsg->LabeledEditID->setText("1");
        FormEditMsg->DataEdits[0]->clear();
        FormEditMsg->TabbedNotebook1->setCurrentIndex(1);
        FormEditMsg->SpinEdit1->setValue(8);
      },
      false));
  EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
}

TEST_F(EditMsg, TwoDigitsMoveTheFocusOnOverFullEditsToOk) {
  TCanMessage m{};
  QWidget *afterFirst = nullptr, *afterRelease = nullptr;
  ASSERT_TRUE(Run(m, true, [&] {
    FormEditMsg->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(FormEditMsg));
    for (int k = 1; k < 8; ++k)
      FormEditMsg->DataEdits[k]->setText("AB");
    FormEditMsg->DataEdits[0]->setFocus();
    QTest::keyClick(FormEditMsg->DataEdits[0], Qt::Key_1);
    QTest::keyClick(FormEditMsg->DataEdits[0], Qt::Key_2);
    afterFirst = FormEditMsg->focusWidget();
    FormEditMsg->DataEdits[3]->setFocus();
    QTest::keyClick(FormEditMsg->DataEdits[3], Qt::Key_Shift); // any key release
    afterRelease = FormEditMsg->focusWidget();
  }));
  EXPECT_EQ(afterFirst, FormEditMsg->BitBtnOk);
  EXPECT_EQ(afterRelease, FormEditMsg->BitBtnOk);
  EXPECT_EQ(m.DLC, 8);
  EXPECT_EQ(m.Data[0], 0x12);
}

TEST_F(EditMsg, IdentifierEditTakesEightTypedCharactersButShortensLongText) {
  TCanMessage m = Frame(4, 0, 0, 0x1234567);
  m.ID = 0x12345678; // eight digits: the extended limit
  QString after;
  ASSERT_TRUE(Run(m, false, [&] {
    QLineEdit *e = FormEditMsg->LabeledEditID;
    e->setFocus();
    e->end(false);
    QTest::keyClick(e, Qt::Key_9); // longer than the limit: refused
    QTest::keyClick(e, Qt::Key_Backspace);
    after = e->text();
  }));
  EXPECT_EQ(after, "1234567");
  EXPECT_EQ(m.ID, 0x1234567u);
}

} // namespace

namespace {

TEST_F(EditMsg, CycleTimeIsShownEditedAndKeptInRange) {
  TCanMessage m{};
  int cycle = 0;
  ModalDriver d;
  d.Then([&](QWidget *) {
    EXPECT_TRUE(FormEditMsg->SpinEditCycle->isVisible());
    EXPECT_EQ(FormEditMsg->SpinEditCycle->value(), 0);
    FormEditMsg->SpinEditCycle->selectAll();
    QTest::keyClicks(FormEditMsg->SpinEditCycle, "250");
    FormEditMsg->BitBtnOk->click();
  });
  ASSERT_TRUE(FormEditMsg->NewMessage(m, 100, 120, &cycle));
  EXPECT_EQ(cycle, 250);

  // Editing shows the entry's cycle; a value beyond the range is not taken.
  d.Then([&](QWidget *) {
    EXPECT_EQ(FormEditMsg->SpinEditCycle->value(), 250);
    EXPECT_EQ(FormEditMsg->SpinEditCycle->maximum(), 60000);
    FormEditMsg->SpinEditCycle->selectAll();
    QTest::keyClicks(FormEditMsg->SpinEditCycle, "70000");
    FormEditMsg->BitBtnOk->click();
  });
  ASSERT_TRUE(FormEditMsg->EditMessage(m, 100, 120, &cycle));
  EXPECT_GE(cycle, 0);
  EXPECT_LE(cycle, 60000);

  // Cancel keeps the cycle; without one to edit, the field is not shown.
  cycle = 40;
  d.Then([&](QWidget *) {
    FormEditMsg->SpinEditCycle->setValue(1000);
    FormEditMsg->BitBtnCancel->click();
  });
  EXPECT_FALSE(FormEditMsg->EditMessage(m, 100, 120, &cycle));
  EXPECT_EQ(cycle, 40);
  d.Then([&](QWidget *) {
    EXPECT_FALSE(FormEditMsg->SpinEditCycle->isVisible());
    FormEditMsg->BitBtnOk->click();
  });
  EXPECT_TRUE(FormEditMsg->EditMessage(m, 100, 120));
}

} // namespace
