// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device selection dialog, shown when several adapters are plugged in.

#include <QDialog>

#include <string>

class QPlainTextEdit;
class QListWidget;
class QPushButton;
class QWidget;
class TVNI;

class TFormConnect : public QDialog {
  Q_OBJECT
public:
  explicit TFormConnect(QWidget *parent = nullptr);

  // The serial number of the adapter to connect to, or empty when none was
  // chosen.
  std::string SelectDevice(TVNI *adapter, int left, int top);

  QPlainTextEdit *Memo1;
  QListWidget *ListBox1;
  QWidget *PanelBottom;
  QPushButton *BitBtnOk;
  QPushButton *BitBtnCancel;
};

extern TFormConnect *FormConnect;

// Text and caption of the message shown when no adapter is plugged in.
extern const char *const NoDeviceMessage;
extern const char *const ApplicationTitle;
