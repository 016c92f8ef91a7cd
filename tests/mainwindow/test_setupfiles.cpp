// SPDX-License-Identifier: GPL-3.0-or-later
// Set-up files: reading rules, round trip, and the Load, Save and Save as
// commands with their dialogs.

#include "GuiHelpers.h"
#include "config/IniFile.h"
#include "mainwindow/Application.h"
#include "mainwindow/TransmitList.h"
#include "mainwindow/UnitMain.h"

#include <QFile>
#include <QAbstractItemView>
#include <QCompleter>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QApplication>
#include <QDir>
#include <QTest>

#include <QTemporaryDir>

#include <map>

namespace {

class SetupFiles : public GuiTest {
protected:
  QTemporaryDir dir;
  QString Path(const char *name) const { return dir.filePath(name); }
  void Write(const char *name, const QByteArray &text) {
    QFile f(Path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  QByteArray Read(const char *name) {
    QFile f(Path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  void LoadText(const QByteArray &text) {
    Write("load.vni", text);
    TIniFile ini(Path("load.vni"));
    FormMain->LoadSetup(ini);
  }
  static ModalDriver::Action ChooseFile(const QString &path) {
    return [path](QWidget *w) {
      auto *dlg = qobject_cast<QFileDialog *>(w);
      ASSERT_NE(dlg, nullptr);
      dlg->setDirectory(QFileInfo(path).absolutePath());
      dlg->selectFile(path);
      // The file name box, as a user types into it (a new file has no entry
      // in the list to select).
      if (auto *name = dlg->findChild<QLineEdit *>("fileNameEdit"))
        name->setText(QFileInfo(path).fileName());
      static_cast<QDialog *>(dlg)->accept();
    };
  }
  const QByteArray twoFrames = "[Messages]\r\nn=2\r\n0=Std\t  123\t11\t22\r\n1=Ext\t1ABCD\tremote request (DLC=4)\r\n";
};

TEST_F(SetupFiles, MissingCountKeepsTheListAndDefaultsTheRest) {
  LoadText(twoFrames);
  FormMain->DevConfig().Speed = 3;
  LoadText("[Other]\r\nx=1\r\n");
  EXPECT_EQ(TxLines().size(), 2);
  EXPECT_EQ(FormMain->DevConfig().Speed, 0);
  EXPECT_EQ(FormMain->DevConfig().Termination, 1);
  EXPECT_EQ(FormMain->DevConfig().Retransmission, 1);
  EXPECT_EQ(FormMain->DevConfig().LoopbackMode, 0);
  for (int i = 0; i < 14; ++i) {
    EXPECT_EQ(FormMain->Filters()[i].Active, i == 0 ? 1 : 0);
    EXPECT_EQ(FormMain->Filters()[i].Bank, i);
  }
}

TEST_F(SetupFiles, NegativeCountEmptiesTheListLargerCountAddsEmptyFrames) {
  LoadText(twoFrames);
  LoadText("[Messages]\r\nn=-3\r\n0=Std\t  123\r\n");
  EXPECT_TRUE(TxLines().isEmpty());
  EXPECT_TRUE(TxList().Empty());
  EXPECT_EQ(TxItemIndex(), -1);
  LoadText("[Messages]\r\nn=3\r\n0=Std\t  123\r\n");
  ASSERT_EQ(TxLines().size(), 3);
  EXPECT_EQ(TxLines()[2], "");
  EXPECT_EQ(TxList().At(2).Frame.ID, 0u);
  EXPECT_EQ(TxList().At(2).Frame.DLC, 0);
  EXPECT_EQ(TxItemIndex(), 2);
}

TEST_F(SetupFiles, HugeCountIsBoundedInsteadOfExhaustingMemory) {
  LoadText("[Messages]\r\nn=2000000000\r\n0=Std\t  123\r\n");
  EXPECT_EQ(TxLines().size(), MaxSetupFrames);
  EXPECT_EQ(TxLines()[0], "Std\t  123");
}

TEST_F(SetupFiles, ValuesAreReadByTheIntegerRules) {
  LoadText("[DevConfig]\r\nSpeed=300\r\nTermination=2\r\n[Filter_3]\r\nID=-1\r\nMask=$7FF\r\nActive=abc\r\n"
           "[Filter_4]\r\nID=0x7FF\r\n");
  EXPECT_EQ(FormMain->DevConfig().Speed, 44);
  EXPECT_EQ(FormMain->DevConfig().Termination, 2);
  EXPECT_EQ(FormMain->Filters()[3].ID, 0xFFFFFFFFu);
  EXPECT_EQ(FormMain->Filters()[3].Mask, 0x7FFu);
  EXPECT_EQ(FormMain->Filters()[3].Active, 0);
  EXPECT_EQ(FormMain->Filters()[4].ID, 0x7FFu);
}

TEST_F(SetupFiles, RoundTripKeepsEveryStoredField) {
  LoadText(twoFrames);
  // Sibling fields hold distinct values, so that one written or read in
  // another's place shows.
  TDeviceConfig &c = FormMain->DevConfig();
  c.Speed = 4;
  c.Termination = 2;
  c.Retransmission = 0;
  c.LoopbackMode = 1;
  for (int i = 0; i < 14; ++i) {
    TFilterBank &f = FormMain->Filters()[i];
    f.Active = i % 2;
    f.Mode = i % 3 == 0;
    f.IDType = (i % 4 == 0) ? 4 : 0;
    f.ID = 0x1000u * i + 0x80000000u;
    f.Mask = 0xFFFFFFFFu - i;
  }
  const TFilterTable filters = FormMain->Filters();
  const QStringList lines = TxLines();
  {
    TIniFile ini(Path("rt.vni"));
    FormMain->SaveSetup(ini);
  }
  FormMain->Filters() = DefaultFilterTable();
  c = TDeviceConfig{};
  LoadText("[Messages]\r\nn=-1\r\n");
  TIniFile ini(Path("rt.vni"));
  FormMain->LoadSetup(ini);
  EXPECT_EQ(c.Speed, 4);
  EXPECT_EQ(c.Termination, 2);
  EXPECT_EQ(c.Retransmission, 0);
  EXPECT_EQ(c.LoopbackMode, 1);
  const QByteArray text = Read("rt.vni");
  EXPECT_TRUE(text.contains("Speed=4\r\nTermination=2\r\nRetransmission=0\r\nLoopbackMode=1\r\n")) << text.data();
  for (int i = 0; i < 14; ++i) {
    const TFilterBank &a = FormMain->Filters()[i], &b = filters[i];
    EXPECT_EQ(a.Active, b.Active);
    EXPECT_EQ(a.Mode, b.Mode);
    EXPECT_EQ(a.IDType, b.IDType);
    EXPECT_EQ(a.ID, b.ID);
    EXPECT_EQ(a.Mask, b.Mask);
    EXPECT_EQ(a.Bank, i);
  }
  EXPECT_EQ(TxLines(), lines);
  EXPECT_EQ(TxList().At(1).Frame.RTR, 2);
  EXPECT_EQ(TxList().At(1).Frame.DLC, 4);
  EXPECT_FALSE(Read("rt.vni").contains("[Main]"));
}

TEST_F(SetupFiles, SaveBeforeLoadAsksForAFileAndSaveAfterLoadDoesNot) {
  Write("existing.vni", "[Keep]\r\nmine=1\r\n[Messages]\r\nn=5\r\n4=Std\t  444\r\n");
  LoadText(twoFrames);
  ModalDriver d;
  d.Then(ChooseFile(Path("existing.vni"))).Then(PressMessageButton(QMessageBox::No));
  FormMain->mf_SaveClick(); // Save before any Load runs Save as
  EXPECT_EQ(d.Pending(), 0u);
  EXPECT_FALSE(Read("existing.vni").contains("DevConfig")); // No writes nothing

  QString question;
  d.Then(ChooseFile(Path("existing.vni"))).Then(PressMessageButton(QMessageBox::Yes, &question));
  FormMain->mf_SaveAsClick();
  EXPECT_EQ(question, "The file\n" + Path("existing.vni") + "\nexists! Overwrite?");
  QByteArray saved = Read("existing.vni");
  EXPECT_TRUE(saved.startsWith("[Keep]\r\nmine=1\r\n[Messages]\r\nn=2\r\n4=Std\t  444\r\n0=Std\t  123\t11\t22\r\n"))
      << saved.toStdString();
  EXPECT_TRUE(saved.contains("[DevConfig]\r\nSpeed=0\r\n"));

  d.Then(ChooseFile(Path("load.vni")));
  FormMain->mf_LoadClick();
  FormMain->DevConfig().Speed = 6;
  FormMain->mf_SaveClick(); // to the loaded file, without asking
  EXPECT_EQ(d.Pending(), 0u);
  TIniFile ini(Path("load.vni"));
  EXPECT_EQ(ini.ReadInteger("DevConfig", "Speed", -1), 6);
}

// Load a, Save as b, a change, Save: the change goes to b, a stays as it was.
TEST_F(SetupFiles, SaveAfterSaveAsWritesTheFileSavedLast) {
  Write("a.vni", "[DevConfig]\r\nSpeed=1\r\n");
  ModalDriver d;
  d.Then(TypeFileName(Path("a.vni")));
  ChooseMenuItem(FormMain->mm_File, Qt::Key_F, Qt::Key_L);
  ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0 && !QApplication::activeModalWidget(); }));
  EXPECT_EQ(FormMain->DevConfig().Speed, 1);
  d.Then(TypeFileName(Path("b.vni")));
  ChooseMenuItem(FormMain->mm_File, Qt::Key_F, Qt::Key_A);
  ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0 && !QApplication::activeModalWidget(); }));
  FormMain->DevConfig().Speed = 6;
  ChooseMenuItem(FormMain->mm_File, Qt::Key_F, Qt::Key_S); // asks nothing
  Settle();
  EXPECT_EQ(d.Seen, (QStringList{"OpenDialog1", "SaveDialog1"}));
  EXPECT_EQ(Read("a.vni"), "[DevConfig]\r\nSpeed=1\r\n");
  TIniFile b(Path("b.vni"));
  EXPECT_EQ(b.ReadInteger("DevConfig", "Speed", -1), 6);
}

// A file that cannot be read is said by name and reason, and the set-up in
// the window stays as it was (read as empty, it would reset everything).
// A name typed with its completion list open, then Return: the list goes with
// the dialog, and the window's next Alt+letter opens its menu.
TEST_F(SetupFiles, ANameTakenFromItsCompletionListLeavesNoListBehind) {
  Write("alpha.vni", "[DevConfig]\r\nSpeed=2\r\n");
  QWidget *popup = nullptr;
  ModalDriver d;
  d.Then([&](QWidget *w) {
    auto *dlg = qobject_cast<QFileDialog *>(w);
    ASSERT_NE(dlg, nullptr);
    dlg->setDirectory(dir.path());
    auto *name = dlg->findChild<QLineEdit *>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    // The folder's list read, the name box completes what is typed.
    auto *files = dlg->findChild<QAbstractItemView *>("listView");
    ASSERT_NE(files, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return files->model()->rowCount(files->rootIndex()) > 0; }));
    popup = name->completer()->popup();
    name->setFocus();
    QTest::keyClicks(name, "al");
    ASSERT_TRUE(WaitUntil([&] { return popup->isVisible(); }));
    QTest::keyClicks(popup, "pha.vni");
    QTest::keyClick(popup, Qt::Key_Return);
  });
  ChooseMenuItem(FormMain->mm_File, Qt::Key_F, Qt::Key_L);
  ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0 && !QApplication::activeModalWidget(); }));
  EXPECT_EQ(FormMain->DevConfig().Speed, 2);
  Settle();
  ASSERT_NE(popup, nullptr);
  EXPECT_FALSE(popup->isVisible());
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(SetupFiles, LoadOfAFileThatCannotBeReadReportsItAndChangesNothing) {
  LoadText(twoFrames);
  FormMain->DevConfig().Speed = 6;
  FormMain->Filters()[3].Active = 1;
  QFile big(Path("big.vni"));
  ASSERT_TRUE(big.open(QIODevice::WriteOnly));
  ASSERT_TRUE(big.resize(TIniFile::MaxFileSize + 1));
  big.close();
  Write("locked.vni", "[DevConfig]\r\nSpeed=1\r\n");
  QFile::setPermissions(Path("locked.vni"), QFileDevice::WriteOwner);
  const bool rootReadsAnyway = QFile(Path("locked.vni")).open(QIODevice::ReadOnly);
  const std::map<QByteArray, const char *> reasons{{"big.vni", "larger than 64 MiB"}, {"locked.vni", "ermission"}};
  for (const char *name : {"big.vni", "locked.vni"}) {
    if (QByteArray(name) == "locked.vni" && rootReadsAnyway)
      continue;
    ModalDriver d;
    QString text;
    d.Then(TypeFileName(Path(name))).Then(PressMessageButton(QMessageBox::Cancel, &text));
    ChooseMenuItem(FormMain->mm_File, Qt::Key_F, Qt::Key_L);
    ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0 && !QApplication::activeModalWidget(); }));
    EXPECT_TRUE(text.contains(Path(name))) << text.toStdString();
    EXPECT_TRUE(text.contains(reasons.at(name))) << text.toStdString();
    EXPECT_EQ(FormMain->DevConfig().Speed, 6);
    EXPECT_EQ(FormMain->Filters()[3].Active, 1);
    EXPECT_EQ(TxLines().size(), 2);
  }
  // Save still asks for a file: the unreadable one did not become its target.
  ModalDriver d;
  d.Then(RejectDialog());
  ChooseMenuItem(FormMain->mm_File, Qt::Key_F, Qt::Key_S);
  ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0 && !QApplication::activeModalWidget(); }));
  EXPECT_EQ(d.Seen, QStringList{"SaveDialog1"});
}

// Another program's file is no set-up: read as one, it would reset
// everything to the defaults.
TEST_F(SetupFiles, LoadOfAFileThatIsNoSetUpReportsItAndChangesNothing) {
  LoadText(twoFrames);
  FormMain->DevConfig().Speed = 6;
  Write("passwd.vni", "root:x:0:0:root:/root:/bin/bash\n");
  ModalDriver d;
  QString text;
  d.Then(TypeFileName(Path("passwd.vni"))).Then(PressMessageButton(QMessageBox::Cancel, &text));
  ChooseMenuItem(FormMain->mm_File, Qt::Key_F, Qt::Key_L);
  ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0 && !QApplication::activeModalWidget(); }));
  EXPECT_TRUE(text.contains(Path("passwd.vni") + "\" is no set-up file")) << text.toStdString();
  EXPECT_EQ(FormMain->DevConfig().Speed, 6);
  EXPECT_EQ(TxLines().size(), 2);
}

TEST_F(SetupFiles, ReadOnlyTargetReportsTheFileAndLeavesItAsItWas) {
  Write("ro.vni", "[DevConfig]\r\nSpeed=1\r\n");
  QFile::setPermissions(Path("ro.vni"), QFileDevice::ReadOwner);
  ModalDriver d;
  QString text;
  d.Then(ChooseFile(Path("ro.vni"))).Then(PressMessageButton(QMessageBox::Yes)).Then(PressMessageButton(QMessageBox::Cancel, &text));
  FormMain->mf_SaveAsClick();
  EXPECT_TRUE(text.contains(Path("ro.vni"))) << text.toStdString();
  EXPECT_EQ(Read("ro.vni"), "[DevConfig]\r\nSpeed=1\r\n");
  QFile::setPermissions(Path("ro.vni"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TEST_F(SetupFiles, FilesThatAreNoSetUpLoadByTheRules) {
  QByteArray garbage(300000, '\0');
  for (int i = 0; i < garbage.size(); ++i)
    garbage[i] = static_cast<char>((i * 131) % 256);
  LoadText(twoFrames);
  LoadText(garbage);
  EXPECT_EQ(TxLines().size(), 2);
  QDir(dir.path()).mkdir("folder.vni");
  TIniFile ini(Path("folder.vni"));
  FormMain->LoadSetup(ini);
  EXPECT_EQ(TxLines().size(), 2);
}

// The toolkit's file dialogs remember their folders only for the run: the
// configuration folder holds the settings file and nothing else.
TEST_F(SetupFiles, FileDialogsLeaveNoFileOfTheirOwn) {
  ModalDriver d;
  d.Then(RejectDialog());
  ASSERT_TRUE(QTest::qWaitForWindowActive(FormMain));
  QTest::keyClick(FormMain, Qt::Key_E, Qt::ControlModifier); // File > Export Log...
  ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0 && !QApplication::activeModalWidget(); }));
  EXPECT_EQ(d.Seen, QStringList{"ExportDialog1"});
  FormMain->close();
  DestroyForms();
  const QDir config(QFileInfo(SettingsPath()).absolutePath());
  EXPECT_EQ(config.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{"vni_Molvar.ini"});
}

} // namespace
