// SPDX-License-Identifier: GPL-3.0-or-later
// The device information dialog.

#include "GuiHelpers.h"
#include "comm/UnitComm.h"
#include "dialogs/UnitDeviceInformation.h"
#include "mainwindow/UnitMain.h"

#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <cstring>

namespace {

class DeviceInfo : public GuiTest {
protected:
  QStringList Values() {
    QStringList v;
    for (int r = 0; r < 3; ++r)
      v << FormDeviceInfo->StringGrid1->item(r, 1)->text();
    return v;
  }
  void ClickGrid() {
    QTest::mouseClick(FormDeviceInfo->StringGrid1->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  }
};

TEST_F(DeviceInfo, FirmwareAndRevisionTexts) {
  EXPECT_EQ(FirmwareText(0x0105), "V1.05");
  EXPECT_EQ(FirmwareText(0x0210), "V2.10");
  EXPECT_EQ(FirmwareText(0x000A), "V0.0A");
  EXPECT_EQ(FirmwareText(0x1203), "V12.03");
  EXPECT_EQ(FirmwareText(0xFFFF), "VFF.FF");
  EXPECT_EQ(RevisionText(0), "1.0");
  for (int r : {1, 2, 3, 255})
    EXPECT_EQ(RevisionText(static_cast<uint8_t>(r)), "(unknown)");
}

TEST_F(DeviceInfo, DisconnectedShowsNotAvailableAndClicksDoNothing) {
  QApplication::clipboard()->setText("before");
  ModalDriver d;
  QStringList shown;
  d.Then([&](QWidget *) {
    shown = Values();
    ClickGrid();
    FormDeviceInfo->BitBtnClose->click();
  });
  FormMain->mi_DeviceInfoClick();
  EXPECT_EQ(shown, QStringList(3, "(not available)"));
  EXPECT_EQ(QApplication::clipboard()->text(), "before");
}

TEST_F(DeviceInfo, ConnectedShowsTheRecordAndCopiesTheSerialNumber) {
  sim_add_adapter("ABC123");
  sim_set_info("ABC123", 0, 0x0105);
  Connect();
  ModalDriver d;
  QStringList shown;
  d.Then([&](QWidget *) {
    shown = Values();
    ClickGrid();
    FormDeviceInfo->BitBtnClose->click();
  });
  FormMain->mi_DeviceInfoClick();
  EXPECT_EQ(shown, (QStringList{"ABC123", "1.0", "V1.05"}));
  EXPECT_EQ(QApplication::clipboard()->text(), "ABC123");
  // Again after disconnecting: nothing carries over.
  FormMain->Disconnect();
  d.Then([&](QWidget *) {
    shown = Values();
    FormDeviceInfo->BitBtnClose->click();
  });
  FormMain->mi_DeviceInfoClick();
  EXPECT_EQ(shown, QStringList(3, "(not available)"));
}

TEST_F(DeviceInfo, EmptySerialNumberAndRecordsWithoutTerminator) {
  sim_add_adapter("A1");
  uint8_t rec[64] = {0x00, 0x02, 0, 3, 0x0A, 0x00};
  sim_set_info_raw("A1", rec);
  Connect();
  QApplication::clipboard()->setText("before");
  FormDeviceInfo->FillDeviceInfo(FormMain->DevComm());
  EXPECT_EQ(Values(), (QStringList{"", "(unknown)", "V0.0A"}));
  FormDeviceInfo->StringGrid1MouseDown();
  EXPECT_EQ(QApplication::clipboard()->text(), "before");
  FormMain->Disconnect();

  std::memset(rec + 8, 'S', 56); // no zero byte anywhere after the header
  sim_set_info_raw("A1", rec);
  Connect();
  FormDeviceInfo->FillDeviceInfo(FormMain->DevComm());
  EXPECT_EQ(Values()[0], QString(56, 'S'));
}

TEST_F(DeviceInfo, RecordWithAnotherCommandWordIsAbsent) {
  sim_add_adapter("A1");
  uint8_t rec[64] = {0x01, 0x02, 0, 0, 0x05, 0x01, 0, 0, 'A', '1'};
  sim_set_info_raw("A1", rec);
  Connect();
  FormDeviceInfo->FillDeviceInfo(FormMain->DevComm());
  EXPECT_EQ(Values(), QStringList(3, "(not available)"));
}

} // namespace
