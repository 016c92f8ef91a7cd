#include "Application.h"

#include "UnitConnect.h"
#include "UnitMain.h"
#include "config/UnitDeviceConfig.h"
#include "config/UnitFilter.h"
#include "dialogs/UnitAbout.h"
#include "dialogs/UnitDeviceInformation.h"
#include "dialogs/UnitEditMsg.h"

#include <QtGlobal>

// The program's resources live in a static library and must be registered.
static void InitResources() { Q_INIT_RESOURCE(molvar); }

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
