// SPDX-License-Identifier: GPL-3.0-or-later
// The application's set-up and its windows, created and destroyed once each.
#include "Application.h"

#include "UnitConnect.h"
#include "UnitMain.h"
#include "config/UnitDeviceConfig.h"
#include "config/UnitFilter.h"
#include "dialogs/UnitAbout.h"
#include "dialogs/UnitDeviceInformation.h"
#include "dialogs/UnitEditMsg.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <QSocketNotifier>
#include <QtGlobal>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

// The program's resources live in a static library and must be registered.
static void InitResources() { Q_INIT_RESOURCE(molvar); }

QIcon ProgramIcon() {
  InitResources();
  QIcon icon;
  for (int size : {16, 32, 48, 64})
    icon.addFile(QString(":/molvar/molvar-%1.png").arg(size), QSize(size, size));
  return icon;
}

void SetUpApplication() {
  InitResources();
  // No display name: the toolkit would append it to every window title.
  QApplication::setApplicationName("molvar");
  QApplication::setWindowIcon(ProgramIcon());
  // The toolkit's file dialogs remember their folders and view through
  // QSettings in a file of their own. The program writes only its settings
  // file and the user's files, so that store points where no file can be
  // made: it lives in memory for the run.
  for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
    QSettings::setPath(format, QSettings::UserScope, "/dev/null");
}

void CreateForms() {
  InitResources();
  FormMain = new TFormMain;
  FormEditMsg = new TFormEditMsg(FormMain);
  FormConnect = new TFormConnect(FormMain);
  FormDeviceInfo = new TFormDeviceInfo(FormMain);
  FormDeviceConfig = new TFormDeviceConfig(FormMain);
  FormFilter = new TFormFilter(FormMain);
  FormAbout = new TFormAbout(FormMain);
}

void DestroyForms() {
  // The dialogs are children of the main window and go with it.
  delete FormMain;
  FormMain = nullptr;
  FormEditMsg = nullptr;
  FormConnect = nullptr;
  FormDeviceInfo = nullptr;
  FormDeviceConfig = nullptr;
  FormFilter = nullptr;
  FormAbout = nullptr;
}

namespace {
// The handler only writes a byte; the window closes in the event loop.
int SignalSockets[2] = {-1, -1};
void OnTerminationSignal(int) {
  const char c = 1;
  (void)!::write(SignalSockets[1], &c, 1);
}
} // namespace

void CloseOnTerminationSignals() {
  if (SignalSockets[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalSockets) != 0)
    return;
  auto *notifier = new QSocketNotifier(SignalSockets[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [notifier] {
    char c;
    (void)!::read(SignalSockets[0], &c, 1);
    notifier->setEnabled(false);
    // Open dialogs first (a file dialog's answer is not waited for), then
    // the window, which saves and stops what it runs; quitting ends any
    // event loop still running.
    for (int i = 0; i < 10 && QApplication::activeModalWidget(); ++i)
      QApplication::activeModalWidget()->close();
    if (FormMain)
      FormMain->close();
    QApplication::quit();
  });
  struct sigaction sa {};
  sa.sa_handler = OnTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int s : {SIGTERM, SIGINT, SIGHUP})
    sigaction(s, &sa, nullptr);
}
