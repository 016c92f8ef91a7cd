// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The frame editor.

#include "adapter/Vni_if.h"
#include "can/FrameText.h" // HexToInt

#include <QDialog>

#include <array>
#include <cstdint>

class QGroupBox;
class QRadioButton;
class QTabWidget;
class QSpinBox;
class QLineEdit;
class QPushButton;
class QLabel;
class TLimitedEdit;


class TFormEditMsg : public QDialog {
  Q_OBJECT
public:
  explicit TFormEditMsg(QWidget *parent = nullptr);

  // With cycleMs given, its cycle time (milliseconds, 0: none) is shown and
  // edited too.
  bool NewMessage(TCanMessage &msg, int left, int top, int *cycleMs = nullptr);
  bool EditMessage(TCanMessage &msg, int left, int top, int *cycleMs = nullptr);

  QGroupBox *RadioGroup1;
  QRadioButton *RadioStandard;
  QRadioButton *RadioExtended;
  QLabel *LabelID;
  TLimitedEdit *LabeledEditID;
  QTabWidget *TabbedNotebook1;
  QLabel *Label1;
  QLabel *Label2;
  std::array<QLineEdit *, 8> DataEdits; // Edit1 to Edit8
  QSpinBox *SpinEdit1;
  QLabel *LabelCycle;
  QSpinBox *SpinEditCycle;
  QPushButton *BitBtnOk;
  QPushButton *BitBtnCancel;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void StoreMessage(TCanMessage &msg);
  void FormKeyUp();
  bool Run(TCanMessage &msg, int *cycleMs);
};

extern TFormEditMsg *FormEditMsg;
