// SPDX-License-Identifier: GPL-3.0-or-later
// Molvar's figures: receive under flood, frame log scale, transmit all,
// set-up files, idle cost and start-up, measured on the real main window
// under the offscreen platform with the simulated adapter. Prints one table.
//
//   molvar_bench [--flood-seconds N] [--quick]

#include "comm/UnitComm.h"
#include "config/IniFile.h"
#include "config/Unitconfig.h"
#include "mainwindow/Application.h"
#include "can/FrameText.h"
#include "mainwindow/LineModels.h"
#include "mainwindow/UnitMain.h"
#include "simcontrol.h"
#include "transport/Libusbdyn.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QListView>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
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
  libusbdyn::ResetForTest({"libusb-0.1.so.4"});
  CreateForms();
  FormMain->show();
  QTest::qWaitForWindowExposed(FormMain);
}

void Connect() {
  FormMain->SpeedButtonConnectClick();
  WaitUntil([] { return FormMain->DevComm() != nullptr; });
}

// Receive under flood: the adapter always has a frame waiting. "drain" is the
// frame log's timer as built; "one per tick" takes a single frame per 10 ms
// tick, as the log did before it drained the hand-over at each tick.
void Flood(int seconds, bool onePerTick) {
  Fresh();
  sim_add_adapter("FLOOD");
  sim_set_flood("FLOOD", 1);
  Connect();
  TDevComm *comm = FormMain->DevComm();
  QTimer oneTick;
  long taken = 0;
  if (onePerTick) {
    FormMain->TimerReceive->stop();
    oneTick.setInterval(10);
    QObject::connect(&oneTick, &QTimer::timeout, [&] {
      TCanMessage m;
      if (comm->ReceiveMessage(m))
        ++taken;
    });
    oneTick.start();
  }
  const char *name = onePerTick ? "one per tick" : "drain";
  const uint64_t rx0 = comm->ReceivedFrames();
  const QAbstractItemModel *log = FormMain->ListBoxRx->model();
  const int lines0 = log->rowCount();
  QElapsedTimer t;
  t.start();
  std::string backlog;
  for (int s = 5; s <= seconds; s += 5) {
    Pump(static_cast<int>(s * 1000 - t.elapsed()));
    backlog += (backlog.empty() ? "" : " / ") + std::to_string(comm->ReceiveBacklog());
  }
  const double wall = t.elapsed() / 1000.0;
  const double rxRate = (comm->ReceivedFrames() - rx0) / wall;
  const double shown = onePerTick ? taken : log->rowCount() - lines0;
  Add(std::string("flood (") + name + "): frames received by the thread per s", Fmt("%.0f", rxRate));
  Add(std::string("flood (") + name + "): log lines per s", Fmt("%.0f", shown / wall),
      onePerTick ? "" : ">= 95 % of received");
  Add(std::string("flood (") + name + "): share shown", Fmt("%.1f %%", 100.0 * shown / wall / rxRate));
  Add(std::string("flood (") + name + "): backlog at 5/10/15/20 s", backlog, onePerTick ? "" : "not growing");
  Add(std::string("flood (") + name + "): frames dropped", std::to_string(comm->DroppedFrames()));
  oneTick.stop();
  FormMain->Disconnect();
}

void LogScale(int lines) {
  QListView view;
  TFrameLogModel model;
  view.setModel(&model);
  SetUpFrameListView(&view);
  view.resize(800, 400);
  view.show();
  QTest::qWaitForWindowExposed(&view);
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

void TransmitAll(int frames) {
  QTemporaryDir dir;
  WriteSetup(dir.filePath("tx.vni"), frames);
  Fresh();
  {
    TIniFile ini(dir.filePath("tx.vni"));
    FormMain->LoadSetup(ini);
  }
  sim_add_adapter("TX");
  Connect();
  QElapsedTimer t;
  t.start();
  FormMain->BitBtnTxAllClick();
  const double ms = t.nsecsElapsed() / 1e6;
  Add("transmit all " + std::to_string(frames) + " frames: wall time", Fmt("%.0f ms", ms));
  Add("transmit all " + std::to_string(frames) + ": frames handed over per s", Fmt("%.0f", frames / (ms / 1000)));
  WaitUntil([&] { return sim_frames_transmitted("TX") == frames; });
  Add("transmit all " + std::to_string(frames) + ": until the adapter accepted the last",
      Fmt("%.0f ms", t.nsecsElapsed() / 1e6));
  FormMain->Disconnect();
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

void Idle(int seconds) {
  Fresh();
  sim_add_adapter("IDLE");
  Connect();
  Pump(500);
  const double cpu0 = CpuSeconds();
  QElapsedTimer t;
  t.start();
  Pump(seconds * 1000);
  const double share = (CpuSeconds() - cpu0) / (t.elapsed() / 1000.0);
  Add("idle, connected to a silent bus: CPU per wall second", Fmt("%.1f %% of a core", share * 100), "< 5 %");
  FormMain->Disconnect();
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
    QTest::qWaitForWindowExposed(FormMain);
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
  bool quick = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--flood-seconds") && i + 1 < argc)
      floodSeconds = std::max(5, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--quick"))
      quick = true;
  }
  if (quick)
    floodSeconds = 5;
  std::fprintf(stderr, "measuring...\n");
  Flood(floodSeconds, true);
  Flood(floodSeconds, false);
  LogScale(quick ? 100000 : 1000000);
  TransmitAll(1000);
  TransmitAll(10000);
  SetupFiles(10000);
  Idle(quick ? 2 : 5);
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
