// SPDX-License-Identifier: GPL-3.0-or-later
// The device information dialog.
#include "UnitDeviceInformation.h"

#include "comm/UnitComm.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

TFormDeviceInfo *FormDeviceInfo = nullptr;
const char *const NotAvailableText = "(not available)";

QString FirmwareText(uint16_t firmware) {
  return QString("V%1.%2").arg(firmware >> 8, 0, 16).arg(firmware & 0xFF, 2, 16, QChar('0')).toUpper();
}

QString RevisionText(uint8_t revision) { return revision == 0 ? QString("1.0") : QString("(unknown)"); }

TFormDeviceInfo::TFormDeviceInfo(QWidget *parent) : QDialog(parent) {
  setObjectName("FormDeviceInfo");
  setWindowTitle("Device Information");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  StringGrid1 = new QTableWidget(3, 2, this);
  StringGrid1->setObjectName("StringGrid1");
  StringGrid1->setGeometry(8, 8, 300, 3 * 24 + 4);
  StringGrid1->horizontalHeader()->hide();
  StringGrid1->verticalHeader()->hide();
  StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->setSelectionMode(QAbstractItemView::NoSelection);
  StringGrid1->setFocusPolicy(Qt::NoFocus);
  const char *labels[3] = {"Serial No.", "Revision", "Firmware"};
  for (int r = 0; r < 3; ++r) {
    StringGrid1->setRowHeight(r, 24);
    StringGrid1->setItem(r, 0, new QTableWidgetItem(labels[r]));
    StringGrid1->setItem(r, 1, new QTableWidgetItem(NotAvailableText));
  }
  const int client = StringGrid1->viewport()->width() > 0 ? StringGrid1->width() - 2 * StringGrid1->frameWidth()
                                                          : StringGrid1->width();
  StringGrid1->setColumnWidth(0, client / 2);
  StringGrid1->setColumnWidth(1, client - client / 2 - 2);
  StringGrid1->viewport()->installEventFilter(this);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->hide();
  BitBtnClose = new QPushButton("&Close", this);
  BitBtnClose->setObjectName("BitBtnClose");
  BitBtnClose->setDefault(true);
  BitBtnClose->setGeometry(8, StringGrid1->geometry().bottom() + 10, 100, 30);
  connect(BitBtnClose, &QPushButton::clicked, this, &QDialog::accept);
  setFixedSize(2 * BitBtnClose->x() + StringGrid1->width(), BitBtnClose->geometry().bottom() + 1 + BitBtnClose->x());
}

bool TFormDeviceInfo::eventFilter(QObject *watched, QEvent *event) {
  if (watched == StringGrid1->viewport() && event->type() == QEvent::MouseButtonPress)
    StringGrid1MouseDown();
  return QDialog::eventFilter(watched, event);
}

void TFormDeviceInfo::FillDeviceInfo(const TDevComm *thread) {
  for (int r = 0; r < 3; ++r)
    StringGrid1->item(r, 1)->setText(NotAvailableText);
  Memo1->clear();
  if (!thread || thread->DeviceInfo().Command != vnicmd::DeviceInfo)
    return;
  const TDeviceInfo &info = thread->DeviceInfo();
  const QString serial = QString::fromLatin1(DeviceInfoSerial(info).c_str());
  StringGrid1->item(0, 1)->setText(serial);
  StringGrid1->item(1, 1)->setText(RevisionText(info.Revision));
  StringGrid1->item(2, 1)->setText(FirmwareText(info.Firmware));
  Memo1->setPlainText(serial);
}

void TFormDeviceInfo::ShowDeviceInfo(const TDevComm *thread, int left, int top) {
  move(left, top);
  FillDeviceInfo(thread);
  exec();
}

void TFormDeviceInfo::StringGrid1MouseDown() {
  if (Memo1->toPlainText().isEmpty())
    return;
  Memo1->selectAll();
  QApplication::clipboard()->setText(Memo1->toPlainText());
  QApplication::beep();
}
