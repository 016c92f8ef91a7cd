// SPDX-License-Identifier: GPL-3.0-or-later
// One USB device: listing, opening, bulk transfers, presence check, closing.
#include "Usbdevice_libdyn.h"

#include "Libusbdyn.h"

#include <array>
#include <cerrno>
#include <thread>

// libusb-0.1 on Linux reports a transfer time-out as -ETIMEDOUT.
const int TUSBDevice::TimeoutError = -ETIMEDOUT;

TUSBDevice::TUSBDevice() {
  FReadBusy.clear();
  FWriteBusy.clear();
}

TUSBDevice::~TUSBDevice() {
  // Only this class's own close: a subclass has already run its own.
  if (IsOpen())
    TUSBDevice::Close();
}

bool TUSBDevice::Matches(const struct usb_device *dev) const {
  return (dev->descriptor.idVendor == (FVendorId & 0xFFFF)) &&
         (dev->descriptor.idProduct == (FProductId & 0xFFFF));
}

std::string TUSBDevice::ReadSerial(usb_dev_handle *handle, int index) {
  char buffer[256] = {};
  int n = dyn_usb_get_string_simple(handle, index, buffer, sizeof buffer);
  if (n <= 0)
    return {};
  // Never trust the library's count beyond the buffer or its terminator.
  buffer[sizeof buffer - 1] = 0;
  return std::string(buffer);
}

// Opens each device with our ids, in bus order, and hands its handle and
// serial number to visit, which closes or keeps it; true from visit stops.
template <typename F> void TUSBDevice::ForEachMatching(F visit) {
  for (struct usb_bus *bus = dyn_usb_get_busses(); bus; bus = bus->next) {
    for (struct usb_device *dev = bus->devices; dev; dev = dev->next) {
      if (!Matches(dev))
        continue;
      usb_dev_handle *h = dyn_usb_open(dev);
      if (!h)
        continue;
      if (visit(h, ReadSerial(h, dev->descriptor.iSerialNumber)))
        return;
    }
  }
}

static bool EnsureBound() { return libusbdyn::Loaded() || libusbdyn::Locate(); }

int TUSBDevice::ListSerialNumbers(std::vector<std::string> *list) {
  if (!EnsureBound())
    return 0;
  if ((FVendorId & 0xFFFF) == 0 || (FProductId & 0xFFFF) == 0)
    return 0;
  if (!list)
    return 0;
  list->clear();
  libusbdyn::Bind();
  dyn_usb_find_busses();
  dyn_usb_find_devices();
  int count = 0;
  ForEachMatching([&](usb_dev_handle *h, const std::string &serial) {
    if (!serial.empty()) {
      list->push_back(serial);
      ++count;
    }
    dyn_usb_close(h);
    return false;
  });
  return count;
}

bool TUSBDevice::Open(const std::string &serialNumber) {
  bool bound = EnsureBound();
  if (IsOpen() || !bound || (FVendorId & 0xFFFF) == 0 || (FProductId & 0xFFFF) == 0)
    return false;
  dyn_usb_find_busses();
  dyn_usb_find_devices();
  usb_dev_handle *taken = nullptr;
  std::string serial;
  ForEachMatching([&](usb_dev_handle *h, const std::string &s) {
    if (serialNumber.empty() || s == serialNumber) {
      taken = h;
      serial = serialNumber.empty() ? s : serialNumber;
      return true;
    }
    dyn_usb_close(h);
    return false;
  });
  if (!taken)
    return false;
  // Failures here show at the first transfer, the handshake.
  dyn_usb_set_configuration(taken, Configuration);
  dyn_usb_claim_interface(taken, Interface);
  FSerialNumber = serial;
  FHandle.store(taken, std::memory_order_release);
  FOpen.store(true, std::memory_order_release);
  return true;
}

void TUSBDevice::TakeBoth() {
  // A transfer in progress is bounded by its time-outs; wait it out.
  while (FWriteBusy.test_and_set(std::memory_order_acquire))
    std::this_thread::yield();
  while (FReadBusy.test_and_set(std::memory_order_acquire))
    std::this_thread::yield();
}

void TUSBDevice::CloseDevice() {
  if (!IsOpen())
    return;
  TakeBoth();
  usb_dev_handle *h = FHandle.exchange(nullptr, std::memory_order_acq_rel);
  FOpen.store(false, std::memory_order_release);
  if (h) {
    dyn_usb_release_interface(h, Interface);
    dyn_usb_close(h);
  }
  FReadBusy.clear(std::memory_order_release);
  FWriteBusy.clear(std::memory_order_release);
}

void TUSBDevice::Close() { CloseDevice(); }

int TUSBDevice::BulkWrite(const void *data, int length, int timeout) {
  if (!IsOpen() || FWriteBusy.test_and_set(std::memory_order_acquire))
    return 0;
  // The handle is read only while the busy flag is held, so a concurrent
  // Close cannot release it underneath this transfer.
  usb_dev_handle *h = FHandle.load(std::memory_order_acquire);
  int result = 0;
  if (h) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      result = dyn_usb_bulk_write(h, EndpointOut, static_cast<const char *>(data), length, timeout);
      if (result >= 0)
        break;
      FLastError = result;
      ++FWriteErrors;
    }
  }
  FWriteBusy.clear(std::memory_order_release);
  return result;
}

int TUSBDevice::BulkRead(void *buffer, int length, int timeout) {
  if (!IsOpen() || FReadBusy.test_and_set(std::memory_order_acquire))
    return 0;
  usb_dev_handle *h = FHandle.load(std::memory_order_acquire);
  int result = 0;
  if (h) {
    result = dyn_usb_bulk_read(h, EndpointIn, static_cast<char *>(buffer), length, timeout);
    if (result < 0) {
      FLastError = result;
      ++FReadErrors;
      if (result != TimeoutError) {
        // Drain what the endpoint held after an error; the first result stands.
        dyn_usb_resetep(h, EndpointIn);
        dyn_usb_bulk_read(h, EndpointIn, static_cast<char *>(buffer), length, timeout);
      }
    }
  }
  FReadBusy.clear(std::memory_order_release);
  return result;
}

bool TUSBDevice::CheckRemoved() {
  if (!IsOpen())
    return false;
  std::vector<std::string> present;
  ListSerialNumbers(&present);
  for (const std::string &s : present)
    if (s == FSerialNumber)
      return false;
  Close();
  return true;
}

uint32_t TUSBDevice::CalcCrc32(const uint32_t *words, int length) {
  // CRC-32/MPEG-2, four bits per step: T[k] is k * x^32 modulo 0x04C11DB7.
  static constexpr auto T = [] {
    std::array<uint32_t, 16> t{};
    for (uint32_t k = 0; k < 16; ++k) {
      uint32_t r = k << 28;
      for (int bit = 0; bit < 4; ++bit)
        r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : (r << 1);
      t[k] = r;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFF;
  for (int i = 0; words && i < length / 4; ++i) {
    crc ^= words[i];
    for (int k = 0; k < 8; ++k)
      crc = (crc << 4) ^ T[crc >> 28];
  }
  return crc;
}

int TUSBDevice::ResetReadEndpoint() {
  usb_dev_handle *h = FHandle.load(std::memory_order_acquire);
  if (!IsOpen() || !h)
    return 0;
  return dyn_usb_resetep(h, EndpointIn);
}
