// SPDX-License-Identifier: GPL-3.0-or-later
// Connecting, disconnecting and removal, through the main window.

#include "GuiHelpers.h"
#include "comm/UnitComm.h"
#include "mainwindow/Application.h"
#include "mainwindow/UnitConnect.h"
#include "mainwindow/UnitMain.h"
#include "transport/Libusbdyn.h"

#include <QListWidget>
#include <QPushButton>

namespace {

using Connection = GuiTest;

TEST_F(Connection, NoAdapterOffersToLookAgainUntilCancel) {
  ModalDriver d;
  QString text;
  d.Then(PressMessageButton(QMessageBox::Ok, &text)).Then(PressMessageButton(QMessageBox::Cancel));
  FormMain->SpeedButtonConnectClick();
  EXPECT_EQ(d.Pending(), 0u);
  EXPECT_EQ(text, "No Varnell Device found!\nPlease connect a device and press Ok.");
  EXPECT_EQ(FormMain->DevComm(), nullptr);
  EXPECT_EQ(StatusPanel(0), "disconnected");
  EXPECT_EQ(FormMain->SpeedButtonConnect->text(), "&Connect");
}

TEST_F(Connection, AdapterPluggedInWhileTheMessageShowsIsFoundOnOk) {
  ModalDriver d;
  d.Then([](QWidget *w) {
    sim_add_adapter("LATE1");
    PressMessageButton(QMessageBox::Ok)(w);
  });
  FormMain->SpeedButtonConnectClick();
  ASSERT_NE(FormMain->DevComm(), nullptr);
  EXPECT_EQ(FormMain->Adapter()->SerialNumber(), "LATE1");
}

TEST_F(Connection, OneAdapterConnectsWithoutAskingAndSendsTheSetUpInOrder) {
  sim_add_adapter("A1");
  FormMain->DevConfig().Speed = 5;
  FormMain->Filters()[13].Active = 1;
  Connect();
  EXPECT_EQ(StatusPanel(0), "connected");
  EXPECT_EQ(FormMain->SpeedButtonConnect->text(), "Dis&connect");
  EXPECT_EQ(StatusPanel(1), "Rx: 0");
  EXPECT_EQ(StatusPanel(2), "Tx: 0");
  // Receive polls interleave; the other requests come in this order.
  std::vector<std::string> reqs;
  for (const auto &r : Requests())
    if (r != "00 05 00 00")
      reqs.push_back(r);
  ASSERT_EQ(reqs.size(), 18u);
  EXPECT_EQ(reqs[0], "01 01 00 00");
  EXPECT_EQ(reqs[1], "00 02 00 00");
  EXPECT_EQ(reqs[2], "01 04 05 01 01 00 00 00");
  for (int bank = 0; bank < 14; ++bank) {
    char b[64];
    std::snprintf(b, sizeof b, "11 05 00 00 00 %02X %02X 00 00 00 00 00 00 00 00 00", bank,
                  (bank == 0 || bank == 13) ? 1 : 0);
    EXPECT_EQ(reqs[3 + bank], b);
  }
  EXPECT_EQ(reqs[17], "01 03 03 00");
}

TEST_F(Connection, SeveralAdaptersAskWithTheFirstSelected) {
  sim_add_adapter("A1");
  sim_add_adapter("B2");
  ModalDriver d;
  int selected = -2;
  d.Then([&](QWidget *w) {
    ASSERT_EQ(w, FormConnect);
    EXPECT_EQ(FormConnect->windowTitle(), "Select Device to connect");
    ASSERT_EQ(FormConnect->ListBox1->count(), 2);
    selected = FormConnect->ListBox1->currentRow();
    FormConnect->BitBtnCancel->click();
  });
  FormMain->SpeedButtonConnectClick();
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(FormMain->DevComm(), nullptr);
  EXPECT_EQ(sim_trace_count(), 0); // nothing was sent to either adapter

  d.Then([](QWidget *) {
    FormConnect->ListBox1->setCurrentRow(1);
    FormConnect->BitBtnOk->click();
  });
  FormMain->SpeedButtonConnectClick();
  ASSERT_NE(FormMain->DevComm(), nullptr);
  EXPECT_EQ(FormMain->Adapter()->SerialNumber(), "B2");
  for (const auto &w : Trace())
    if (w.out) {
      EXPECT_EQ(w.device, 1);
    }
}

TEST_F(Connection, RefusedHandshakeReportsAndStaysDisconnected) {
  sim_add_adapter("A1");
  sim_set_handshake_status("A1", 0);
  ModalDriver d;
  QString text;
  d.Then(PressMessageButton(QMessageBox::Cancel, &text));
  FormMain->SpeedButtonConnectClick();
  EXPECT_EQ(text, "Establish connection to selected device failed!");
  EXPECT_EQ(FormMain->DevComm(), nullptr);
  EXPECT_EQ(StatusPanel(0), "disconnected");
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(Connection, PressingConnectAgainDisconnectsAndKeepsTheCounts) {
  sim_add_adapter("A1");
  Connect();
  auto f = FrameBytes(0, 0, 1, 0x42, {7});
  sim_inject_frame("A1", f.data());
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 1; }));
  sim_trace_clear();
  FormMain->SpeedButtonConnectClick();
  EXPECT_EQ(FormMain->DevComm(), nullptr);
  EXPECT_EQ(StatusPanel(0), "disconnected");
  EXPECT_EQ(FormMain->SpeedButtonConnect->text(), "&Connect");
  EXPECT_EQ(StatusPanel(1), "Rx: 1");
  auto reqs = Requests();
  ASSERT_FALSE(reqs.empty());
  EXPECT_EQ(reqs.back(), "00 01 00 00");
  EXPECT_EQ(sim_open_handles(), 0);
  // The next connection starts counting from 0 again.
  Connect();
  EXPECT_EQ(StatusPanel(1), "Rx: 0");
}

TEST_F(Connection, RemovalDisconnectsSilentlyOtherChangesDoNothing) {
  sim_add_adapter("A1");
  sim_add_adapter("OTHER");
  ModalDriver d;
  d.Then([](QWidget *) {
    FormConnect->ListBox1->setCurrentRow(0);
    FormConnect->BitBtnOk->click();
  });
  FormMain->SpeedButtonConnectClick();
  ASSERT_NE(FormMain->DevComm(), nullptr);
  FormMain->WMDeviceChange(); // still present
  EXPECT_NE(FormMain->DevComm(), nullptr);
  sim_unplug("OTHER");
  FormMain->WMDeviceChange();
  EXPECT_NE(FormMain->DevComm(), nullptr);
  sim_unplug("A1");
  FormMain->WMDeviceChange();
  EXPECT_EQ(FormMain->DevComm(), nullptr);
  EXPECT_EQ(StatusPanel(0), "disconnected");
  EXPECT_EQ(d.Seen.size(), 1); // only the selection dialog; no message
  FormMain->WMDeviceChange(); // while disconnected: nothing
  EXPECT_EQ(FormMain->DevComm(), nullptr);
}

TEST_F(Connection, EndingTheProgramWhileConnectedClosesTheAdapter) {
  sim_add_adapter("A1");
  Connect();
  sim_trace_clear();
  FormMain->close();
  DestroyForms();
  auto reqs = Requests();
  ASSERT_FALSE(reqs.empty());
  EXPECT_EQ(reqs.back(), "00 01 00 00");
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(Connection, MissingLibraryMeansNoAdapter) {
  sim_add_adapter("A1");
  ModalDriver d;
  d.Then(PressMessageButton(QMessageBox::Cancel));
  libusbdyn::ResetForTest({"libusb-not-installed-here.so.4"});
  FormMain->SpeedButtonConnectClick();
  EXPECT_EQ(d.Pending(), 0u);
  EXPECT_EQ(FormMain->DevComm(), nullptr);
}

} // namespace
