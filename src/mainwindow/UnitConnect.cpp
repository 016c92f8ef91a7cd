// SPDX-License-Identifier: GPL-3.0-or-later
// The device selection dialog.
#include "UnitConnect.h"

#include "adapter/Vni_if.h"

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFormConnect *FormConnect = nullptr;
const char *const NoDeviceMessage = "No Varnell Device found!\nPlease connect a device and press Ok.";
const char *const ApplicationTitle = "Molvar";

TFormConnect::TFormConnect(QWidget *parent) : QDialog(parent) {
  setObjectName("FormConnect");
  setWindowTitle("Select Device to connect");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  auto *layout = new QVBoxLayout(this);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setPlainText("More than one Varnell device were \nfound. Please select the device by the serial \nnumber to connect.");
  Memo1->setFixedHeight(64);
  Memo1->setFrameShape(QFrame::NoFrame);
  Memo1->setStyleSheet("background: transparent;");
  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName("ListBox1");
  PanelBottom = new QWidget(this);
  PanelBottom->setObjectName("PanelBottom");
  auto *buttons = new QHBoxLayout(PanelBottom);
  buttons->setContentsMargins(0, 0, 0, 0);
  BitBtnOk = new QPushButton("OK", PanelBottom);
  BitBtnOk->setObjectName("BitBtnOk");
  BitBtnOk->setDefault(true);
  BitBtnCancel = new QPushButton("Cancel", PanelBottom);
  BitBtnCancel->setObjectName("BitBtnCancel");
  buttons->addWidget(BitBtnOk);
  buttons->addStretch();
  buttons->addWidget(BitBtnCancel);
  layout->addWidget(Memo1);
  layout->addWidget(ListBox1);
  layout->addWidget(PanelBottom);
  connect(BitBtnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(ListBox1, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  setFixedSize(330, 260);
}

std::string TFormConnect::SelectDevice(TVNI *adapter, int left, int top) {
  move(left, top);
  for (;;) {
    ListBox1->clear();
    std::vector<std::string> serials;
    const int n = adapter->ListSerialNumbers(&serials);
    for (const std::string &s : serials)
      ListBox1->addItem(QString::fromLatin1(s.c_str()));
    if (n == 0) {
      QApplication::beep();
      QMessageBox box(QMessageBox::Information, ApplicationTitle, NoDeviceMessage,
                      QMessageBox::Ok | QMessageBox::Cancel, parentWidget());
      box.setObjectName("MessageNoDevice");
      if (box.exec() != QMessageBox::Ok)
        return {};
      continue;
    }
    if (n == 1)
      return serials.front();
    ListBox1->setCurrentRow(0);
    QApplication::beep();
    if (exec() != QDialog::Accepted || !ListBox1->currentItem())
      return {};
    return ListBox1->currentItem()->text().toLatin1().toStdString();
  }
}
