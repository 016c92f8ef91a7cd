// SPDX-License-Identifier: GPL-3.0-or-later
// Exporting the frame log as a candump log and as CSV.

#include "GuiHelpers.h"
#include "can/FrameText.h"
#include "config/IniFile.h"
#include "mainwindow/LineModels.h"
#include "mainwindow/LogExport.h"
#include "mainwindow/UnitMain.h"

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <optional>

namespace {

TCanMessage Frame(bool extended, bool remote, uint8_t dlc, uint32_t id) {
  TCanMessage m{};
  m.IDType = extended ? 4 : 0;
  m.RTR = remote ? 2 : 0;
  m.DLC = dlc;
  m.ID = id;
  for (int i = 0; i < 8; ++i)
    m.Data[i] = remote ? 0 : static_cast<uint8_t>(0xA0 + i);
  return m;
}

TEST(CandumpLine, EachFrameKind) {
  EXPECT_EQ(CandumpLine(Frame(false, false, 2, 0x123), 1000002), "(0000000001.000002) can0 123#A0A1");
  EXPECT_EQ(CandumpLine(Frame(false, false, 0, 0x7), 0), "(0000000000.000000) can0 007#");
  EXPECT_EQ(CandumpLine(Frame(true, false, 8, 0x1ABCDEF0), 1700000000123456),
            "(1700000000.123456) can0 1ABCDEF0#A0A1A2A3A4A5A6A7");
  EXPECT_EQ(CandumpLine(Frame(true, false, 1, 0x5), 0), "(0000000000.000000) can0 00000005#A0");
  EXPECT_EQ(CandumpLine(Frame(false, true, 0, 0x123), 0), "(0000000000.000000) can0 123#R");
  EXPECT_EQ(CandumpLine(Frame(true, true, 8, 0x123), 0), "(0000000000.000000) can0 00000123#R8");
  // A length above 8 from the adapter carries the eight bytes a frame holds.
  EXPECT_EQ(CandumpLine(Frame(false, false, 12, 0x1), 0), "(0000000000.000000) can0 001#A0A1A2A3A4A5A6A7");
  EXPECT_EQ(CandumpLine(Frame(false, false, 1, 0x1), 0, "vcan0"), "(0000000000.000000) vcan0 001#A0");
  // Any non-zero RTR is a remote request, as the log line shows it.
  TCanMessage rtr1 = Frame(false, false, 2, 0x123);
  rtr1.RTR = 1;
  EXPECT_EQ(CandumpLine(rtr1, 0), "(0000000000.000000) can0 123#R2");
  EXPECT_EQ(CsvLine(TLogLine::From(TDirection::Rx, rtr1, 0)), "0.000000,Rx,123,std,1,2,");
  EXPECT_TRUE(MessageToLine("Rx", rtr1).endsWith("remote request (DLC=2)"));
}

TEST(CsvLine, EachFrameKind) {
  EXPECT_EQ(CsvLine(TLogLine::From(TDirection::Rx, Frame(false, false, 2, 0x123), 1500000)),
            "1.500000,Rx,123,std,0,2,A0 A1");
  EXPECT_EQ(CsvLine(TLogLine::From(TDirection::Tx, Frame(true, true, 3, 0x1F), 7)), "0.000007,Tx,0000001F,ext,1,3,");
  EXPECT_EQ(CsvLine(TLogLine::From(TDirection::Rx, Frame(false, false, 0, 0x1), 0)), "0.000000,Rx,001,std,0,0,");
  EXPECT_EQ(LogFormatForFile("/x/log.CSV"), TLogFormat::Csv);
  EXPECT_EQ(LogFormatForFile("/x/log.log"), TLogFormat::Candump);
  EXPECT_EQ(LogFormatForFile("/x/log"), TLogFormat::Candump);
}

// A candump log line as canplayer reads it.
struct ParsedFrame {
  int64_t us;
  QString iface;
  bool extended;
  bool remote;
  int dlc;
  uint32_t id;
  QByteArray data;
};
std::optional<ParsedFrame> ParseCandump(const QString &line) {
  static const QRegularExpression re(R"(^\((\d+)\.(\d{6})\) (\S+) ([0-9A-F]{3}|[0-9A-F]{8})#(R([0-8]?)|([0-9A-F]{2})*)$)");
  const auto m = re.match(line);
  if (!m.hasMatch())
    return std::nullopt;
  ParsedFrame f;
  f.us = m.captured(1).toLongLong() * 1000000 + m.captured(2).toLongLong();
  f.iface = m.captured(3);
  f.extended = m.captured(4).size() == 8;
  f.id = m.captured(4).toUInt(nullptr, 16);
  f.remote = m.captured(5).startsWith('R');
  if (f.remote) {
    f.dlc = m.captured(6).isEmpty() ? 0 : m.captured(6).toInt();
  } else {
    f.data = QByteArray::fromHex(m.captured(5).toLatin1());
    f.dlc = static_cast<int>(f.data.size());
  }
  return f;
}

class LogExport : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    sim_add_adapter("A1");
    Connect();
  }
  QTemporaryDir dir;
  // Received frames of every kind and length, and transmitted ones.
  void FillLog() {
    int n = 0;
    for (bool ext : {false, true})
      for (int dlc = 0; dlc <= 8; ++dlc) {
        std::vector<uint8_t> data;
        for (int i = 0; i < dlc; ++i)
          data.push_back(static_cast<uint8_t>(0x11 * (i + 1)));
        auto f = FrameBytes(ext ? 4 : 0, 0, dlc, ext ? 0x1ABCD00 + dlc : 0x100 + dlc, data);
        sim_inject_frame("A1", f.data());
        auto r = FrameBytes(ext ? 4 : 0, 2, dlc, ext ? 0x10000 + dlc : 0x7F0 + dlc);
        sim_inject_frame("A1", r.data());
        n += 2;
      }
    ASSERT_TRUE(WaitUntil([&] { return RxCounter() == n; }));
    QFile f(dir.filePath("tx.vni"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Messages]\r\nn=2\r\n0=Std\t  123\t01\t02\r\n1=Ext\t1ABCD\tremote request (DLC=3)\r\n");
    f.close();
    TIniFile ini(f.fileName());
    FormMain->LoadSetup(ini);
    FormMain->BitBtnTxAllClick();
  }
  QStringList ReadLines(const QString &path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromLatin1(f.readAll()).split('\n');
    EXPECT_EQ(lines.takeLast(), ""); // every line ends in a line feed
    return lines;
  }
};

TEST_F(LogExport, CandumpFileReadsBackFrameForFrame) {
  FillLog();
  const QString path = dir.filePath("bus.log");
  ASSERT_TRUE(FormMain->ExportLog(path));
  const QStringList lines = ReadLines(path);
  const TFrameLogModel &log = *RxModel();
  ASSERT_EQ(static_cast<size_t>(lines.size()), log.Count());
  ASSERT_EQ(log.Count(), 38u);
  for (int row = 0; row < lines.size(); ++row) {
    const auto f = ParseCandump(lines[row]);
    ASSERT_TRUE(f.has_value()) << lines[row].toStdString();
    const TCanMessage m = log.At(row).Message();
    EXPECT_EQ(f->iface, "can0");
    EXPECT_EQ(f->us, log.WallTimeUs(row));
    EXPECT_EQ(f->extended, m.IDType != 0) << row;
    EXPECT_EQ(f->id, m.ID) << row;
    EXPECT_EQ(f->remote, (m.RTR & 2) != 0) << row;
    EXPECT_EQ(f->dlc, m.DLC) << row;
    if (!f->remote) {
      EXPECT_EQ(f->data, QByteArray(reinterpret_cast<const char *>(m.Data), m.DLC)) << row;
    }
  }
  // The connection's wall-clock time is the base: stamps are of today, not
  // of the epoch.
  EXPECT_GT(ParseCandump(lines[0])->us, int64_t(1600000000) * 1000000);
}

// Lines after a Clear belong to the connection they were received on, not to
// an earlier one.
TEST(FrameLogModel, ClearKeepsOnlyTheCurrentConnectionsTimeBase) {
  TFrameLogModel log;
  TCanMessage m{};
  log.BeginConnection(1000000);
  log.Append(TLogLine::From(TDirection::Rx, m, 5));
  log.BeginConnection(9000000000);
  log.Append(TLogLine::From(TDirection::Rx, m, 6));
  EXPECT_EQ(log.WallTimeUs(0), 1000005);
  EXPECT_EQ(log.WallTimeUs(1), 9000000006);
  log.Clear();
  log.Append(TLogLine::From(TDirection::Rx, m, 7));
  log.Append(TLogLine::From(TDirection::Rx, m, 8));
  EXPECT_EQ(log.WallTimeUs(0), 9000000007);
  EXPECT_EQ(log.WallTimeUs(1), 9000000008);
}

// A frame sent is logged where it was handed over and stamped when the
// adapter accepted it, after a frame received meanwhile: the file is in
// time order all the same.
TEST(FrameLogModel, ExportedStampsNeverGoBackwards) {
  TFrameLogModel log;
  log.BeginConnection(1000000);
  log.Append(TLogLine::From(TDirection::Tx, Frame(false, false, 1, 0x10), 100));
  log.AwaitAcceptance(0, 0);
  log.Append(TLogLine::From(TDirection::Rx, Frame(false, false, 1, 0x20), 150));
  log.SetAcceptedTime(0, 200);
  log.Append(TLogLine::From(TDirection::Rx, Frame(false, false, 1, 0x30), 250));
  for (TLogFormat format : {TLogFormat::Candump, TLogFormat::Csv}) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(WriteLog(log, out, format));
    const QString text = QString::fromLatin1(out.data());
    EXPECT_LT(text.indexOf(format == TLogFormat::Csv ? ",020," : " 020#"),
              text.indexOf(format == TLogFormat::Csv ? ",010," : " 010#"))
        << text.toStdString();
    EXPECT_LT(text.indexOf(format == TLogFormat::Csv ? ",010," : " 010#"),
              text.indexOf(format == TLogFormat::Csv ? ",030," : " 030#"));
  }
}

TEST_F(LogExport, CsvFileHasAHeaderAndOneLinePerLogLine) {
  FillLog();
  const QString path = dir.filePath("bus.csv");
  ASSERT_TRUE(FormMain->ExportLog(path));
  const QStringList lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 1 + RxLineCount());
  EXPECT_EQ(lines[0], "Time,Direction,ID,Format,Remote,DLC,Data");
  EXPECT_TRUE(lines[1].contains(QRegularExpression(R"(^\d+\.\d{6},Rx,100,std,0,0,$)"))) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].contains(QRegularExpression(R"(^\d+\.\d{6},Rx,7F0,std,1,0,$)"))) << lines[2].toStdString();
  EXPECT_TRUE(lines[18].endsWith(",Rx,7F8,std,1,8,")) << lines[18].toStdString();
  EXPECT_TRUE(lines[35].endsWith(",Rx,01ABCD08,ext,0,8,11 22 33 44 55 66 77 88")) << lines[35].toStdString();
  EXPECT_TRUE(lines[37].endsWith(",Tx,123,std,0,2,01 02")) << lines[37].toStdString();
  EXPECT_TRUE(lines[38].endsWith(",Tx,0001ABCD,ext,1,3,")) << lines[38].toStdString();
}

// Only the lines the log shows are exported: a view without received frames
// leaves them out.
TEST_F(LogExport, ExportHonoursTheViewFilterOfTheLog) {
  FormMain->ComboBoxView->setCurrentIndex(2);
  FillLog();
  const QString path = dir.filePath("tx.log");
  ASSERT_TRUE(FormMain->ExportLog(path));
  const QStringList lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].endsWith(" can0 123#0102"));
  EXPECT_TRUE(lines[1].endsWith(" can0 0001ABCD#R3"));
}

// A cancelled export stops where it is told to; a refused one is reported,
// naming the file, and changes nothing.
TEST_F(LogExport, CancelledExportStopsAndARefusedOneIsReported) {
  FillLog();
  TFrameLogModel big;
  big.BeginConnection(0);
  std::vector<TLogLine> lines(10000, TLogLine::From(TDirection::Rx, Frame(false, false, 1, 1)));
  big.Append(lines);
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  size_t told = 0;
  EXPECT_FALSE(WriteLog(big, buffer, TLogFormat::Candump, [&](size_t written) {
    told = written;
    return false;
  }));
  EXPECT_EQ(told, 4096u);
  EXPECT_TRUE(WriteLog(big, buffer, TLogFormat::Csv, [](size_t) { return true; }));
  // The log cleared while the export lets events run: what was written
  // stays, and nothing is read past the end.
  QBuffer cleared;
  cleared.open(QIODevice::WriteOnly);
  EXPECT_TRUE(WriteLog(big, cleared, TLogFormat::Candump, [&](size_t) {
    big.Clear();
    return true;
  }));
  EXPECT_EQ(cleared.data().count('\n'), 4096);

  // A folder where the file should go, and a folder that does not exist.
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.log"));
  for (const QString &path : {dir.filePath("folder.log"), dir.filePath("missing/x.csv")}) {
    QString text;
    ModalDriver d;
    d.Then(PressMessageButton(QMessageBox::Cancel, &text));
    EXPECT_FALSE(FormMain->ExportLog(path));
    EXPECT_TRUE(text.contains(path)) << text.toStdString();
  }
  EXPECT_TRUE(QFileInfo(dir.filePath("folder.log")).isDir());
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));
}

} // namespace
