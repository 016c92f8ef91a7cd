#pragma once
// The frame editor, and the hexadecimal parser shared by the editors and the
// set-up reader.

#include "adapter/Vni_if.h"

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

// Any text to a 32-bit value: hexadecimal digits of either case count, every
// other character counts as the digit 0; digits beyond 32 bits are lost.
uint32_t HexToInt(const QString &text);

class TFormEditMsg : public QDialog {
  Q_OBJECT
public:
  explicit TFormEditMsg(QWidget *parent = nullptr);

  bool NewMessage(TCanMessage &msg, int left, int top);
  bool EditMessage(TCanMessage &msg, int left, int top);

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
  QPushButton *BitBtnOk;
  QPushButton *BitBtnCancel;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void StoreMessage(TCanMessage &msg);
  void FormKeyUp();
  bool Run(TCanMessage &msg);
};

extern TFormEditMsg *FormEditMsg;
