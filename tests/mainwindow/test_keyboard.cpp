// SPDX-License-Identifier: GPL-3.0-or-later
// The main window from the keyboard: every Alt+letter does one thing on its
// first press, whatever the transmit list holds.

#include "GuiHelpers.h"
#include "config/IniFile.h"
#include "mainwindow/UnitMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

class Keyboard : public GuiTest, public ::testing::WithParamInterface<bool> {
protected:
  QTemporaryDir dir;
  void LoadFrames(bool cycles) {
    QByteArray text = "[Messages]\r\nn=2\r\n0=Std\t  123\t11\r\n1=Std\t  124\t22\r\n";
    if (cycles)
      text += "[Cycles]\r\n0=100\r\n";
    QFile f(dir.filePath("keys.vni"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    TIniFile ini(f.fileName());
    FormMain->LoadSetup(ini);
  }
  // The key goes to the main window once it is active again; without a
  // window manager nobody gives it back the activation a dialog took.
  static void Alt(Qt::Key key) {
    if (!FormMain->isActiveWindow())
      FormMain->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FormMain));
    Settle(); // the activation's own events first
    QTest::keyClick(FormMain, key, Qt::AltModifier);
  }
  // The letters after "&" of the shown buttons and the menu bar.
  static QStringList Mnemonics() {
    QStringList letters;
    auto add = [&](const QString &text) {
      const qsizetype amp = text.indexOf('&');
      if (amp >= 0 && amp + 1 < text.size())
        letters << text.mid(amp + 1, 1).toUpper();
    };
    for (QAbstractButton *b : FormMain->findChildren<QAbstractButton *>())
      if (b->isVisible())
        add(b->text());
    for (QAction *a : FormMain->menuBar()->actions())
      add(a->text());
    return letters;
  }
  // Alt+key opens the menu; Escape closes it again.
  static bool OpensMenu(Qt::Key key, QMenu *menu) {
    Alt(key);
    const bool shown = WaitUntil([&] { return menu->isVisible(); });
    QTest::keyClick(menu, Qt::Key_Escape);
    return shown && WaitUntil([&] { return !menu->isVisible(); });
  }
};

TEST_P(Keyboard, EveryMnemonicDoesOneThingOnItsFirstPress) {
  const bool cycles = GetParam();
  LoadFrames(cycles);
  sim_add_adapter("A1");
  ASSERT_TRUE(QTest::qWaitForWindowActive(FormMain));
  EXPECT_EQ(FormMain->BitBtnTxCyclic->isVisible(), cycles);
  const QStringList letters = Mnemonics();
  EXPECT_EQ(QSet<QString>(letters.begin(), letters.end()).size(), letters.size()) << letters.join(' ').toStdString();

  // A button's mnemonic clicks it a moment later, as a mouse click would.
  Alt(Qt::Key_C);
  ASSERT_TRUE(WaitUntil([] { return FormMain->DevComm() != nullptr; }));
  ModalDriver d;
  for (Qt::Key key : {Qt::Key_S, Qt::Key_R, Qt::Key_N}) {
    d.Then(RejectDialog());
    Alt(key);
    ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0 && !QApplication::activeModalWidget(); }));
  }
  SetTxItemIndex(0);
  d.Then(RejectDialog());
  Alt(Qt::Key_E);
  ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0 && !QApplication::activeModalWidget(); }));
  EXPECT_EQ(d.Seen, (QStringList{"FormDeviceConfig", "FormFilter", "FormEditMsg", "FormEditMsg"}));
  Alt(Qt::Key_T);
  EXPECT_TRUE(WaitUntil([] { return TxCounter() == 1; }));
  Alt(Qt::Key_A);
  EXPECT_TRUE(WaitUntil([] { return TxCounter() == 3; }));
  if (cycles) {
    Alt(Qt::Key_Y);
    EXPECT_TRUE(WaitUntil([] { return CyclicRunning(); }));
    Alt(Qt::Key_Y);
    EXPECT_TRUE(WaitUntil([] { return !CyclicRunning(); }));
  }
  ASSERT_GT(RxLineCount(), 0);
  Alt(Qt::Key_L);
  EXPECT_TRUE(WaitUntil([] { return RxLineCount() == 0; }));
  Alt(Qt::Key_D);
  EXPECT_TRUE(WaitUntil([] { return TxLines().size() == 1; }));
  Alt(Qt::Key_C);
  EXPECT_TRUE(WaitUntil([] { return FormMain->DevComm() == nullptr; }));
}

// The menus, each in a fresh window, beside the Filter button and whatever
// the transmit list shows: Alt+F opens File at once, and X there is Exit.
TEST_P(Keyboard, AltVOpensView) {
  LoadFrames(GetParam());
  EXPECT_TRUE(OpensMenu(Qt::Key_V, FormMain->mm_View));
}

TEST_P(Keyboard, AltIOpensInfo) {
  LoadFrames(GetParam());
  EXPECT_TRUE(OpensMenu(Qt::Key_I, FormMain->mm_Info));
}

TEST_P(Keyboard, AltFOpensFileAndXThereExits) {
  LoadFrames(GetParam());
  Alt(Qt::Key_F);
  ASSERT_TRUE(WaitUntil([] { return FormMain->mm_File->isVisible(); }));
  QTest::keyClick(FormMain->mm_File, Qt::Key_X);
  EXPECT_TRUE(WaitUntil([] { return !FormMain->isVisible(); }));
}

using MainWindowKeys = GuiTest;

TEST_F(MainWindowKeys, AltXExits) {
  ASSERT_TRUE(QTest::qWaitForWindowActive(FormMain));
  QTest::keyClick(FormMain, Qt::Key_X, Qt::AltModifier);
  EXPECT_TRUE(WaitUntil([] { return !FormMain->isVisible(); }));
}

INSTANTIATE_TEST_SUITE_P(CycleTimes, Keyboard, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "WithCycleTimes" : "WithoutCycleTimes"; });

} // namespace
