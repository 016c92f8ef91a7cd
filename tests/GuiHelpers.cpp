// SPDX-License-Identifier: GPL-3.0-or-later
#include "GuiHelpers.h"

#include "comm/UnitComm.h"
#include "config/Unitconfig.h"
#include "mainwindow/Application.h"
#include "mainwindow/LineModels.h"
#include "mainwindow/TransmitList.h"
#include "mainwindow/FrameLogView.h"
#include "mainwindow/UnitMain.h"
#include "transport/Libusbdyn.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

ModalDriver::ModalDriver() {
  FTimer.setInterval(2);
  connect(&FTimer, &QTimer::timeout, this, &ModalDriver::Poll);
  FTimer.start();
}

ModalDriver::~ModalDriver() { FTimer.stop(); }

ModalDriver &ModalDriver::Then(Action action) {
  FActions.push_back(std::move(action));
  return *this;
}

bool ModalDriver::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::Hide)
    watched->setProperty("molvarTestHandled", false);
  return false;
}

void ModalDriver::Poll() {
  QWidget *w = QApplication::activeModalWidget();
  if (!w || !w->isVisible())
    return;
  if (w->property("molvarTestHandled").toBool()) {
    // Acted on, yet still open: fail instead of hanging.
    if (++FIdleTicks > 2500) {
      ADD_FAILURE() << "modal widget stayed open after its action: " << w->objectName().toStdString();
      if (auto *d = qobject_cast<QDialog *>(w))
        d->done(QDialog::Rejected);
      FIdleTicks = 0;
    }
    return;
  }
  if (FActions.empty()) {
    // A dialog nobody expected: close it so the test fails instead of hanging.
    if (++FIdleTicks > 2500) {
      ADD_FAILURE() << "unexpected modal widget " << w->objectName().toStdString();
      if (auto *d = qobject_cast<QDialog *>(w))
        d->done(QDialog::Rejected);
      FIdleTicks = 0;
    }
    return;
  }
  FIdleTicks = 0;
  w->setProperty("molvarTestHandled", true);
  w->installEventFilter(this);
  Seen << w->objectName();
  Action a = std::move(FActions.front());
  FActions.pop_front();
  a(w);
}

ModalDriver::Action PressMessageButton(QMessageBox::StandardButton button, QString *text) {
  return [button, text](QWidget *w) {
    auto *box = qobject_cast<QMessageBox *>(w);
    ASSERT_NE(box, nullptr) << "expected a message box, got " << w->objectName().toStdString();
    if (text)
      *text = box->text();
    ASSERT_NE(box->button(button), nullptr);
    box->button(button)->click();
  };
}

ModalDriver::Action ClickChild(const char *objectName) {
  return [objectName](QWidget *w) {
    auto *b = w->findChild<QAbstractButton *>(objectName);
    ASSERT_NE(b, nullptr) << objectName;
    b->click();
  };
}

ModalDriver::Action RejectDialog() {
  return [](QWidget *w) {
    auto *d = qobject_cast<QDialog *>(w);
    ASSERT_NE(d, nullptr);
    d->reject();
  };
}

ModalDriver::Action TypeFileName(const QString &path) {
  return [path](QWidget *w) {
    auto *dlg = qobject_cast<QFileDialog *>(w);
    ASSERT_NE(dlg, nullptr);
    dlg->setDirectory(QFileInfo(path).absolutePath());
    auto *name = dlg->findChild<QLineEdit *>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(QFileInfo(path).fileName());
    QTest::keyClick(name, Qt::Key_Return);
  };
}

void ChooseMenuItem(QMenu *menu, Qt::Key menuKey, Qt::Key itemKey) {
  // A menu closed a moment ago can still be taking the activation: the
  // menu bar's shortcuts work only once the window has it back.
  Settle();
  if (!FormMain->isActiveWindow())
    FormMain->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(FormMain));
  Settle();
  QTest::keyClick(FormMain, menuKey, Qt::AltModifier);
  ASSERT_TRUE(WaitUntil([&] { return menu->isVisible(); }));
  QTest::keyClick(menu, itemKey);
  ASSERT_TRUE(WaitUntil([&] { return !menu->isVisible(); }));
}

ModalDriver::Action AcceptDialog() {
  return [](QWidget *w) {
    auto *d = qobject_cast<QDialog *>(w);
    ASSERT_NE(d, nullptr);
    d->accept();
  };
}

std::unique_ptr<QTemporaryDir> PrepareGuiTestEnvironment() {
  auto config = std::make_unique<QTemporaryDir>();
  setenv("XDG_CONFIG_HOME", config->path().toLocal8Bit().constData(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return config;
}

void WriteFile(const QString &path, const QByteArray &bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  ASSERT_EQ(f.write(bytes), bytes.size());
}

bool WaitUntil(const std::function<bool()> &cond) {
  QElapsedTimer t;
  t.start();
  while (!cond()) {
    if (t.elapsed() > 60000)
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

void Settle() {
  for (int i = 0; i < 5; ++i)
    QCoreApplication::processEvents();
}

QString GuiTest::SettingsPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/" + SettingsFileName;
}

void GuiTest::RemoveSettings() { QFile::remove(SettingsPath()); }

void GuiTest::SetUp() {
  libusbdyn::ResetForTest({"libusb-0.1.so.4"});
  sim_reset();
  RemoveSettings();
  CreateForms();
  FormMain->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(FormMain));
}

void GuiTest::TearDown() {
  if (FormMain) {
    FormMain->close();
    DestroyForms();
  }
  RemoveSettings();
}

void GuiTest::Connect() {
  // Counted from here: a test that connects again (or restarts the window)
  // already has an earlier connection's start command on the wire.
  const int started = Count(Requests(), "01 03 03 00");
  FormMain->SpeedButtonConnectClick();
  ASSERT_NE(FormMain->DevComm(), nullptr);
  // The set-up commands are handed over one at a time; wait for the last.
  ASSERT_TRUE(WaitUntil([started] { return Count(Requests(), "01 03 03 00") > started; }));
}

namespace {
int SelectedRow(QAbstractItemView *view) {
  const QModelIndexList sel = view->selectionModel()->selectedRows();
  return sel.isEmpty() ? -1 : sel.first().row();
}
int Count(int panel) {
  const QRegularExpressionMatch m = QRegularExpression(": (\\d+)").match(StatusPanel(panel));
  return m.hasMatch() ? m.captured(1).toInt() : 0;
}
} // namespace

TFrameLogModel *RxModel() { return static_cast<TFrameLogModel *>(FormMain->ListBoxRx->model()); }
const TTransmitList &TxList() { return *static_cast<const TTransmitList *>(FormMain->ListBoxTx->model()); }
int RxLineCount() { return RxModel()->rowCount(); }
QString RxLine(int row) { return RxModel()->Line(row); }
int RxItemIndex() { return SelectedRow(FormMain->ListBoxRx); }
QStringList TxLines() { return TxList().Lines(); }
std::vector<int> TxCycles() { return TxList().Cycles(); }
int TxItemIndex() { return SelectedRow(FormMain->ListBoxTx); }

void SetTxItemIndex(int row) {
  QListView *view = FormMain->ListBoxTx;
  if (row < 0 || row >= view->model()->rowCount()) {
    view->selectionModel()->clearSelection();
    view->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    return;
  }
  const QModelIndex i = view->model()->index(row, 0);
  view->setCurrentIndex(i);
  view->selectionModel()->select(i, QItemSelectionModel::ClearAndSelect);
}

QString StatusPanel(int i) {
  const auto *label = FormMain->findChild<QLabel *>(QString("StatusPanel%1").arg(i));
  return label ? label->text() : QString();
}
int RxCounter() { return Count(1); }
int TxCounter() { return Count(2); }
QString RatesText() { return FormMain->findChild<QLabel *>("StatusPanelRates")->text(); }
bool CyclicRunning() { return FormMain->BitBtnTxCyclic->isChecked(); }
int VerticalPos() { return FormMain->PanelTx->mapTo(FormMain->centralWidget(), QPoint(0, 0)).y(); }
int ClientHeight() { return FormMain->centralWidget()->height(); }
