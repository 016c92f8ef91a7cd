// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One USB device reached through libusb-0.1: listing by serial number,
// opening, bulk transfers with retry and endpoint reset, presence check.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct usb_dev_handle;

class TUSBDevice {
public:
  // Endpoints and USB parameters of the device.
  static constexpr int Configuration = 1;
  static constexpr int Interface = 0;
  static constexpr int EndpointOut = 0x01;
  static constexpr int EndpointIn = 0x82;
  // The library's time-out result: its negated time-out error number.
  static const int TimeoutError;

  TUSBDevice();
  virtual ~TUSBDevice();
  TUSBDevice(const TUSBDevice &) = delete;
  TUSBDevice &operator=(const TUSBDevice &) = delete;

  virtual int BulkWrite(const void *data, int length, int timeout);
  virtual int BulkRead(void *buffer, int length, int timeout);
  virtual int ListSerialNumbers(std::vector<std::string> *list);
  virtual bool CheckRemoved();
  virtual uint32_t CalcCrc32(const uint32_t *words, int length);
  virtual bool Open(const std::string &serialNumber);
  virtual void Close();
  virtual int ResetReadEndpoint();

  bool IsOpen() const { return FOpen.load(std::memory_order_acquire); }
  const std::string &SerialNumber() const { return FSerialNumber; }
  int LastError() const { return FLastError.load(); }
  int WriteErrorCount() const { return FWriteErrors.load(); }
  int ReadErrorCount() const { return FReadErrors.load(); }

protected:
  void SetIds(uint32_t vendorId, uint32_t productId) {
    FVendorId = vendorId;
    FProductId = productId;
  }
  // Release interface 0 and close the handle, waiting first for a transfer
  // that another thread runs on it.
  void CloseDevice();

private:
  std::string ReadSerial(usb_dev_handle *handle, int index);
  bool Matches(const struct usb_device *dev) const;
  template <typename F> void ForEachMatching(F visit);
  void TakeBoth();

  std::string FSerialNumber;
  std::atomic_flag FReadBusy;
  std::atomic_flag FWriteBusy;
  std::atomic<int> FLastError{0};
  std::atomic<int> FWriteErrors{0};
  std::atomic<int> FReadErrors{0};
  uint32_t FVendorId = 0;
  uint32_t FProductId = 0;
  std::atomic<bool> FOpen{false};
  std::atomic<usb_dev_handle *> FHandle{nullptr};
};
