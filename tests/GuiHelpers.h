// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers for tests of the windows under the offscreen platform: driving
// modal dialogs and message boxes from the event loop, waiting for
// conditions while events are processed, and a fixture with all windows.

#include "SimHelpers.h"

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <vector>
#include <memory>
#include <functional>

#include <ostream>

class QAbstractButton;
class QTemporaryDir;

// Readable failure messages for Qt strings.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList &l, std::ostream *os) {
  *os << '{';
  for (const QString &s : l)
    *os << '"' << s.toStdString() << "\",";
  *os << '}';
}
class QMenu;
class QWidget;

// Runs queued actions, one on each modal widget that appears.
class ModalDriver : public QObject {
public:
  using Action = std::function<void(QWidget *)>;
  ModalDriver();
  ~ModalDriver() override;
  ModalDriver &Then(Action action);
  size_t Pending() const { return FActions.size(); }
  // Names of the modal widgets acted on, in order.
  QStringList Seen;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void Poll();
  std::deque<Action> FActions;
  QTimer FTimer;
  int FIdleTicks = 0;
};

// Common actions.
ModalDriver::Action PressMessageButton(QMessageBox::StandardButton button, QString *text = nullptr);
ModalDriver::Action ClickChild(const char *objectName);
ModalDriver::Action RejectDialog();
ModalDriver::Action AcceptDialog();
// In a file dialog: goes to the file's folder, types its name into the name
// box and presses Return, as a user does.
ModalDriver::Action TypeFileName(const QString &path);

// Opens a menu of the main window with Alt+menuKey and chooses an item with
// its letter.
void ChooseMenuItem(QMenu *menu, Qt::Key menuKey, Qt::Key itemKey);

// Writes the bytes to a new file at path (a test's input).
void WriteFile(const QString &path, const QByteArray &bytes);

// Processes events until cond holds; false if it never does (after a minute,
// so that a broken test fails instead of hanging).
bool WaitUntil(const std::function<bool()> &cond);
// Processes pending events a few times.
void Settle();

// A private configuration folder for this process and the offscreen
// platform unless another is asked for; call before the QApplication is made
// and keep the folder for the run.
std::unique_ptr<QTemporaryDir> PrepareGuiTestEnvironment();

class TFrameLogModel;
class TTransmitList;

// The main window read through its widgets, as a user sees it: the lines of
// the two lists and their selection, the status bar's panels and counters.
int RxLineCount();
QString RxLine(int row);
int RxItemIndex();
QStringList TxLines();
int TxItemIndex();
// Selects a line of the transmit list (or none, for an index outside it),
// as a click on it does.
void SetTxItemIndex(int row);
QString StatusPanel(int i);
int RxCounter();
int TxCounter();
QString RatesText();
bool CyclicRunning();
// The lists' models, for what their lines do not show (time stamps, the
// records behind the transmit list's lines).
TFrameLogModel *RxModel();
const TTransmitList &TxList();
std::vector<int> TxCycles();
// The top edge of the transmit area and the height of the client area.
int VerticalPos();
int ClientHeight();

// Every window created fresh, the simulated adapter empty, no settings file.
class GuiTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  // Connects to the one adapter present; asserts the connection.
  void Connect();
  static QString SettingsPath();
  static void RemoveSettings();
};
