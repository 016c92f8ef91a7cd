// SPDX-License-Identifier: GPL-3.0-or-later
// The device configuration dialog.
#include "UnitDeviceConfig.h"

#include "dialogs/DialogButtons.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

TFormDeviceConfig *FormDeviceConfig = nullptr;

TFormDeviceConfig::TFormDeviceConfig(QWidget *parent) : QDialog(parent) {
  setObjectName("FormDeviceConfig");
  setWindowTitle("Device Configuration");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  const int left = 8, width = 161;
  Label1 = new QLabel("Speed", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(left, 8, width, 18);
  ComboBoxSpeed = new QComboBox(this);
  ComboBoxSpeed->setObjectName("ComboBoxSpeed");
  ComboBoxSpeed->addItems({"10kBit/s", "20kBit/s", "50kBit/s", "100kBit/s", "125kBit/s", "250kBit/s", "500kBit/s", "1MBit/s"});
  ComboBoxSpeed->setGeometry(left, 28, width, 26);
  Label1->setBuddy(ComboBoxSpeed);
  CheckBoxTermination = new QCheckBox("bus terminated", this);
  CheckBoxTermination->setObjectName("CheckBoxTermination");
  CheckBoxTermination->setGeometry(left, 64, width, 22);
  CheckBoxRetransmission = new QCheckBox("retransmit messages", this);
  CheckBoxRetransmission->setObjectName("CheckBoxRetransmission");
  CheckBoxRetransmission->setGeometry(left, 90, width, 22);
  CheckBoxLoopBackMode = new QCheckBox("loopback mode", this);
  CheckBoxLoopBackMode->setObjectName("CheckBoxLoopBackMode");
  CheckBoxLoopBackMode->setGeometry(left, 116, width, 22);
  AddOkCancel(this, BitBtnOk, {left, 150, width, 30}, BitBtnCancel, {left, 186, width, 30});
  setFixedSize(2 * BitBtnCancel->x() + BitBtnCancel->width(), BitBtnCancel->geometry().bottom() + 1 + BitBtnCancel->x());
}

bool TFormDeviceConfig::EditDeviceConfig(TDeviceConfig &config, int left, int top) {
  move(left, top);
  // A bit-rate index outside the list (only a hand-edited file holds one)
  // shows no entry, and OK without a choice keeps it as it was.
  ComboBoxSpeed->setCurrentIndex(config.Speed < ComboBoxSpeed->count() ? config.Speed : -1);
  CheckBoxTermination->setChecked(config.Termination != 0);
  CheckBoxRetransmission->setChecked(config.Retransmission != 0);
  CheckBoxLoopBackMode->setChecked(config.LoopbackMode != 0);
  if (exec() != QDialog::Accepted)
    return false;
  if (ComboBoxSpeed->currentIndex() >= 0)
    config.Speed = static_cast<uint8_t>(ComboBoxSpeed->currentIndex());
  config.Termination = CheckBoxTermination->isChecked() ? 1 : 0;
  config.Retransmission = CheckBoxRetransmission->isChecked() ? 1 : 0;
  config.LoopbackMode = CheckBoxLoopBackMode->isChecked() ? 1 : 0;
  return true;
}
