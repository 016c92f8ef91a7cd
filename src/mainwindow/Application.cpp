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
#include <QtGlobal>

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
