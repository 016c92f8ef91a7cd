// SPDX-License-Identifier: GPL-3.0-or-later
// Recording every frame to a file and replaying a file onto the bus.

#include "GuiHelpers.h"
#include "can/FrameText.h"
#include "config/IniFile.h"
#include "mainwindow/LogRecorder.h"
#include "mainwindow/Replay.h"
#include "mainwindow/UnitMain.h"

#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <sys/resource.h>

namespace {

class Recording : public GuiTest {
protected:
  QTemporaryDir dir;
  void SetUp() override {
    GuiTest::SetUp();
    sim_add_adapter("A1");
    Connect();
  }
  static QString Panel(const char *name) { return FormMain->StatusBar1->findChild<QLabel *>(name)->text(); }
  static std::vector<TCandumpRecord> ReadFrames(const QString &path, int *others = nullptr) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    std::vector<TCandumpRecord> frames;
    for (const QByteArray &line : f.readAll().split('\n')) {
      TCandumpRecord r = ParseCandumpLine(std::string_view(line.constData(), line.size()));
      if (r.Kind == TCandumpKind::Frame)
        frames.push_back(r);
      else if (others && !line.isEmpty())
        ++*others;
    }
    return frames;
  }
  static void Inject(uint32_t id) {
    auto f = FrameBytes(0, 0, 1, id, {static_cast<uint8_t>(id)});
    sim_inject_frame("A1", f.data());
  }
};

// Received and sent frames, in order, with their stamps, until stopped;
// the file is readable while the recording runs.
TEST_F(Recording, EveryFrameGoesToTheFileInOrderUntilStopped) {
  const QString path = dir.filePath("rec.log");
  ModalDriver d;
  d.Then(TypeFileName(path));
  ChooseMenuItem(FormMain->mm_File, Qt::Key_F, Qt::Key_R);
  ASSERT_TRUE(WaitUntil([] { return FormMain->mf_Record->text() == "Stop &Recording"; }));
  EXPECT_EQ(d.Seen, QStringList{"RecordDialog1"});
  EXPECT_EQ(FormMain->RecordDialog1->windowTitle(), "Record to File");
  // Filtered out of the log, still recorded.
  QTest::keyClicks(FormMain->EditIdFilter, "7FF");
  for (uint32_t id = 1; id <= 30; ++id)
    Inject(id);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 30; }));
  EXPECT_EQ(RxLineCount(), 0);
  // Within a second the lines are in the file, each one whole.
  ASSERT_TRUE(WaitUntil([&] { return ReadFrames(path).size() == 30; }));
  EXPECT_TRUE(Panel("StatusPanelRecording").startsWith("Recording rec.log: 30 frames")) << Panel("StatusPanelRecording").toStdString();
  std::vector<TCandumpRecord> got = ReadFrames(path);
  for (uint32_t i = 0; i < 30; ++i) {
    EXPECT_EQ(got[i].Msg.ID, i + 1);
    EXPECT_EQ(got[i].Msg.Data[0], i + 1);
    if (i > 0) {
      EXPECT_GE(got[i].WallUs, got[i - 1].WallUs);
    }
  }
  ChooseMenuItem(FormMain->mm_File, Qt::Key_F, Qt::Key_R);
  ASSERT_TRUE(WaitUntil([] { return FormMain->mf_Record->text() == "&Record..."; }));
  Inject(0x99);
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 31; }));
  EXPECT_EQ(ReadFrames(path).size(), 30u);
}

TEST_F(Recording, DisconnectingStopsAndKeepsTheSentFrames) {
  const QString path = dir.filePath("rec.csv");
  ASSERT_TRUE(FormMain->StartRecording(path));
  QFile list(dir.filePath("tx.vni"));
  ASSERT_TRUE(list.open(QIODevice::WriteOnly));
  list.write("[Messages]\r\nn=2\r\n0=Std\t  123\t11\r\n1=Ext\t1ABCD\t22\t33\r\n");
  list.close();
  {
    TIniFile ini(list.fileName());
    FormMain->LoadSetup(ini);
  }
  QTest::mouseClick(FormMain->BitBtnTxAll, Qt::LeftButton);
  // Recorded as the adapter accepts them: on the bus, not merely handed over.
  ASSERT_TRUE(WaitUntil([] { return sim_frames_transmitted("A1") == 2; }));
  FormMain->Disconnect();
  EXPECT_EQ(FormMain->mf_Record->text(), "&Record...");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = f.readAll().split('\n');
  ASSERT_EQ(lines.size(), 4); // header, two frames, the empty rest
  EXPECT_EQ(lines[0], CsvHeader);
  EXPECT_TRUE(lines[1].endsWith(",Tx,123,std,0,1,11")) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].endsWith(",Tx,0001ABCD,ext,0,2,22 33")) << lines[2].toStdString();
}

// A full disk stops the recording with a message naming the file and the
// reason; frames go on being received while the message is open.
TEST_F(Recording, AFullDiskStopsTheRecordingWithAMessage) {
  QString text;
  bool receivedMeanwhile = false;
  ModalDriver d;
  // A busy bus: the receive timer never slows down to wait for a wake-up.
  QTimer bus;
  QObject::connect(&bus, &QTimer::timeout, [] { Inject(0x11); });
  d.Then([&](QWidget *box) {
    const int before = RxCounter();
    receivedMeanwhile = WaitUntil([&] { return RxCounter() > before + 10; });
    PressMessageButton(QMessageBox::Cancel, &text)(box);
  });
  TLogRecorder probe;
  QString error;
  if (!probe.Start("/dev/full", error) && error.contains("No space"))
    GTEST_SKIP() << "writes to /dev/full fail at once here";
  probe.Stop(error);
  ASSERT_TRUE(FormMain->StartRecording("/dev/full"));
  bus.start(5);
  ASSERT_TRUE(WaitUntil([&] { return FormMain->mf_Record->text() == "&Record..."; }));
  ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0; }));
  EXPECT_TRUE(text.contains("Recording to \"/dev/full\" stopped: No space left on device")) << text.toStdString();
  EXPECT_TRUE(receivedMeanwhile);
}

// A file that reaches its size limit in the middle of a line (a disk that
// fills) keeps its whole lines only, and the reason is the system's.
TEST(RecordingFile, ADiskFullInTheMiddleOfALineKeepsTheWholeLinesOnly) {
  QTemporaryDir dir;
  const QString path = dir.filePath("full.log");
  TLogRecorder r;
  QString error;
  ASSERT_TRUE(r.Start(path, error));
  TCanMessage m{};
  m.DLC = 8;
  for (uint32_t id = 1; id <= 4; ++id) {
    m.ID = id;
    r.Add(TLogLine::From(TDirection::Rx, m, id), 1000000 * id);
  }
  ASSERT_TRUE(r.Flush(error, true));
  const qint64 whole = QFileInfo(path).size();
  for (uint32_t id = 5; id <= 40; ++id) {
    m.ID = id;
    r.Add(TLogLine::From(TDirection::Rx, m, id), 1000000 * id);
  }
  // The process may write no further than half a line beyond what is there.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = static_cast<rlim_t>(whole + whole / 8);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool flushed = r.Flush(error, true);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, savedSignal);
  EXPECT_FALSE(flushed);
  EXPECT_TRUE(error.endsWith(": File too large")) << error.toStdString();
  EXPECT_FALSE(r.Recording());
  QFile in(path);
  ASSERT_TRUE(in.open(QIODevice::ReadOnly));
  const QByteArray content = in.readAll();
  EXPECT_EQ(content.size(), whole);
  EXPECT_TRUE(content.endsWith('\n'));
}

// A recording cut off in the middle of a line (a crash, a power loss) is
// read up to its last whole line.
TEST(RecordingFile, ACutOffRecordingIsValidUpToItsLastWholeLine) {
  QTemporaryDir dir;
  const QString path = dir.filePath("cut.log");
  TLogRecorder r;
  QString error;
  ASSERT_TRUE(r.Start(path, error));
  TCanMessage m{};
  m.DLC = 1;
  for (uint32_t id = 1; id <= 3; ++id) {
    m.ID = id;
    r.Add(TLogLine::From(TDirection::Rx, m, id), 1000000 * id);
  }
  ASSERT_TRUE(r.Flush(error, true));
  EXPECT_EQ(r.Frames(), 3u);
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  ASSERT_TRUE(f.resize(f.size() - 5));
  f.close();
  int others = 0;
  std::vector<TCandumpRecord> got;
  QFile in(path);
  ASSERT_TRUE(in.open(QIODevice::ReadOnly));
  for (const QByteArray &line : in.readAll().split('\n'))
    if (ParseCandumpLine(std::string_view(line.constData(), line.size())).Kind == TCandumpKind::Frame)
      got.push_back(ParseCandumpLine(std::string_view(line.constData(), line.size())));
    else if (!line.isEmpty())
      ++others;
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].Msg.ID, 2u);
  EXPECT_EQ(others, 1);
}

// Lines are written in time order (a frame sent is taken when the adapter
// accepted it, after frames received before then), and a line that comes
// after later ones were written takes their time: stamps never go back.
TEST(RecordingFile, StampsNeverGoBackwards) {
  QTemporaryDir dir;
  const QString path = dir.filePath("order.log");
  TLogRecorder r;
  QString error;
  ASSERT_TRUE(r.Start(path, error));
  TCanMessage m{};
  m.DLC = 1;
  auto add = [&](uint32_t id, int64_t us) {
    m.ID = id;
    r.Add(TLogLine::From(TDirection::Rx, m, us), 1000000000 + us);
  };
  add(1, 200);
  add(2, 150);
  ASSERT_TRUE(r.Flush(error, true));
  add(3, 100);
  add(4, 300);
  ASSERT_TRUE(r.Stop(error));
  std::vector<uint32_t> ids;
  std::vector<int64_t> stamps;
  QFile in(path);
  ASSERT_TRUE(in.open(QIODevice::ReadOnly));
  for (const QByteArray &line : in.readAll().split('\n')) {
    const TCandumpRecord rec = ParseCandumpLine(std::string_view(line.constData(), line.size()));
    if (rec.Kind == TCandumpKind::Frame) {
      ids.push_back(rec.Msg.ID);
      stamps.push_back(rec.WallUs);
    }
  }
  EXPECT_EQ(ids, (std::vector<uint32_t>{2, 1, 3, 4}));
  EXPECT_EQ(stamps, (std::vector<int64_t>{1000000150, 1000000200, 1000000200, 1000000300}));
}

// On the file's timing, every round of a loop keeps the file's intervals
// from its own first frame, on the caller's clock.
TEST(ReplayTiming, EachRoundOfALoopKeepsTheFilesIntervals) {
  QTemporaryDir dir;
  QFile f(dir.filePath("three.log"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("(100.000000) can0 001#01\n(100.100000) can0 002#02\n(100.300000) can0 003#03\n");
  f.close();
  TReplay replay;
  QString error;
  ASSERT_TRUE(replay.Start(f.fileName(), false, true, error)) << error.toStdString();
  std::vector<std::pair<int64_t, uint32_t>> sent;
  for (int64_t now = 0; sent.size() < 9 && now < 10000000; now += 10000) // 10 ms steps
    replay.Run(now, [&](const TCanMessage &m) {
      if (sent.size() == 9)
        return false; // enough rounds: the rest waits
      sent.emplace_back(now, m.ID);
      return true;
    });
  // Each round starts at the call that ends the round before.
  const std::vector<std::pair<int64_t, uint32_t>> expected{
      {0, 1}, {100000, 2}, {300000, 3}, {300000, 1}, {400000, 2}, {600000, 3}, {600000, 1}, {700000, 2}, {900000, 3}};
  EXPECT_EQ(sent, expected);
}

// A file's frames go onto the bus in order, on the file's timing; lines
// that are not classic frames are skipped and counted.
TEST_F(Recording, ReplaySendsTheFilesFramesInOrderAndCountsWhatItSkips) {
  const QString path = dir.filePath("play.log");
  WriteFile(path, "(1700000000.000000) can0 101#01\n"
          "# a comment\n"
          "(1700000000.020000) can0 102#0202\n"
          "(1700000000.030000) can0 103##1112233\n" // CAN FD
          "garbage\n"
          "\n"
          "(1700000000.040000) can0 1ABCDEF0#R\n");
  sim_trace_clear();
  ModalDriver d;
  d.Then(TypeFileName(path));
  ChooseMenuItem(FormMain->mm_File, Qt::Key_F, Qt::Key_P);
  ASSERT_TRUE(WaitUntil([&] { return d.Pending() == 0; }));
  EXPECT_EQ(FormMain->ReplayDialog1->windowTitle(), "Replay File");
  ASSERT_TRUE(WaitUntil([] { return Panel("StatusPanelReplay").contains("ended"); }));
  EXPECT_EQ(Panel("StatusPanelReplay"), "Replay play.log ended: 3 frames sent, 3 lines skipped");
  ASSERT_TRUE(WaitUntil([] { return sim_frames_transmitted("A1") == 3; }));
  std::vector<std::string> sent;
  for (const std::string &r : Requests())
    if (r.rfind("01 05", 0) == 0)
      sent.push_back(r);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].substr(24, 11), "01 01 00 00");
  EXPECT_EQ(sent[1].substr(24, 11), "02 01 00 00");
  EXPECT_EQ(sent[2].substr(24, 11), "F0 DE BC 1A");
  EXPECT_EQ(TxCounter(), 3);
  EXPECT_EQ(RxLineCount(), 3);
  EXPECT_EQ(FormMain->mf_Replay->text(), "Re&play...");
}

TEST_F(Recording, ReplayLoopsUntilStoppedAndNeedsAConnection) {
  const QString path = dir.filePath("loop.log");
  WriteFile(path, "(1.000000) can0 101#01\n(1.001000) can0 102#02\n");
  FormMain->mf_ReplayLoop->setChecked(true);
  FormMain->mf_ReplayFast->setChecked(true);
  ASSERT_TRUE(FormMain->StartReplay(path));
  ASSERT_TRUE(WaitUntil([] { return sim_frames_transmitted("A1") >= 6; }));
  EXPECT_EQ(FormMain->mf_Replay->text(), "Stop Re&play");
  ChooseMenuItem(FormMain->mm_File, Qt::Key_F, Qt::Key_P);
  ASSERT_TRUE(WaitUntil([] { return FormMain->mf_Replay->text() == "Re&play..."; }));
  FormMain->Disconnect();
  QString text;
  ModalDriver d;
  d.Then(PressMessageButton(QMessageBox::Cancel, &text));
  EXPECT_FALSE(FormMain->StartReplay(path));
  EXPECT_EQ(d.Seen, QStringList{"MessageNotConnected"});
}

} // namespace
