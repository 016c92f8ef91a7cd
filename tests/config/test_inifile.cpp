// SPDX-License-Identifier: GPL-3.0-or-later
// The INI-file object: lookups, writes in place, integer rules, tolerance of
// files written elsewhere, and safe saving.

#include "GuiHelpers.h"
#include "config/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

namespace {

class Ini : public ::testing::Test {
protected:
  QTemporaryDir dir;
  QString Path(const char *name = "test.ini") const { return dir.filePath(name); }
  void Write(const QByteArray &bytes, const char *name = "test.ini") {
    QFile f(Path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  QByteArray Read(const char *name = "test.ini") const {
    QFile f(Path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }
};

TEST_F(Ini, CreatingTheObjectTouchesNothingAndTheFirstWriteCreatesTheFile) {
  {
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadInteger("Main", "n", 7), 7);
    EXPECT_EQ(ini.ReadString("Main", "x", "dflt"), "dflt");
  }
  EXPECT_FALSE(QFileInfo::exists(Path()));
  {
    TIniFile ini(Path());
    ini.WriteInteger("Main", "State", 2);
    ini.WriteInteger("Main", "Vertical", -5);
    ini.WriteString("Messages", "0", "Std\t  123\t11");
  }
  EXPECT_EQ(Read(), "[Main]\r\nState=2\r\nVertical=-5\r\n[Messages]\r\n0=Std\t  123\t11\r\n");
}

TEST_F(Ini, WritesInPlaceKeepEveryOtherLine) {
  const QByteArray original = "; a comment\r\n[Other]\r\nkey = value kept\r\n\r\n[main]\r\nLEFTPOS=1\r\n"
                              "Foreign=yes\r\n\r\n[Tail]\r\nx=1\r\n";
  Write(original);
  {
    TIniFile ini(Path());
    ini.WriteInteger("Main", "LeftPos", 42);
    ini.WriteInteger("Main", "TopPos", 7);
    ini.WriteInteger("New", "A", 1);
  }
  EXPECT_EQ(Read(), "; a comment\r\n[Other]\r\nkey = value kept\r\n\r\n[main]\r\nLeftPos=42\r\n"
                    "Foreign=yes\r\nTopPos=7\r\n\r\n[Tail]\r\nx=1\r\n[New]\r\nA=1\r\n");
}

TEST_F(Ini, LookupIgnoresCaseAndTakesTheFirstOccurrence) {
  Write("[DevConfig]\r\nspeed=3\r\nSPEED=4\r\n[devconfig]\r\nTermination=0\r\n");
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadInteger("DEVCONFIG", "Speed", 0), 3);
  EXPECT_EQ(ini.ReadInteger("DevConfig", "Termination", 1), 1); // second section is not read
}

TEST_F(Ini, IntegerReadingRules) {
  Write("[S]\r\na=-1\r\nb=0x7FF\r\nc=$7ff\r\nd=abc\r\ne=\r\nf=2147483647\r\ng=2147483648\r\n"
        "h=-2147483648\r\ni=-2147483649\r\nj=$FFFFFFFF\r\nk=0x100000000\r\nl=+12\r\nm=12abc\r\nn= 300 \r\n");
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadInteger("S", "a", 9), -1);
  EXPECT_EQ(ini.ReadInteger("S", "b", 9), 0x7FF);
  EXPECT_EQ(ini.ReadInteger("S", "c", 9), 0x7FF);
  EXPECT_EQ(ini.ReadInteger("S", "d", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "e", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "f", 9), 2147483647);
  EXPECT_EQ(ini.ReadInteger("S", "g", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "h", 9), -2147483647 - 1);
  EXPECT_EQ(ini.ReadInteger("S", "i", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "j", 9), -1);
  EXPECT_EQ(ini.ReadInteger("S", "k", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "l", 9), 12);
  EXPECT_EQ(ini.ReadInteger("S", "m", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "n", 9), 300);
  EXPECT_EQ(ini.ReadInteger("S", "missing", 9), 9);
  EXPECT_EQ(ini.ReadString("S", "e", "dflt"), ""); // present but empty is not missing
}

TEST_F(Ini, ReadsLfFilesByteOrderMarksAndBlanksButKeepsInnerTabs) {
  Write("\xEF\xBB\xBF[Messages]\n  n = 2\n0 =Std\t  123\t11 \n 1\t= Ext\t00005\n");
  {
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadInteger("Messages", "n", 0), 2);
    EXPECT_EQ(ini.ReadString("Messages", "0", ""), "Std\t  123\t11");
    EXPECT_EQ(ini.ReadString("Messages", "1", ""), "Ext\t00005");
    ini.WriteInteger("Messages", "n", 3);
  }
  // The line written ends in CR LF; the mark and every other line stay as
  // they were, line ends included.
  EXPECT_EQ(Read(), "\xEF\xBB\xBF[Messages]\nn=3\r\n0 =Std\t  123\t11 \n 1\t= Ext\t00005\n");
}

TEST_F(Ini, MixedLineEndsStayAndALastLineWithoutOneGetsOneWhenLinesFollow) {
  Write("[A]\nx=1\r\ny=2\n[B]\nz=3");
  {
    TIniFile ini(Path());
    ini.WriteInteger("A", "y", 5);
    ini.WriteInteger("C", "w", 6);
  }
  EXPECT_EQ(Read(), "[A]\nx=1\r\ny=5\r\n[B]\nz=3\r\n[C]\r\nw=6\r\n");
  Write("[A]\nx=1");
  {
    TIniFile ini(Path());
    ini.WriteInteger("A", "x", 2);
  }
  EXPECT_EQ(Read(), "[A]\nx=2\r\n");
}

TEST_F(Ini, ValuesCannotBreakTheLineStructure) {
  {
    TIniFile ini(Path());
    ini.WriteString("S", "k", "one\r\n[Injected]\r\nx=1");
  }
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("Injected", "x", "none"), "none");
}

TEST_F(Ini, ReadOnlyTargetReportsTheFileAndStaysAsItWas) {
  Write("[Main]\r\nn=1\r\n");
  QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
  TIniFile ini(Path());
  ini.WriteInteger("Main", "n", 2);
  try {
    ini.UpdateFile();
    FAIL() << "no error for a read-only file";
  } catch (const EIniFileError &e) {
    EXPECT_NE(std::string(e.what()).find(Path().toStdString()), std::string::npos) << e.what();
  }
  EXPECT_EQ(Read(), "[Main]\r\nn=1\r\n");
  QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TEST_F(Ini, FolderInPlaceOfTheFileReadsDefaultsAndRefusesToWrite) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
  TIniFile ini(Path("folder.ini"));
  EXPECT_EQ(ini.ReadInteger("Main", "n", 5), 5);
  ini.WriteInteger("Main", "n", 1);
  EXPECT_THROW(ini.UpdateFile(), EIniFileError);
  EXPECT_TRUE(QFileInfo(Path("folder.ini")).isDir());
}

TEST_F(Ini, DeviceInPlaceOfTheFileIsNeverReplaced) {
  // Saving goes through a temporary file renamed over the target; a device
  // node must never be renamed over, whoever runs the program.
  TIniFile ini("/dev/null");
  ini.WriteInteger("Main", "n", 1);
  EXPECT_THROW(ini.UpdateFile(), EIniFileError);
  EXPECT_FALSE(QFileInfo("/dev/null").isFile());
}

TEST_F(Ini, FullDiskReportsTheFileAndLeavesThePreviousOneIntact) {
  // A tiny file system of our own, in a mount namespace of this process.
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    GTEST_SKIP() << "cannot make a private mount namespace here: " << strerror(errno);
  const QByteArray mountPoint = QFile::encodeName(dir.filePath("small"));
  ASSERT_TRUE(QDir().mkpath(QString::fromLocal8Bit(mountPoint)));
  if (mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here: " << strerror(errno);
  const QString path = QString::fromLocal8Bit(mountPoint) + "/settings.ini";
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Main]\r\nn=1\r\n");
  }
  {
    QFile filler(QString::fromLocal8Bit(mountPoint) + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
  }
  TIniFile ini(path);
  for (int i = 0; i < 2000; ++i)
    ini.WriteString("Messages", QString::number(i), "Std\t  123\t11\t22\t33\t44");
  try {
    ini.UpdateFile();
    FAIL() << "no error on a full disk";
  } catch (const EIniFileError &e) {
    EXPECT_NE(std::string(e.what()).find(path.toStdString()), std::string::npos) << e.what();
  }
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), "[Main]\r\nn=1\r\n");
  umount(mountPoint.constData());
}

TEST_F(Ini, SavingKeepsPermissionsAndWritesOnce) {
  Write("[A]\r\nx=1\r\n");
  QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
  {
    TIniFile ini(Path());
    for (int i = 0; i < 10000; ++i)
      ini.WriteString("Messages", QString::number(i), "Std\t  123");
  }
  EXPECT_EQ(QFile::permissions(Path()) & (QFileDevice::ReadOther | QFileDevice::WriteOther), QFileDevice::ReadOther);
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("Messages", "9999", ""), "Std\t  123");
  EXPECT_EQ(ini.ReadInteger("A", "x", 0), 1);
}

TEST_F(Ini, GarbageAndHugeFilesReadAsDefaultsWithoutHarm) {
  QByteArray garbage(100000, '\0');
  for (int i = 0; i < garbage.size(); ++i)
    garbage[i] = static_cast<char>((i * 7919) % 251);
  Write(garbage, "garbage.ini");
  TIniFile g(Path("garbage.ini"));
  EXPECT_EQ(g.ReadInteger("Messages", "n", 0), 0);

  QFile big(Path("big.ini"));
  ASSERT_TRUE(big.open(QIODevice::WriteOnly));
  ASSERT_TRUE(big.resize(TIniFile::MaxFileSize + 1));
  big.close();
  TIniFile b(Path("big.ini"));
  EXPECT_EQ(b.ReadInteger("Main", "n", 3), 3);
  b.WriteInteger("Main", "n", 1);
  EXPECT_THROW(b.UpdateFile(), EIniFileError); // never clobbered
  EXPECT_EQ(QFileInfo(Path("big.ini")).size(), TIniFile::MaxFileSize + 1);
  EXPECT_TRUE(b.ReadError().contains("larger than 64 MiB")) << b.ReadError().toStdString();
  EXPECT_TRUE(g.ReadError().isEmpty());
}

// What is written reads back: a file that would pass the reading limit is
// refused, and the previous one stays.
TEST_F(Ini, AFileTooLargeToReadBackIsNotWritten) {
  Write("[Main]\r\nn=1\r\n");
  TIniFile ini(Path());
  const int half = static_cast<int>(TIniFile::MaxFileSize / 2);
  ini.WriteString("Messages", "0", QString(half, 'x'));
  ini.WriteString("Messages", "1", QString(half, 'y'));
  try {
    ini.UpdateFile();
    ADD_FAILURE() << "written";
  } catch (const EIniFileError &e) {
    EXPECT_TRUE(QString(e.what()).contains("larger than 64 MiB")) << e.what();
  }
  EXPECT_EQ(Read(), "[Main]\r\nn=1\r\n");
}

TEST_F(Ini, LongLinesAreKeptWhole) {
  QByteArray line(1 << 20, 'A');
  Write("[S]\r\nlong=" + line + "\r\n");
  {
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("S", "long", "").size(), line.size());
    ini.WriteInteger("S", "n", 1);
  }
  EXPECT_EQ(Read(), "[S]\r\nlong=" + line + "\r\nn=1\r\n");
}

} // namespace
