// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device information dialog: serial number, hardware revision and
// firmware version of the connected adapter.

#include "adapter/Vni_if.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class TDevComm;

// The texts shown for a device information record.
QString FirmwareText(uint16_t firmware);
QString RevisionText(uint8_t revision);

class TFormDeviceInfo : public QDialog {
  Q_OBJECT
public:
  explicit TFormDeviceInfo(QWidget *parent = nullptr);

  void ShowDeviceInfo(const TDevComm *thread, int left, int top);
  // Fills the values without showing the dialog.
  void FillDeviceInfo(const TDevComm *thread);
  void StringGrid1MouseDown();

  QTableWidget *StringGrid1;
  QPlainTextEdit *Memo1;
  QPushButton *BitBtnClose;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
};

extern TFormDeviceInfo *FormDeviceInfo;
extern const char *const NotAvailableText;
