// SPDX-License-Identifier: GPL-3.0-or-later
// Molvar's figures: the transport's ceiling and the window's ingest against
// it, a bus at each load and bit rate, the event loop's longest stall, frame
// log scale, transmit all, set-up files, idle cost, start-up and log memory
// over a long run, measured on the real main window under the offscreen
// platform with the simulated adapter and its clock. Prints one table.
//
//   molvar_bench [--flood-seconds N] [--long-minutes N] [--quick]
//                [--only long|flood|bus|log|tx|overview|dbc|plot|record|replay|setup|idle|start]

#include "adapter/Vni_if.h"
#include "can/Dbc.h"
#include "comm/UnitComm.h"
#include "config/IniFile.h"
#include "config/Unitconfig.h"
#include "mainwindow/Application.h"
#include "can/FrameText.h"
#include "mainwindow/LineModels.h"
#include "mainwindow/LogRecorder.h"
#include "mainwindow/Overview.h"
#include "mainwindow/FrameLogView.h"
#include "mainwindow/UnitMain.h"
#include "mainwindow/UnitPlot.h"
#include "simcontrol.h"
#include "transport/Libusbdyn.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QChartView>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Row {
  std::string figure, value, goal;
};
std::vector<Row> Table;

void Add(const std::string &figure, const std::string &value, const std::string &goal = "") {
  Table.push_back({figure, value, goal});
  std::fprintf(stderr, "  %s: %s\n", figure.c_str(), value.c_str());
}

std::string Fmt(const char *fmt, double v) {
  char b[64];
  std::snprintf(b, sizeof b, fmt, v);
  return b;
}

// Runs the event loop for ms milliseconds, sleeping when there is nothing to
// do (so that the idle figure measures the program, not this loop).
void Pump(int ms) {
  if (ms <= 0)
    return;
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool WaitUntil(const std::function<bool()> &cond, int limitMs = 30000) {
  QElapsedTimer t;
  t.start();
  while (!cond()) {
    if (t.elapsed() > limitMs)
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
  }
  return true;
}

double RssMB() {
  long pages = 0, resident = 0;
  FILE *f = std::fopen("/proc/self/statm", "r");
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
      resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1048576.0);
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of each thread of this process, by thread name.
std::map<std::string, double> ThreadCpu() {
  std::map<std::string, double> cpu;
  QDir tasks("/proc/self/task");
  for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile f(tasks.filePath(tid) + "/stat");
    if (!f.open(QIODevice::ReadOnly))
      continue;
    const QByteArray stat = f.readAll();
    const int open = stat.indexOf('('), close = stat.lastIndexOf(')');
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (open < 0 || close < 0 || fields.size() < 13)
      continue;
    cpu[stat.mid(open + 1, close - open - 1).toStdString()] +=
        (fields[11].toDouble() + fields[12].toDouble()) / sysconf(_SC_CLK_TCK);
  }
  return cpu;
}

QString SettingsPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/" + SettingsFileName;
}

void WriteSetup(const QString &path, int frames) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly))
    return;
  QByteArray text = "[Messages]\r\nn=" + QByteArray::number(frames) + "\r\n";
  for (int i = 0; i < frames; ++i)
    text += QByteArray::number(i) + "=Std\t  " + QByteArray::number(0x100 + i % 0x600, 16).toUpper() +
            "\t11\t22\t33\t44\r\n";
  f.write(text);
}

void Fresh(int setupFrames = 0) {
  if (FormMain) {
    FormMain->close();
    DestroyForms();
  }
  QFile::remove(SettingsPath());
  if (setupFrames > 0)
    WriteSetup(SettingsPath(), setupFrames);
  sim_reset();
  // The simulator's wire trace would count as the program's memory and time.
  sim_set_trace_limit(0);
  libusbdyn::ResetForTest({"libusb-0.1.so.4"});
  CreateForms();
  FormMain->show();
  (void)QTest::qWaitForWindowExposed(FormMain);
}

void Connect() {
  FormMain->SpeedButtonConnectClick();
  WaitUntil([] { return FormMain->DevComm() != nullptr; });
}

// The event loop's longest stall: a 1 ms timer that notes the longest gap
// between its calls beyond its interval, and how much of that gap the
// thread spent running (the rest it waited: for the processor, or blocked).
class TStallWatch {
public:
  TStallWatch() {
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setInterval(1);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      const qint64 now = FClock.nsecsElapsed();
      const qint64 ran = ThreadCpuNs();
      if (FLast >= 0 && now - FLast - 1000000 > FLongest) {
        FLongest = now - FLast - 1000000;
        FLongestRan = ran - FLastRan;
      }
      FLast = now;
      FLastRan = ran;
    });
    FClock.start();
    FTimer.start();
  }
  std::string Text() const { return Fmt("%.1f ms", FLongest / 1e6) + Fmt(" (the thread running %.1f ms meanwhile)", FLongestRan / 1e6); }

private:
  static qint64 ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
  }
  QTimer FTimer;
  QElapsedTimer FClock;
  qint64 FLast = -1;
  qint64 FLastRan = 0;
  qint64 FLongest = 0;
  qint64 FLongestRan = 0;
};

// What the link allows: a client with nothing but the adapter code doing
// the one thing back to back, no pause, no thread, no window.
struct TCeiling {
  double Polls = 0;     // receive polls answered with a frame, per second
  double Transmits = 0; // frames accepted, per second
  double Pairs = 0;     // a transmission and a poll in turn, frames sent per second
};

TCeiling TransportCeiling(double seconds) {
  if (FormMain) {
    FormMain->close();
    DestroyForms();
  }
  sim_reset();
  sim_set_trace_limit(0);
  libusbdyn::ResetForTest({"libusb-0.1.so.4"});
  sim_add_adapter("CEIL");
  sim_set_flood("CEIL", 1);
  TCeiling c;
  TVNI vni;
  if (!vni.Open("CEIL") || !vni.Start(true, true))
    return c;
  auto rate = [&](const std::function<bool()> &step) {
    QElapsedTimer t;
    t.start();
    long n = 0;
    while (t.elapsed() < seconds * 1000)
      n += step() ? 1 : 0;
    return n / (t.nsecsElapsed() / 1e9);
  };
  TCanMessage m{};
  c.Polls = rate([&] { return vni.ReceiveFrame(&m) && m.IDType != vnicmd::NoFrame; });
  TCanMessage tx{};
  tx.DLC = 8;
  c.Transmits = rate([&] { return vni.TransmitFrame(&tx); });
  c.Pairs = rate([&] {
    const bool sent = vni.TransmitFrame(&tx);
    vni.ReceiveFrame(&m);
    return sent;
  });
  vni.Close();
  Add("transport ceiling: receive polls back to back, frames per s", Fmt("%.0f", c.Polls));
  Add("transport ceiling: transmissions back to back, frames per s", Fmt("%.0f", c.Transmits));
  Add("transport ceiling: a transmission and a poll in turn, frames sent per s", Fmt("%.0f", c.Pairs));
  return c;
}

// Receive under flood: the adapter always has a frame waiting.
void Flood(int seconds, const TCeiling &ceiling) {
  Fresh();
  sim_add_adapter("FLOOD");
  sim_set_flood("FLOOD", 1);
  Connect();
  TDevComm *comm = FormMain->DevComm();
  const QAbstractItemModel *log = FormMain->ListBoxRx->model();
  Pump(200);
  const uint64_t rx0 = comm->ReceivedFrames();
  const int lines0 = log->rowCount();
  TStallWatch watch;
  QElapsedTimer t;
  t.start();
  std::string backlog;
  for (int s = 5; s <= seconds; s += 5) {
    Pump(static_cast<int>(s * 1000 - t.elapsed()));
    backlog += (backlog.empty() ? "" : " / ") + std::to_string(comm->ReceiveBacklog());
  }
  const double wall = t.elapsed() / 1000.0;
  const double rxRate = (comm->ReceivedFrames() - rx0) / wall;
  const double shown = (log->rowCount() - lines0) / wall;
  Add("flood: frames received by the thread per s", Fmt("%.0f", rxRate));
  Add("flood: log lines per s", Fmt("%.0f", shown));
  Add("flood: log lines as a share of the receive ceiling", Fmt("%.1f %%", 100.0 * shown / ceiling.Polls), ">= 90 %");
  Add("flood: thread's backlog at each 5 s", backlog, "not growing");
  Add("flood: longest stall of the event loop", watch.Text(), "<= 20 ms");
  FormMain->Disconnect();
}

// A bus at each bit rate and load for a few seconds: the share of the frames
// the bus offered that reach the log, and what the adapter's queue lost.
void LoadMatrix(int seconds, const TCeiling &ceiling) {
  for (int rate : {125000, 250000, 500000, 1000000}) {
    std::string shares, lost;
    for (int load : {25, 50, 75, 100}) {
      Fresh();
      sim_add_adapter("BUS");
      Connect();
      const QAbstractItemModel *log = FormMain->ListBoxRx->model();
      sim_set_bus_load(rate, load);
      Pump(seconds * 1000);
      sim_set_bus_load(0, 0);
      // Everything the adapter still holds reaches the log once the bus is
      // quiet.
      WaitUntil([&] { return sim_rx_backlog("BUS") == 0 && log->rowCount() == sim_frames_delivered("BUS"); });
      const long offered = sim_bus_offered("BUS");
      const double share = offered > 0 ? 100.0 * log->rowCount() / offered : 0;
      shares += (shares.empty() ? "" : " / ") + Fmt("%.1f", share);
      lost += (lost.empty() ? "" : " / ") + std::to_string(sim_rx_dropped("BUS"));
      if (load == 100)
        Add("bus at " + std::to_string(rate / 1000) + " kbit/s, 100 % load: frames per s offered",
            Fmt("%.0f", offered / double(seconds)) +
                Fmt(" (%.0f %% of the ceiling)", 100.0 * offered / seconds / ceiling.Polls));
      FormMain->Disconnect();
    }
    Add("bus at " + std::to_string(rate / 1000) + " kbit/s, 25/50/75/100 % load: % of offered frames logged", shares,
        "100 below 90 % of the ceiling");
    Add("bus at " + std::to_string(rate / 1000) + " kbit/s, 25/50/75/100 % load: frames lost in the adapter", lost);
  }
}

// Log memory over a long run at the ceiling: resident growth per line.
void LongRun(int minutes) {
  Fresh();
  sim_add_adapter("LONG");
  sim_set_flood("LONG", 1);
  Connect();
  const QAbstractItemModel *log = FormMain->findChild<TFrameLogModel *>();
  Pump(500);
  const double rss0 = RssMB();
  const int lines0 = log->rowCount();
  Pump(minutes * 30 * 1000);
  const double rssHalf = RssMB();
  const int linesHalf = log->rowCount();
  Pump(minutes * 30 * 1000);
  const int lines = log->rowCount() - lines0;
  const double perLine = (RssMB() - rss0) * 1048576.0 / std::max(lines, 1);
  const double perLineLate = (RssMB() - rssHalf) * 1048576.0 / std::max(log->rowCount() - linesHalf, 1);
  const std::string what = "log over " + std::to_string(minutes) + " min at the ceiling: ";
  Add(what + "lines", std::to_string(lines));
  Add(what + "resident bytes per line", Fmt("%.1f", perLine), "<= 32");
  Add(what + "resident bytes per line in the second half", Fmt("%.1f", perLineLate));
  FormMain->Disconnect();
}

void LogScale(int lines) {
  TFrameLogView view;
  TFrameLogModel model;
  view.setModel(&model);
  SetUpFrameListView(&view);
  view.resize(800, 400);
  view.show();
  (void)QTest::qWaitForWindowExposed(&view);
  TCanMessage m{};
  m.DLC = 8;
  const double rss0 = RssMB();
  QElapsedTimer t;
  t.start();
  // As the receive timer adds them: a batch per tick.
  std::vector<TLogLine> batch;
  for (int i = 0; i < lines; ++i) {
    m.ID = i & 0x7FF;
    batch.push_back(TLogLine::From(TDirection::Rx, m));
    if (batch.size() == 10) {
      model.Append(batch);
      batch.clear();
    }
  }
  model.Append(batch);
  const double addNs = t.nsecsElapsed() / double(lines);
  const double rss = RssMB() - rss0;
  Add("log: add a line (batches of 10), amortised", Fmt("%.3f us", addNs / 1000), "< 1 us");
  Add("log: resident memory for " + std::to_string(lines) + " lines", Fmt("%.1f MB", rss));
  Add("log: bytes per line", Fmt("%.1f", rss * 1048576.0 / lines), "<= 64");
  t.restart();
  view.scrollToBottom();
  view.setCurrentIndex(model.index(model.rowCount() - 1));
  view.viewport()->repaint();
  Add("log: scroll to the end and paint once", Fmt("%.2f ms", t.nsecsElapsed() / 1e6));
  t.restart();
  const int single = 100000;
  for (int i = 0; i < single; ++i)
    model.Append(TLogLine::From(TDirection::Tx, m));
  Add("log: add a line one at a time, amortised", Fmt("%.3f us", t.nsecsElapsed() / 1000.0 / single));
}

void TransmitAll(int frames, const TCeiling &ceiling) {
  QTemporaryDir dir;
  WriteSetup(dir.filePath("tx.vni"), frames);
  Fresh();
  {
    TIniFile ini(dir.filePath("tx.vni"));
    FormMain->LoadSetup(ini);
  }
  sim_add_adapter("TX");
  Connect();
  TStallWatch watch;
  Pump(5); // the watch has ticked: the click's own time counts as a stall
  QElapsedTimer t;
  t.start();
  FormMain->BitBtnTxAllClick();
  const double ms = t.nsecsElapsed() / 1e6;
  Add("transmit all " + std::to_string(frames) + " frames: wall time", Fmt("%.0f ms", ms));
  Add("transmit all " + std::to_string(frames) + ": frames handed over per s", Fmt("%.0f", frames / (ms / 1000)));
  // Waiting as the window would: its event loop runs and sleeps.
  while (sim_frames_transmitted("TX") < frames && t.elapsed() < 120000)
    Pump(5);
  const double acceptedMs = t.nsecsElapsed() / 1e6;
  Add("transmit all " + std::to_string(frames) + ": until the adapter accepted the last",
      Fmt("%.0f ms", acceptedMs) +
          Fmt(" (%.0f %% of the transmit ceiling", 100.0 * frames / (acceptedMs / 1000) / ceiling.Transmits) +
          Fmt(", %.0f %% of transmit-and-poll)", 100.0 * frames / (acceptedMs / 1000) / ceiling.Pairs));
  Add("transmit all " + std::to_string(frames) + ": longest stall of the event loop",
      watch.Text(), "<= 20 ms");
  FormMain->Disconnect();
}

// The overview at a saturated bus's rate: the cost of each frame's update
// and of one refresh of the shown table.
void OverviewCost() {
  QTreeView view;
  TOverviewModel model;
  QSortFilterProxyModel sort;
  sort.setSourceModel(&model);
  sort.setSortRole(TOverviewModel::SortRole);
  view.setModel(&sort);
  view.setSortingEnabled(true);
  view.resize(900, 500);
  view.show();
  (void)QTest::qWaitForWindowExposed(&view);
  const int ids = 200, frames = 800000;
  TCanMessage m{};
  m.DLC = 8;
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < frames; ++i) {
    m.ID = 0x100 + i % ids;
    m.Data[0] = static_cast<uint8_t>(i);
    model.Add(TLogLine::From(TDirection::Rx, m, i * 125));
  }
  const double addNs = t.nsecsElapsed() / double(frames);
  t.restart();
  const int refreshes = 20;
  for (int i = 0; i < refreshes; ++i) {
    model.Refresh(frames * 125 + i);
    view.viewport()->repaint();
  }
  const double refreshMs = t.nsecsElapsed() / 1e6 / refreshes;
  Add("overview: update per frame (200 identifiers)", Fmt("%.0f ns", addNs));
  Add("overview: one refresh and repaint of 200 rows", Fmt("%.2f ms", refreshMs));
  Add("overview at 8000 frames/s, refreshed 4 times a second: share of a core",
      Fmt("%.2f %%", (8000 * addNs / 1e9 + 4 * refreshMs / 1e3) * 100));
}

// Recording: frames per second to the disk, and the cost per frame.
void RecordingCost() {
  QTemporaryDir dir;
  TLogRecorder rec;
  QString error;
  if (!rec.Start(dir.filePath("bench.log"), error))
    return;
  TCanMessage m{};
  m.DLC = 8;
  const int frames = 1000000;
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < frames; ++i) {
    m.ID = i & 0x7FF;
    rec.Add(TLogLine::From(TDirection::Rx, m, i), 1700000000000000LL + i);
    if (i % 8000 == 0)
      rec.Flush(error);
  }
  rec.Stop(error);
  const double s = t.nsecsElapsed() / 1e9;
  Add("recording: frames per s to the disk (candump lines, synced each second)", Fmt("%.0f", frames / s));
  Add("recording: cost per frame", Fmt("%.2f us", s * 1e6 / frames));
}

// Replay of a file with 1 ms between frames through the window: the spread
// of the intervals at which frames were handed over (from a recording made
// during the replay) and at which the adapter accepted them (the log's
// stamps) against the file's 1 ms.
void ReplayTiming(int frames) {
  QTemporaryDir dir;
  QFile f(dir.filePath("ms.log"));
  if (!f.open(QIODevice::WriteOnly))
    return;
  for (int i = 0; i < frames; ++i)
    f.write(QString("(%1.%2) can0 123#%3\n")
                .arg(1700000000 + i / 1000)
                .arg((i % 1000) * 1000, 6, 10, QChar('0'))
                .arg(i & 0xFF, 2, 16, QChar('0'))
                .toLatin1());
  f.close();
  Fresh();
  sim_add_adapter("REPLAY");
  Connect();
  FormMain->StartRecording(dir.filePath("handed.log"));
  FormMain->StartReplay(f.fileName());
  WaitUntil([] { return !FormMain->TimerReplay->isActive(); }, 120000);
  WaitUntil([&] { return sim_frames_transmitted("REPLAY") == frames; }, 120000);
  Pump(100);
  FormMain->StopRecording();
  std::vector<int64_t> handed, accepted;
  QFile rec(dir.filePath("handed.log"));
  if (rec.open(QIODevice::ReadOnly))
    for (const QByteArray &line : rec.readAll().split('\n')) {
      const TCandumpRecord r = ParseCandumpLine(std::string_view(line.constData(), line.size()));
      if (r.Kind == TCandumpKind::Frame)
        handed.push_back(r.WallUs);
    }
  const TFrameLogModel *log = FormMain->findChild<TFrameLogModel *>();
  for (size_t i = 0; i < log->Count(); ++i)
    accepted.push_back(log->At(i).TimeUs);
  auto spread = [](const std::vector<int64_t> &t) {
    int64_t lo = INT64_MAX, hi = INT64_MIN;
    double dev = 0;
    for (size_t i = 1; i < t.size(); ++i) {
      const int64_t d = t[i] - t[i - 1];
      lo = std::min(lo, d);
      hi = std::max(hi, d);
      dev += std::abs(d - 1000);
    }
    return Fmt("%.0f", lo / 1.0) + Fmt(" to %.0f us", hi / 1.0) +
           Fmt(", mean deviation %.0f us", t.size() > 1 ? dev / (t.size() - 1) : 0);
  };
  Add("replay at 1 ms spacing: intervals handed over", spread(handed));
  Add("replay at 1 ms spacing: intervals accepted by the adapter", spread(accepted));
  Add("replay at 1 ms spacing: whole file", Fmt("%.0f ms", handed.size() > 1 ? (handed.back() - handed.front()) / 1000.0 : 0) +
                                             Fmt(" for %.0f ms of file", frames - 1.0));
  FormMain->Disconnect();
}

// A database of 1,000 messages with 10 signals each: the time to read it,
// and decoding a frame of 20 signals (both byte orders), as at 8,000 frames
// a second.
void DatabaseCost() {
  std::string text = "VERSION \"\"\n\nNS_ :\n\tCM_\n\nBS_:\n\nBU_: A B\n\n";
  for (int m = 0; m < 1000; ++m) {
    text += "BO_ " + std::to_string(m) + " Message" + std::to_string(m) + ": 8 A\n";
    for (int k = 0; k < 10; ++k)
      text += " SG_ Signal" + std::to_string(k) + " : " + std::to_string(k * 6) + "|6@1+ (0.5,-10) [-10|21.5] \"unit\" B\n";
    text += "\n";
  }
  for (int m = 0; m < 1000; ++m)
    text += "BA_ \"GenMsgCycleTime\" BO_ " + std::to_string(m) + " 100;\n";
  QElapsedTimer t;
  t.start();
  const TDatabase db = TDatabase::Parse(text);
  Add("database: read 1000 messages, 10000 signals", Fmt("%.1f ms", t.nsecsElapsed() / 1e6), "< 100 ms");
  std::string twenty = "BO_ 1 Twenty: 8 A\n";
  for (int k = 0; k < 10; ++k)
    twenty += " SG_ I" + std::to_string(k) + " : " + std::to_string(k * 6) + "|6@1+ (0.25,0) [0|15.75] \"\" B\n";
  for (int k = 0; k < 10; ++k)
    twenty += " SG_ M" + std::to_string(k) + " : " + std::to_string(63 - k * 6) + "|5@0- (1,0) [0|0] \"\" B\n";
  const TDatabase one = TDatabase::Parse(twenty);
  const TDbcMessage *m = one.Find(1, false);
  uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const int frames = 200000;
  double sum = 0;
  t.restart();
  for (int i = 0; i < frames; ++i) {
    data[0] = static_cast<uint8_t>(i);
    for (const TSignal &s : m->Signals) {
      uint64_t raw;
      if (SignalPresent(*m, s, data, 8) && RawBits(s, data, 8, raw))
        sum += Physical(s, raw);
    }
  }
  const double perFrameUs = t.nsecsElapsed() / 1e3 / frames;
  Add("database: decode a frame of 20 signals", Fmt("%.2f us", perFrameUs) + (sum == 0.5 ? "!" : ""));
  Add("database: decoding 8000 frames/s of 20 signals, share of a core", Fmt("%.2f %%", perFrameUs * 8000 / 1e4),
      "< 5 %");
}

// An hour of four signals at 100 Hz (1,440,000 values): taking them from
// frames, and the plot's redraw (reduction, series, painting) over the whole
// hour and while following the newest 30 seconds.
void PlotCost() {
  const TDatabase db = TDatabase::Parse("BO_ 256 Four: 8 A\n"
                                        " SG_ A : 0|16@1+ (0.1,0) [0|6553.5] \"rpm\" B\n"
                                        " SG_ B : 16|16@1- (1,0) [0|0] \"\" B\n"
                                        " SG_ C : 39|16@0+ (0.01,0) [0|655.35] \"km/h\" B\n"
                                        " SG_ D : 48|8@1+ (1,-40) [-40|215] \"degC\" B\n");
  TPlotData data;
  for (size_t k = 0; k < 4; ++k)
    data.Add(db.Messages[0], k);
  const int frames = 3600 * 100;
  TCanMessage msg{};
  msg.ID = 256;
  msg.DLC = 8;
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < frames; ++i) {
    const double x = i * 0.01;
    const auto a = static_cast<uint16_t>(30000 + 20000 * std::sin(x * 0.05) + 3000 * std::sin(x * 3));
    const auto b = static_cast<int16_t>(10000 * std::cos(x * 0.01));
    const auto c = static_cast<uint16_t>(i % 6000 * 10);
    std::memcpy(msg.Data, &a, 2);
    std::memcpy(msg.Data + 2, &b, 2);
    msg.Data[4] = static_cast<uint8_t>(c >> 8);
    msg.Data[5] = static_cast<uint8_t>(c);
    msg.Data[6] = static_cast<uint8_t>(x / 36);
    data.Take(TLogLine::From(TDirection::Rx, msg, static_cast<int64_t>(i) * 10000));
  }
  Add("plot: take a frame's values for 4 curves", Fmt("%.0f ns", t.nsecsElapsed() / double(frames)));
  TFormPlot plot(data, nullptr);
  plot.resize(1000, 600);
  plot.show();
  (void)QTest::qWaitForWindowExposed(&plot);
  plot.CurvesChanged();
  auto redraws = [&](const char *what) {
    double worst = 0, total = 0, paint = 0;
    const int n = 20;
    for (int i = 0; i < n; ++i) {
      t.restart();
      plot.Redraw();
      const double r = t.nsecsElapsed() / 1e6;
      plot.ChartViewPlot->viewport()->repaint();
      paint += t.nsecsElapsed() / 1e6 - r;
      const double ms = t.nsecsElapsed() / 1e6;
      worst = std::max(worst, ms);
      total += ms;
    }
    Add(std::string("plot: redraw, 4 curves of an hour at 100 Hz, ") + what,
        Fmt("%.1f ms", total / n) + Fmt(" (max %.1f,", worst) + Fmt(" painting %.1f)", paint / n), "< 16 ms");
  };
  redraws("following the last 30 s");
  plot.BitBtnPlotFit->click();
  redraws("the whole hour in view");
}

void SetupFiles(int frames) {
  QTemporaryDir dir;
  WriteSetup(dir.filePath("in.vni"), frames);
  Fresh();
  QElapsedTimer t;
  t.start();
  {
    TIniFile ini(dir.filePath("in.vni"));
    FormMain->LoadSetup(ini);
  }
  Add("set-up: load " + std::to_string(frames) + " frames", Fmt("%.1f ms", t.nsecsElapsed() / 1e6), "< 100 ms");
  t.restart();
  {
    TIniFile ini(dir.filePath("out.vni"));
    FormMain->SaveSetup(ini);
    ini.UpdateFile();
  }
  Add("set-up: save " + std::to_string(frames) + " frames (new file)", Fmt("%.1f ms", t.nsecsElapsed() / 1e6), "< 100 ms");
  t.restart();
  {
    TIniFile ini(dir.filePath("out.vni"));
    FormMain->SaveSetup(ini);
    ini.UpdateFile();
  }
  Add("set-up: save " + std::to_string(frames) + " frames (over the same file)", Fmt("%.1f ms", t.nsecsElapsed() / 1e6),
      "< 100 ms");
}

// What the sleeps of an idle round cost on this machine by themselves: a
// bare thread that sleeps as the communication thread does in a round with
// nothing to do (two transfers of the simulator's time and the 1 ms pause),
// doing nothing else.
void IdleFloor(int seconds) {
  sim_reset(); // the transfer time the simulator was started with
  const auto transfer = std::chrono::microseconds(sim_transfer_delay_us());
  double cpu = 0;
  std::thread sleeper([&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
      for (int i = 0; i < 2; ++i)
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + transfer);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    timespec used{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    cpu = used.tv_sec + used.tv_nsec / 1e9;
  });
  sleeper.join();
  Add("idle: a bare thread sleeping as an idle round does, CPU per wall second",
      Fmt("%.1f %% of a core", 100 * cpu / seconds));
}

// Twice: with the simulator's transfer time, and with transfers that take
// none (each idle round then sleeps once instead of three times, the
// simulator the idle goal was first measured on).
void Idle(int seconds) {
  for (const bool clocked : {true, false}) {
    Fresh();
    if (!clocked)
      sim_set_transfer_delay_us(0);
    sim_add_adapter("IDLE");
    Connect();
    Pump(500);
    const double cpu0 = CpuSeconds();
    const auto threads0 = ThreadCpu();
    QElapsedTimer t;
    t.start();
    Pump(seconds * 1000);
    const double wall = t.elapsed() / 1000.0;
    const double share = (CpuSeconds() - cpu0) / wall;
    std::string byThread;
    for (const auto &[name, cpu] : ThreadCpu()) {
      const double used = cpu - (threads0.count(name) ? threads0.at(name) : 0.0);
      if (used > 0)
        byThread += (byThread.empty() ? "" : ", ") + name + Fmt(" %.1f %%", 100 * used / wall);
    }
    const std::string how = clocked ? "" : ", transfers taking no time";
    Add("idle" + how + ": by thread", byThread);
    Add("idle, connected to a silent bus" + how + ": CPU per wall second", Fmt("%.1f %% of a core", share * 100),
        "<= 2 %");
    FormMain->Disconnect();
  }
  IdleFloor(seconds);
}

void StartUp(int frames) {
  for (int n : {0, frames}) {
    if (FormMain) {
      FormMain->close();
      DestroyForms();
    }
    QFile::remove(SettingsPath());
    if (n)
      WriteSetup(SettingsPath(), n);
    QElapsedTimer t;
    t.start();
    CreateForms();
    FormMain->show();
    (void)QTest::qWaitForWindowExposed(FormMain);
    Add("start-up to the main window shown, " + std::to_string(n) + "-frame settings file",
        Fmt("%.0f ms", t.nsecsElapsed() / 1e6), "< 500 ms");
  }
}

} // namespace

int main(int argc, char **argv) {
  QTemporaryDir config;
  setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  int floodSeconds = 20;
  int longMinutes = 10;
  bool quick = false;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--flood-seconds") && i + 1 < argc)
      floodSeconds = std::max(5, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--long-minutes") && i + 1 < argc)
      longMinutes = std::max(1, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--quick"))
      quick = true;
    else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
      only = argv[++i];
  }
  auto want = [&](const char *name) { return only.empty() || only == name; };
  if (quick) {
    floodSeconds = 5;
    longMinutes = 1;
  }
  std::fprintf(stderr, "measuring...\n");
  // First, while the process has freed nothing the log could reuse.
  if (want("long"))
    LongRun(longMinutes);
  const TCeiling ceiling = TransportCeiling(quick ? 2 : 5);
  if (want("flood"))
    Flood(floodSeconds, ceiling);
  if (want("bus"))
    LoadMatrix(quick ? 1 : 4, ceiling);
  if (want("log"))
    LogScale(quick ? 100000 : 1000000);
  if (want("tx")) {
    TransmitAll(1000, ceiling);
    TransmitAll(10000, ceiling);
  }
  if (want("overview"))
    OverviewCost();
  if (want("dbc"))
    DatabaseCost();
  if (want("plot"))
    PlotCost();
  if (want("record"))
    RecordingCost();
  if (want("replay"))
    ReplayTiming(quick ? 500 : 2000);
  if (want("setup"))
    SetupFiles(10000);
  if (want("idle"))
    Idle(quick ? 2 : 10);
  if (want("start"))
    StartUp(10000);
  if (FormMain) {
    FormMain->close();
    DestroyForms();
  }

  size_t w = 0;
  for (const Row &r : Table)
    w = std::max(w, r.figure.size());
  std::printf("\n| %-*s | %-24s | %-20s |\n", int(w), "figure", "measured", "goal");
  std::printf("|%s|%s|%s|\n", std::string(w + 2, '-').c_str(), std::string(26, '-').c_str(), std::string(22, '-').c_str());
  for (const Row &r : Table)
    std::printf("| %-*s | %-24s | %-20s |\n", int(w), r.figure.c_str(), r.value.c_str(), r.goal.c_str());
  return 0;
}
