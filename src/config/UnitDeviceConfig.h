// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device configuration dialog: bit rate and the adapter's three switches.

#include "adapter/Vni_if.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

class TFormDeviceConfig : public QDialog {
  Q_OBJECT
public:
  explicit TFormDeviceConfig(QWidget *parent = nullptr);

  // Shows the block; on OK stores the controls into it and returns true.
  bool EditDeviceConfig(TDeviceConfig &config, int left, int top);

  QLabel *Label1;
  QComboBox *ComboBoxSpeed;
  QCheckBox *CheckBoxTermination;
  QCheckBox *CheckBoxRetransmission;
  QCheckBox *CheckBoxLoopBackMode;
  QPushButton *BitBtnOk;
  QPushButton *BitBtnCancel;
};

extern TFormDeviceConfig *FormDeviceConfig;
