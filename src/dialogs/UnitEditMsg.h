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
class QTableWidget;
class QTableWidgetItem;
class TLimitedEdit;
class TDatabase;
struct TDbcMessage;


class TFormEditMsg : public QDialog {
  Q_OBJECT
public:
  explicit TFormEditMsg(QWidget *parent = nullptr);

  // With cycleMs given, its cycle time (milliseconds, 0: none) is shown and
  // edited too.
  bool NewMessage(TCanMessage &msg, int left, int top, int *cycleMs = nullptr);
  bool EditMessage(TCanMessage &msg, int left, int top, int *cycleMs = nullptr);
  // With a database, a frame its identifier is described by can be edited
  // by its signals too (none: bytes only). Not owned; it must outlive the
  // dialog or be replaced first.
  void SetDatabase(const TDatabase *db);

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
  QLabel *LabelMessageName;
  QTableWidget *TableSignals; // signal, value, unit or value text
  QLabel *LabelCycle;
  QSpinBox *SpinEditCycle;
  QPushButton *BitBtnOk;
  QPushButton *BitBtnCancel;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  enum TPage { PageData, PageRemote, PageSignals };
  enum TSignalColumn { ColSignal, ColValue, ColUnit };
  void StoreMessage(TCanMessage &msg);
  void PlaceControls();
  // The database's message for the identifier and type as typed, if any.
  const TDbcMessage *TypedMessage() const;
  void UpdateSignalPage();
  void ShowSignals();
  void SignalEdited(QTableWidgetItem *item);
  int TypedData(uint8_t (&data)[8]) const;
  const TDatabase *FDatabase = nullptr;
  bool FFilling = false;
  void FormKeyUp();
  bool Run(TCanMessage &msg, int *cycleMs);
};

extern TFormEditMsg *FormEditMsg;
