// SPDX-License-Identifier: GPL-3.0-or-later
// The USB device wrapper against the simulated library: listing, opening by
// serial number, transfers with retry and endpoint reset, presence check.

#include "SimHelpers.h"
#include "transport/Libusbdyn.h"
#include "transport/Usbdevice_libdyn.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace {

class AdapterDevice : public TUSBDevice {
public:
  AdapterDevice() { SetIds(0x20A0, 0x41E8); }
};

class UsbDevice : public ::testing::Test {
protected:
  void SetUp() override {
    libusbdyn::ResetForTest({"libusb-0.1.so.4"});
    sim_reset();
  }
};

TEST_F(UsbDevice, BareDeviceNeverFindsAnything) {
  sim_add_adapter("A1");
  TUSBDevice bare;
  std::vector<std::string> list{"x"};
  EXPECT_EQ(bare.ListSerialNumbers(&list), 0);
  EXPECT_EQ(list, std::vector<std::string>{"x"});
  EXPECT_FALSE(bare.Open(""));
  EXPECT_FALSE(bare.IsOpen());
}

TEST_F(UsbDevice, ListsMatchingDevicesInBusOrderAndOpensBySerial) {
  sim_add_adapter("A1");
  sim_add_device(0x046D, 0xC52B, "MOUSE"); // another maker's product on the bus
  sim_add_device(0x20A0, 0x41E9, "SIBLING"); // our vendor id, another product
  sim_add_adapter("B2");
  AdapterDevice dev;
  std::vector<std::string> list{"stale"};
  EXPECT_EQ(dev.ListSerialNumbers(&list), 2);
  EXPECT_EQ(list, (std::vector<std::string>{"A1", "B2"}));
  EXPECT_EQ(dev.ListSerialNumbers(nullptr), 0);
  EXPECT_EQ(sim_open_handles(), 0); // every device opened for listing was closed

  ASSERT_TRUE(dev.Open("B2"));
  EXPECT_EQ(dev.SerialNumber(), "B2");
  EXPECT_EQ(sim_open_handles(), 1); // A1 was opened on the way and closed again
  char byte = 0;
  EXPECT_EQ(dev.BulkWrite("\x00\x05\x00\x00", 4, 10), 4);
  auto t = Trace();
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.back().device, 3);
  (void)byte;

  EXPECT_FALSE(dev.Open("A1")); // already open: untouched
  EXPECT_EQ(dev.SerialNumber(), "B2");
  dev.Close();
  EXPECT_FALSE(dev.IsOpen());
  EXPECT_EQ(sim_open_handles(), 0);

  ASSERT_TRUE(dev.Open(""));
  EXPECT_EQ(dev.SerialNumber(), "A1");
  dev.Close();
  EXPECT_EQ(dev.SerialNumber(), "A1"); // kept after closing
  EXPECT_FALSE(dev.Open("b2"));       // case matters
  EXPECT_FALSE(dev.Open("SIBLING")); // the product id counts too
  EXPECT_EQ(sim_open_handles(), 0);
}

TEST_F(UsbDevice, DeviceWithoutReadableSerialIsNotListedButOpensWithEmptyRequest) {
  sim_add_adapter(nullptr);
  sim_add_adapter("");
  AdapterDevice dev;
  std::vector<std::string> list;
  EXPECT_EQ(dev.ListSerialNumbers(&list), 0);
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(dev.Open("A1"));
  ASSERT_TRUE(dev.Open(""));
  EXPECT_EQ(dev.SerialNumber(), "");
}

TEST_F(UsbDevice, RefusedDeviceIsSkipped) {
  sim_add_adapter("A1");
  sim_add_adapter("B2");
  sim_set_open_refused("A1", 1);
  AdapterDevice dev;
  std::vector<std::string> list;
  EXPECT_EQ(dev.ListSerialNumbers(&list), 1);
  ASSERT_TRUE(dev.Open(""));
  EXPECT_EQ(dev.SerialNumber(), "B2");
}

TEST_F(UsbDevice, TransfersOnAClosedDeviceReturnZeroWithoutTraffic) {
  sim_add_adapter("A1");
  AdapterDevice dev;
  char buf[4] = {};
  EXPECT_EQ(dev.BulkWrite(buf, 4, 10), 0);
  EXPECT_EQ(dev.BulkRead(buf, 4, 10), 0);
  EXPECT_EQ(dev.ResetReadEndpoint(), 0);
  EXPECT_EQ(sim_trace_count(), 0);
}

TEST_F(UsbDevice, WriteRetriesUpToThreeCalls) {
  sim_add_adapter("A1");
  AdapterDevice dev;
  ASSERT_TRUE(dev.Open("A1"));
  sim_call_log_clear();
  sim_set_write_failures(2, -EIO);
  EXPECT_EQ(dev.BulkWrite("\x00\x05\x00\x00", 4, 10), 4);
  EXPECT_EQ(dev.WriteErrorCount(), 2);
  EXPECT_EQ(dev.LastError(), -EIO);
  EXPECT_EQ(sim_call_count("usb_bulk_write"), 3);

  sim_call_log_clear();
  sim_fail_transfer(1, -EIO);
  sim_fail_transfer(2, -EPIPE);
  sim_fail_transfer(3, -ENODEV);
  EXPECT_EQ(dev.BulkWrite("\x00\x05\x00\x00", 4, 10), -ENODEV);
  EXPECT_EQ(sim_call_count("usb_bulk_write"), 3);
  EXPECT_EQ(dev.WriteErrorCount(), 5);
}

TEST_F(UsbDevice, ReadTimeoutIsReportedWithoutReset) {
  sim_add_adapter("A1");
  AdapterDevice dev;
  ASSERT_TRUE(dev.Open("A1"));
  sim_call_log_clear();
  char buf[20];
  EXPECT_EQ(dev.BulkRead(buf, 20, 100), TUSBDevice::TimeoutError);
  EXPECT_EQ(TUSBDevice::TimeoutError, -110);
  EXPECT_EQ(CallLog(), "usb_bulk_read");
  EXPECT_EQ(dev.ReadErrorCount(), 1);
}

TEST_F(UsbDevice, ReadErrorResetsEndpointDrainsOnceAndReportsFirstResult) {
  sim_add_adapter("A1");
  AdapterDevice dev;
  ASSERT_TRUE(dev.Open("A1"));
  // A reply waits; the first read fails, the drain read gets the reply.
  ASSERT_EQ(dev.BulkWrite("\x00\x05\x00\x00", 4, 10), 4);
  sim_call_log_clear();
  sim_fail_transfer(1, -EPIPE);
  char buf[20] = {};
  EXPECT_EQ(dev.BulkRead(buf, 20, 100), -EPIPE);
  EXPECT_EQ(CallLog(), "usb_bulk_read usb_resetep usb_bulk_read");
  auto t = Trace();
  EXPECT_EQ(t.back().result, 20); // the drained reply, discarded
  EXPECT_EQ(dev.ReadErrorCount(), 1);
}

TEST_F(UsbDevice, CheckRemovedClosesWhenTheSerialIsGone) {
  sim_add_adapter("A1");
  sim_add_adapter("B2");
  AdapterDevice dev;
  EXPECT_FALSE(dev.CheckRemoved()); // closed
  ASSERT_TRUE(dev.Open("B2"));
  EXPECT_FALSE(dev.CheckRemoved());
  sim_unplug("A1"); // another device leaves
  EXPECT_FALSE(dev.CheckRemoved());
  EXPECT_TRUE(dev.IsOpen());
  sim_unplug("B2");
  EXPECT_TRUE(dev.CheckRemoved());
  EXPECT_FALSE(dev.IsOpen());
  EXPECT_EQ(sim_open_handles(), 0);
}

// Bitwise CRC-32/MPEG-2 over bytes, as a reference.
uint32_t Mpeg2(const std::vector<uint8_t> &bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (uint8_t b : bytes) {
    crc ^= static_cast<uint32_t>(b) << 24;
    for (int i = 0; i < 8; ++i)
      crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

TEST_F(UsbDevice, Crc32IsMpeg2OverEachWordMostSignificantByteFirst) {
  const char *check = "123456789";
  EXPECT_EQ(Mpeg2(std::vector<uint8_t>(check, check + 9)), 0x0376E6E7u);
  AdapterDevice dev;
  uint32_t words[2];
  std::memcpy(words, "12345678", 8);
  EXPECT_EQ(dev.CalcCrc32(words, 4), Mpeg2({0x34, 0x33, 0x32, 0x31}));
  EXPECT_EQ(dev.CalcCrc32(words, 8), Mpeg2({0x34, 0x33, 0x32, 0x31, 0x38, 0x37, 0x36, 0x35}));
  EXPECT_EQ(dev.CalcCrc32(words, 7), dev.CalcCrc32(words, 4)); // trailing bytes ignored
  EXPECT_EQ(dev.CalcCrc32(words, 3), 0xFFFFFFFFu);
}

TEST_F(UsbDevice, BusyDirectionReturnsZeroAtOnce) {
  sim_add_adapter("A1");
  AdapterDevice dev;
  ASSERT_TRUE(dev.Open("A1"));
  sim_set_transfer_delay_us(300000);
  long before = sim_transfers_entered();
  std::thread reader([&] {
    char b[4];
    dev.BulkRead(b, 4, 10);
  });
  while (sim_transfers_entered() == before)
    std::this_thread::yield();
  char b[4];
  EXPECT_EQ(dev.BulkRead(b, 4, 10), 0); // the other read holds the direction
  reader.join();
  sim_set_transfer_delay_us(0);
}

TEST_F(UsbDevice, CloseWaitsForATransferInProgress) {
  sim_add_adapter("A1");
  AdapterDevice dev;
  ASSERT_TRUE(dev.Open("A1"));
  sim_set_transfer_delay_us(100000);
  long before = sim_transfers_entered();
  std::thread writer([&] { dev.BulkWrite("\x00\x05\x00\x00", 4, 10); });
  while (sim_transfers_entered() == before)
    std::this_thread::yield();
  dev.Close(); // must not release the handle under the write
  writer.join();
  sim_set_transfer_delay_us(0);
  auto t = Trace();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].result, 4); // the write ran on a live handle
  EXPECT_EQ(sim_open_handles(), 0);
}

// A read waiting for a slow reply holds its direction: Close waits for it
// before the handle is released, and the read gets its reply.
TEST_F(UsbDevice, CloseWaitsForAReadAwaitingItsReply) {
  sim_add_adapter("A1");
  AdapterDevice dev;
  ASSERT_TRUE(dev.Open("A1"));
  sim_set_reply_latency_us("A1", 0x0500, 80000);
  ASSERT_EQ(dev.BulkWrite("\x00\x05\x00\x00", 4, 10), 4);
  const long before = sim_transfers_entered();
  int got = 0;
  std::thread reader([&] {
    char b[20];
    got = dev.BulkRead(b, 20, 100);
  });
  while (sim_transfers_entered() == before)
    std::this_thread::yield();
  dev.Close();
  reader.join();
  EXPECT_EQ(got, 20); // the reply came on a live handle
  EXPECT_EQ(sim_closed_under_transfer(), 0);
  EXPECT_EQ(sim_open_handles(), 0);
}

} // namespace
