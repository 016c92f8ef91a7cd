// SPDX-License-Identifier: GPL-3.0-or-later
// Window layout and set-up surviving a restart through the settings file.

#include "GuiHelpers.h"
#include "config/IniFile.h"
#include "mainwindow/Application.h"
#include "mainwindow/UnitMain.h"

#include <QComboBox>
#include <QFile>
#include <QScreen>
#include <QSplitter>
#include <QTest>

namespace {

class Layout : public GuiTest {
protected:
  void Restart() {
    FormMain->close();
    DestroyForms();
    CreateForms();
    FormMain->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormMain));
  }
  void WriteSettings(const QByteArray &text) {
    FormMain->close();
    DestroyForms();
    QFile f(SettingsPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    CreateForms();
    FormMain->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormMain));
  }
};

TEST_F(Layout, FirstStartUsesDefaultsAndClosingWritesEverything) {
  EXPECT_EQ(FormMain->width(), 800);
  EXPECT_EQ(FormMain->height(), 600);
  EXPECT_EQ(FormMain->ComboBoxView->currentIndex(), 0);
  EXPECT_EQ(VerticalPos(), ClientHeight() / 2 - 40 - 19);
  EXPECT_EQ(FormMain->minimumWidth(), 548);
  EXPECT_EQ(FormMain->DevConfig().Termination, 1);
  EXPECT_EQ(FormMain->Filters()[0].Active, 1);
  FormMain->close();
  TIniFile ini(SettingsPath());
  EXPECT_EQ(ini.ReadInteger("Main", "State", -1), 0);
  EXPECT_EQ(ini.ReadInteger("Main", "Width", -1), 800);
  EXPECT_EQ(ini.ReadInteger("Main", "n", -1), 0);
  EXPECT_EQ(ini.ReadInteger("DevConfig", "Retransmission", -1), 1);
  EXPECT_EQ(ini.ReadInteger("Filter_13", "Active", -1), 0);
  EXPECT_EQ(ini.ReadInteger("Messages", "n", -1), 0);
}

TEST_F(Layout, GeometryViewSplitterAndSetUpSurviveARestart) {
  FormMain->resize(790, 700);
  FormMain->move(30, 40);
  Settle();
  FormMain->ComboBoxView->setCurrentIndex(2);
  const int client = ClientHeight();
  QList<int> sizes = FormMain->Splitter1->sizes();
  FormMain->Splitter1->setSizes({sizes[0] - 100, sizes[1] + 100});
  Settle();
  const int vertical = VerticalPos();
  FormMain->DevConfig().Speed = 7;
  FormMain->Filters()[5].Mode = 1;
  FormMain->Filters()[5].ID = 0xFFFFFFFF;
  Restart();
  EXPECT_EQ(FormMain->width(), 790);
  EXPECT_EQ(FormMain->height(), 700);
  EXPECT_EQ(ClientHeight(), client);
  EXPECT_EQ(VerticalPos(), vertical);
  EXPECT_EQ(FormMain->ComboBoxView->currentIndex(), 2);
  EXPECT_EQ(FormMain->DevConfig().Speed, 7);
  EXPECT_EQ(FormMain->Filters()[5].Mode, 1);
  EXPECT_EQ(FormMain->Filters()[5].ID, 0xFFFFFFFFu);
  EXPECT_EQ(FormMain->Filters()[5].Bank, 5);
}

TEST_F(Layout, MaximisedStateKeepsTheLastNormalBounds) {
  WriteSettings("[Main]\r\nLeftPos=11\r\nTopPos=12\r\nWidth=700\r\nHeight=500\r\nState=2\r\n");
  EXPECT_TRUE(FormMain->windowState() & Qt::WindowMaximized);
  FormMain->close();
  TIniFile ini(SettingsPath());
  EXPECT_EQ(ini.ReadInteger("Main", "State", -1), 2);
  EXPECT_EQ(ini.ReadInteger("Main", "Width", -1), 700);
  EXPECT_EQ(ini.ReadInteger("Main", "LeftPos", -1), 11);
}

// Bounds from another screen set-up or a damaged file: the window comes up
// on the screen and no larger than it, and closing stores where it is.
TEST_F(Layout, SavedBoundsOffTheScreenOrLargerThanItAreBroughtOntoIt) {
  const QRect area = FormMain->screen()->availableGeometry();
  for (const char *bounds : {"LeftPos=3000\r\nTopPos=-5000\r\nWidth=640\r\nHeight=480",
                             "LeftPos=10\r\nTopPos=10\r\nWidth=100000\r\nHeight=100000",
                             "LeftPos=2147483647\r\nTopPos=-2147483648\r\nWidth=2147483647\r\nHeight=-7"}) {
    WriteSettings(QByteArray("[Main]\r\n") + bounds + "\r\n");
    EXPECT_TRUE(area.contains(FormMain->frameGeometry().topLeft())) << bounds;
    EXPECT_LE(FormMain->width(), area.width()) << bounds;
    EXPECT_LE(FormMain->height(), area.height()) << bounds;
    EXPECT_TRUE(area.intersects(FormMain->geometry())) << bounds;
  }
  FormMain->close();
  TIniFile ini(SettingsPath());
  EXPECT_LE(ini.ReadInteger("Main", "Width", -1), area.width());
  EXPECT_GE(ini.ReadInteger("Main", "TopPos", -1), area.top());
}

// Normal bounds smaller than the screen, so that the maximised client area
// is taller than the normal one: the split survives any number of restarts.
TEST_F(Layout, MaximisedWindowKeepsItsSplitOverRestarts) {
  WriteSettings("[Main]\r\nLeftPos=0\r\nTopPos=0\r\nWidth=600\r\nHeight=400\r\nState=2\r\n");
  ASSERT_TRUE(WaitUntil([] { return FormMain->height() > 400; }));
  QList<int> sizes = FormMain->Splitter1->sizes();
  FormMain->Splitter1->setSizes({sizes[0] - 120, sizes[1] + 120});
  FormMain->Splitter1Moved();
  Settle();
  const int tx = FormMain->PanelTx->height();
  const int vertical = VerticalPos();
  for (int i = 0; i < 3; ++i) {
    Restart();
    ASSERT_TRUE(WaitUntil([] { return FormMain->height() > 400; }));
    Settle();
    EXPECT_EQ(FormMain->PanelTx->height(), tx) << "restart " << i;
    EXPECT_EQ(VerticalPos(), vertical) << "restart " << i;
  }
}

// The splitter dragged with the mouse as far as it goes: the transmit area
// grows to the log's minimum, and the window keeps its height.
TEST_F(Layout, DraggingTheSplitterToItsLimitNeverGrowsTheWindow) {
  const int height = FormMain->height();
  QSplitterHandle *handle = FormMain->Splitter1->handle(1);
  const QPoint grip = handle->rect().center();
  QTest::mousePress(handle, Qt::LeftButton, {}, grip);
  QTest::mouseMove(handle, grip - QPoint(0, 2000));
  QTest::mouseRelease(handle, Qt::LeftButton, {}, grip - QPoint(0, 2000));
  Settle();
  EXPECT_EQ(FormMain->PanelRx->height(), 80);
  EXPECT_EQ(FormMain->height(), height);
  EXPECT_LE(FormMain->minimumHeight(), height);
  QTest::mousePress(handle, Qt::LeftButton, {}, grip);
  QTest::mouseMove(handle, grip + QPoint(0, 2000));
  QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(0, 2000));
  Settle();
  EXPECT_EQ(FormMain->PanelTx->height(), 80);
  EXPECT_EQ(FormMain->height(), height);
}

TEST_F(Layout, MinimisedStateIsStoredAndRestored) {
  WriteSettings("[Main]\r\nState=1\r\n");
  EXPECT_TRUE(FormMain->windowState() & Qt::WindowMinimized);
  FormMain->close();
  TIniFile ini(SettingsPath());
  EXPECT_EQ(ini.ReadInteger("Main", "State", -1), 1);
  EXPECT_EQ(ini.ReadInteger("Main", "Width", -1), -1); // never written while not normal
}

TEST_F(Layout, ViewIndexOutsideTheListSelectsNothing) {
  WriteSettings("[Main]\r\nn=7\r\nState=99\r\nVertical=-5000\r\n");
  EXPECT_EQ(FormMain->ComboBoxView->currentIndex(), -1);
  EXPECT_GE(FormMain->PanelTx->height(), 80); // a boundary outside the window is brought back
}

TEST_F(Layout, SplitterSetsTheMinimumHeight) {
  const int before = FormMain->minimumHeight();
  QList<int> sizes = FormMain->Splitter1->sizes();
  FormMain->Splitter1->setSizes({sizes[0] - 50, sizes[1] + 50});
  Settle();
  FormMain->Splitter1Moved();
  EXPECT_EQ(FormMain->minimumHeight(), before + 50);
}

TEST_F(Layout, UnwritableSettingsFileReportsAndStillCloses) {
  FormMain->close();
  DestroyForms();
  QFile f(SettingsPath());
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("[Main]\r\nWidth=640\r\n");
  f.close();
  QFile::setPermissions(SettingsPath(), QFileDevice::ReadOwner);
  CreateForms();
  FormMain->show();
  ModalDriver d;
  QString text;
  d.Then(PressMessageButton(QMessageBox::Cancel, &text));
  FormMain->resize(820, 620);
  FormMain->close();
  EXPECT_FALSE(FormMain->isVisible());
  EXPECT_TRUE(text.contains(SettingsPath())) << text.toStdString();
  QFile::setPermissions(SettingsPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  TIniFile ini(SettingsPath());
  EXPECT_EQ(ini.ReadInteger("Main", "Width", -1), 640); // the previous file is intact
}

} // namespace
