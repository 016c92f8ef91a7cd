// SPDX-License-Identifier: GPL-3.0-or-later
// Faults injected through the simulated adapter: the window survives, ends in
// a consistent state, and leaks nothing (checked under the sanitizer build).

#include "GuiHelpers.h"
#include "comm/UnitComm.h"
#include "config/IniFile.h"
#include "mainwindow/UnitMain.h"

#include <QPushButton>
#include <QTemporaryFile>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <thread>

namespace {

class Faults : public GuiTest {
protected:
  void LoadFrames(int n) {
    QTemporaryFile f;
    ASSERT_TRUE(f.open());
    QByteArray text = "[Messages]\r\nn=" + QByteArray::number(n) + "\r\n";
    for (int i = 0; i < n; ++i)
      text += QByteArray::number(i) + "=Std\t  " + QByteArray::number(i % 0x7FF, 16) + "\t01\r\n";
    f.write(text);
    f.close();
    TIniFile ini(f.fileName());
    FormMain->LoadSetup(ini);
  }
  // The window shows exactly one of its two states.
  static void ExpectConsistent() {
    const bool connected = FormMain->DevComm() != nullptr;
    EXPECT_EQ(StatusPanel(0), connected ? "connected" : "disconnected");
    EXPECT_EQ(FormMain->SpeedButtonConnect->text(), connected ? "Dis&connect" : "&Connect");
    EXPECT_EQ(FormMain->TimerReceive->isActive(), connected);
    if (connected) {
      EXPECT_TRUE(FormMain->Adapter()->IsOpen());
    }
  }
  // Connects, answering a failure message if one comes; true when connected.
  bool TryConnect(QString *failure = nullptr) {
    ModalDriver d;
    d.Then(PressMessageButton(QMessageBox::Cancel, failure));
    FormMain->SpeedButtonConnectClick();
    Settle();
    return FormMain->DevComm() != nullptr;
  }
  // Unplugs A1 from another thread once cond holds, as a user pulling the
  // cable in the middle of whatever the window is doing.
  std::thread UnplugWhen(std::function<bool()> cond) {
    return std::thread([cond] {
      while (!cond())
        std::this_thread::yield();
      sim_unplug("A1");
    });
  }
};

TEST_F(Faults, UnpluggedInTheMiddleOfTransfersDisconnectsOnTheNotice) {
  sim_add_adapter("A1");
  sim_set_flood("A1", 1);
  sim_set_transfer_delay_us(300);
  Connect();
  ASSERT_TRUE(WaitUntil([] { return RxCounter() > 20; }));
  auto t = UnplugWhen([] { return true; });
  t.join();
  FormMain->WMDeviceChange();
  sim_set_transfer_delay_us(0);
  EXPECT_EQ(FormMain->DevComm(), nullptr);
  ExpectConsistent();
  for (const auto &w : Trace())
    EXPECT_NE(w.result, -EINVAL); // no transfer on a released handle
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(Faults, UnpluggedDuringTheFourteenFilterHandOvers) {
  sim_add_adapter("A1");
  sim_set_transfer_delay_us(200);
  auto t = UnplugWhen([] { return Count(Requests(), "11 05 00 00 00 05 00 00 00 00 00 00 00 00 00 00") > 0; });
  FormMain->SpeedButtonConnectClick(); // must come back although the adapter is gone
  t.join();
  sim_set_transfer_delay_us(0);
  FormMain->WMDeviceChange();
  EXPECT_EQ(FormMain->DevComm(), nullptr);
  ExpectConsistent();
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(Faults, UnpluggedDuringTxAll) {
  LoadFrames(400);
  sim_add_adapter("A1");
  Connect();
  auto t = UnplugWhen([] { return sim_frames_transmitted("A1") >= 50; });
  FormMain->BitBtnTxAllClick();
  t.join();
  EXPECT_EQ(TxCounter(), 400);
  FormMain->WMDeviceChange();
  EXPECT_EQ(FormMain->DevComm(), nullptr);
  ExpectConsistent();
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(Faults, EveryTransferTimingOutOrFailingLeavesTheWindowDisconnected) {
  sim_add_adapter("A1");
  for (int code : {-ETIMEDOUT, -EIO, -EPIPE}) {
    sim_set_write_failures(-1, code);
    sim_set_read_failures(-1, code);
    QString failure;
    EXPECT_FALSE(TryConnect(&failure)) << code;
    EXPECT_EQ(failure, "Establish connection to selected device failed!");
    ExpectConsistent();
    EXPECT_EQ(sim_open_handles(), 0);
  }
  // Replies that time out but writes that work: the handshake counts as
  // accepted, the connection stands, and nothing arrives.
  sim_set_write_failures(0, 0);
  sim_set_read_failures(-1, -ETIMEDOUT);
  EXPECT_TRUE(TryConnect());
  ExpectConsistent();
  EXPECT_EQ(FormMain->DevComm()->DeviceInfo().Command, 0);
  FormMain->SpeedButtonConnectClick();
  ExpectConsistent();
  sim_set_read_failures(0, 0);
}

TEST_F(Faults, AdapterRefusingEveryFrameKeepsTheWindowUsable) {
  LoadFrames(20);
  sim_add_adapter("A1");
  sim_set_transmit_status("A1", 0);
  Connect();
  FormMain->BitBtnTxAllClick();
  EXPECT_EQ(TxCounter(), 20);
  auto f = FrameBytes(0, 0, 1, 0x77, {1});
  sim_inject_frame("A1", f.data());
  ASSERT_TRUE(WaitUntil([] { return RxCounter() == 1; })); // receiving goes on
  FormMain->SpeedButtonConnectClick(); // disconnect frees the 20 waiting frames
  ExpectConsistent();
  EXPECT_EQ(sim_frames_transmitted("A1"), 0);
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(Faults, LibraryErrorsOnEachTransferOfTheConnectSequence) {
  sim_add_adapter("A1");
  // A connect takes about 40 transfers (handshake, information, configuration,
  // fourteen filter banks with replies, start, polls in between). A single
  // error is absorbed by the write retries and the protocol's rules; three in
  // a row defeat the retries.
  for (int burst : {1, 3}) {
    int connected = 0, refused = 0;
    for (int n = 1; n <= 44; ++n) {
      sim_trace_clear();
      for (int k = 0; k < burst; ++k)
        sim_fail_transfer(n + k, (n + k) % 2 ? -EIO : -ENODEV);
      if (TryConnect())
        ++connected;
      else
        ++refused;
      ExpectConsistent();
      if (FormMain->DevComm())
        FormMain->SpeedButtonConnectClick();
      ExpectConsistent();
      EXPECT_EQ(sim_open_handles(), 0) << "after " << burst << " faults from transfer " << n;
      sim_fail_transfer(0, 0);
    }
    if (burst == 1)
      EXPECT_EQ(connected, 44);
    else
      EXPECT_GT(refused, 0);
  }
}

} // namespace
