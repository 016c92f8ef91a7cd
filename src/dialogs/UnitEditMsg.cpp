// SPDX-License-Identifier: GPL-3.0-or-later
// The frame editor.
#include "UnitEditMsg.h"

#include "DialogButtons.h"
#include "LimitedEdit.h"
#include "can/Frame.h"
#include "config/SetupFile.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include <algorithm>
#include <cstring>

TFormEditMsg *FormEditMsg = nullptr;

TFormEditMsg::TFormEditMsg(QWidget *parent) : QDialog(parent) {
  setObjectName("FormEditMsg");
  setWindowTitle("CAN Message for Transmission");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  RadioGroup1 = new QGroupBox(" Message Type ", this);
  RadioGroup1->setObjectName("RadioGroup1");
  RadioGroup1->setGeometry(8, 8, 140, 72);
  RadioStandard = new QRadioButton("&Standard", RadioGroup1);
  RadioStandard->setObjectName("RadioStandard");
  RadioStandard->setGeometry(12, 22, 120, 20);
  RadioExtended = new QRadioButton("&Extended", RadioGroup1);
  RadioExtended->setObjectName("RadioExtended");
  RadioExtended->setGeometry(12, 44, 120, 20);

  LabelID = new QLabel("Message ID (hex)", this);
  LabeledEditID = LabeledEdit(this, 5, "LabeledEditID", LabelID, {164, 14, 150, 18}, {164, 34, 90, 24});

  TabbedNotebook1 = new QTabWidget(this);
  TabbedNotebook1->setObjectName("TabbedNotebook1");
  TabbedNotebook1->setGeometry(8, 88, 344, 100);
  auto *pageData = new QWidget;
  auto *pageRemote = new QWidget;
  TabbedNotebook1->addTab(pageData, "data");
  TabbedNotebook1->addTab(pageRemote, "remote request");
  Label1 = new QLabel("Message Data (hex)", pageData);
  Label1->setObjectName("Label1");
  Label1->setGeometry(8, 6, 200, 18);
  for (int k = 0; k < 8; ++k) {
    auto *e = new QLineEdit(pageData);
    e->setObjectName(QString("Edit%1").arg(k + 1));
    e->setMaxLength(2);
    e->setGeometry(8 + k * 40, 28, 34, 24);
    e->installEventFilter(this);
    DataEdits[k] = e;
  }
  Label2 = new QLabel("Requested data length:", pageRemote);
  Label2->setObjectName("Label2");
  Label2->setGeometry(8, 6, 200, 18);
  SpinEdit1 = new QSpinBox(pageRemote);
  SpinEdit1->setObjectName("SpinEdit1");
  SpinEdit1->setRange(0, 8);
  SpinEdit1->setGeometry(8, 28, 60, 24);

  LabelCycle = new QLabel("Cycle time (ms)", this);
  LabelCycle->setObjectName("LabelCycle");
  LabelCycle->setGeometry(8, 200, 150, 18);
  SpinEditCycle = new QSpinBox(this);
  SpinEditCycle->setObjectName("SpinEditCycle");
  SpinEditCycle->setRange(0, MaxCycleMs);
  SpinEditCycle->setToolTip("send the message cyclically with this period (Tx cyclic); 0: off");
  SpinEditCycle->setGeometry(164, 196, 90, 24);
  LabelCycle->setBuddy(SpinEditCycle);

  AddOkCancel(this, BitBtnOk, {8, 230, 100, 30}, BitBtnCancel, {252, 230, 100, 30});

  for (QWidget *w : {static_cast<QWidget *>(RadioStandard), static_cast<QWidget *>(RadioExtended),
                     static_cast<QWidget *>(LabeledEditID), static_cast<QWidget *>(SpinEdit1),
                     static_cast<QWidget *>(SpinEditCycle),
                     static_cast<QWidget *>(BitBtnOk), static_cast<QWidget *>(BitBtnCancel)})
    w->installEventFilter(this);

  // Just large enough for the controls: the OK button's margin all round.
  const int margin = BitBtnOk->x();
  setFixedSize(BitBtnCancel->geometry().right() + 1 + margin, BitBtnCancel->geometry().bottom() + 1 + margin);
}

bool TFormEditMsg::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::KeyRelease)
    FormKeyUp();
  return QDialog::eventFilter(watched, event);
}

// Two digits typed into a data edit move on to the next byte; over edits
// already full, on to OK.
void TFormEditMsg::FormKeyUp() {
  // The dialog's own focus widget: the edit that has the input focus within
  // the dialog, also while the window system has not yet activated it.
  for (int k = 0; k < 8; ++k) {
    QLineEdit *e = DataEdits[k];
    if (focusWidget() == e && e->text().size() >= 2) {
      if (k < 7)
        DataEdits[k + 1]->setFocus();
      else
        BitBtnOk->setFocus();
    }
  }
}

bool TFormEditMsg::Run(TCanMessage &msg, int *cycleMs) {
  LabelCycle->setVisible(cycleMs != nullptr);
  SpinEditCycle->setVisible(cycleMs != nullptr);
  SpinEditCycle->setValue(cycleMs ? std::clamp(*cycleMs, 0, MaxCycleMs) : 0);
  if (exec() != QDialog::Accepted)
    return false;
  StoreMessage(msg);
  if (cycleMs) {
    SpinEditCycle->interpretText(); // a typed value is brought into range first
    *cycleMs = SpinEditCycle->value();
  }
  return true;
}

bool TFormEditMsg::NewMessage(TCanMessage &msg, int left, int top, int *cycleMs) {
  move(left, top);
  RadioStandard->setChecked(true);
  LabeledEditID->clear();
  TabbedNotebook1->setCurrentIndex(0);
  for (QLineEdit *e : DataEdits)
    e->clear();
  SpinEdit1->setValue(0);
  return Run(msg, cycleMs);
}

bool TFormEditMsg::EditMessage(TCanMessage &msg, int left, int top, int *cycleMs) {
  move(left, top);
  const bool extended = IsExtended(msg);
  (extended ? RadioExtended : RadioStandard)->setChecked(true);
  LabeledEditID->setText(QString("%1").arg(msg.ID, extended ? 5 : 3, 16, QChar('0')).toUpper());
  for (QLineEdit *e : DataEdits)
    e->clear();
  const int dlc = std::min<int>(msg.DLC, 8);
  for (int k = 0; k < dlc; ++k)
    DataEdits[k]->setText(QString("%1").arg(msg.Data[k], 2, 16, QChar('0')).toUpper());
  SpinEdit1->setValue(dlc);
  TabbedNotebook1->setCurrentIndex(IsRemote(msg) ? 1 : 0);
  return Run(msg, cycleMs);
}

void TFormEditMsg::StoreMessage(TCanMessage &msg) {
  const bool extended = RadioExtended->isChecked();
  msg.IDType = extended ? 4 : 0;
  msg.ID = HexToInt(LabeledEditID->text()) & (extended ? ExtendedIdMask : StandardIdMask);
  if (TabbedNotebook1->currentIndex() == 0) {
    msg.RTR = 0;
    msg.DLC = 0;
    for (int k = 0; k < 8; ++k) {
      const QString t = DataEdits[k]->text();
      if (t.isEmpty())
        break;
      msg.Data[k] = static_cast<uint8_t>(HexToInt(t));
      msg.DLC = static_cast<uint8_t>(k + 1);
    }
  } else {
    msg.RTR = 2;
    std::memset(msg.Data, 0, sizeof msg.Data);
    SpinEdit1->interpretText(); // a typed value is brought into 0..8 first
    msg.DLC = static_cast<uint8_t>(std::clamp(SpinEdit1->value(), 0, 8));
  }
}
