// SPDX-License-Identifier: GPL-3.0-or-later
// libusb-0.1 bound at run time: the entry-point table and the call-throughs.
#include "Libusbdyn.h"

#include <dlfcn.h>

#include <atomic>

namespace libusbdyn {
namespace {

const char *const Names[EntryCount] = {
    "usb_open",
    "usb_close",
    "usb_get_string",
    "usb_get_string_simple",
    "usb_get_descriptor_by_endpoint",
    "usb_get_descriptor",
    "usb_bulk_write",
    "usb_bulk_read",
    "usb_interrupt_write",
    "usb_interrupt_read",
    "usb_control_msg",
    "usb_set_configuration",
    "usb_claim_interface",
    "usb_release_interface",
    "usb_set_altinterface",
    "usb_resetep",
    "usb_clear_halt",
    "usb_reset",
    "usb_reset_ex",
    "usb_strerror",
    "usb_init",
    "usb_set_debug",
    "usb_find_busses",
    "usb_find_devices",
    "usb_device",
    "usb_get_busses",
    "usb_install_service_np",
    "usb_uninstall_service_np",
    "usb_install_driver_np",
    "usb_get_version",
    "usb_isochronous_setup_async",
    "usb_bulk_setup_async",
    "usb_interrupt_setup_async",
    "usb_submit_async",
    "usb_reap_async",
    "usb_free_async",
};

// Indices of the table for the entry points that are called.
enum : int {
  iOpen = 0, iClose = 1, iGetStringSimple = 3, iBulkWrite = 6, iBulkRead = 7,
  iSetConfiguration = 11, iClaimInterface = 12, iReleaseInterface = 13,
  iResetEp = 15, iResetEx = 18, iInit = 20, iFindBusses = 22, iFindDevices = 23,
  iGetBusses = 25,
};

// The presence check re-binds on the user-interface thread while the
// communication thread calls through the table: each entry is one atomic
// pointer, rewritten with the value it already holds.
std::atomic<void *> Table[EntryCount];
std::atomic<bool> LibraryLoaded{false};

// Usual file names of libusb-0.1 on Linux distributions, tried in this order:
// the run-time name of the compatibility library, then the unversioned
// development links under which some distributions install it.
std::vector<std::string> &Candidates() {
  static std::vector<std::string> names{"libusb-0.1.so.4", "libusb-0.1.so", "libusb.so"};
  return names;
}

bool IsClassic(int i) { return i < iResetEx || (i > iResetEx && i <= iGetBusses); }

template <typename F> F Fn(int i) { return reinterpret_cast<F>(Table[i].load(std::memory_order_acquire)); }

void Fill(void *lib) {
  for (int i = 0; i < EntryCount; ++i)
    Table[i].store(dlsym(lib, Names[i]), std::memory_order_release);
  if (auto init = Fn<void (*)()>(iInit))
    init();
}

bool Complete(void *lib) {
  for (int i = 0; i < EntryCount; ++i)
    if (IsClassic(i) && !dlsym(lib, Names[i]))
      return false;
  return true;
}

} // namespace

const char *EntryName(int i) { return (i >= 0 && i < EntryCount) ? Names[i] : ""; }
bool EntryIsClassic(int i) { return i >= 0 && i < EntryCount && IsClassic(i); }
void *Entry(int i) { return (i >= 0 && i < EntryCount) ? Table[i].load(std::memory_order_acquire) : nullptr; }
const std::vector<std::string> &LibraryNames() { return Candidates(); }
bool Loaded() { return LibraryLoaded.load(std::memory_order_acquire); }

bool Bind() {
  void *incomplete = nullptr;
  for (const std::string &name : Candidates()) {
    // Never unloaded: a repeated load returns the module already loaded.
    void *lib = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib)
      continue;
    if (Complete(lib)) {
      Fill(lib);
      return true;
    }
    if (!incomplete)
      incomplete = lib;
  }
  // Only an incomplete library was found: its entries still go into the
  // table, and the call-throughs of the missing ones return their fixed values.
  if (incomplete)
    Fill(incomplete);
  return false;
}

bool Locate() {
  bool ok = Bind();
  LibraryLoaded.store(ok, std::memory_order_release);
  return ok;
}

void ResetForTest(std::vector<std::string> names) {
  Candidates() = std::move(names);
  for (auto &e : Table)
    e.store(nullptr, std::memory_order_release);
  LibraryLoaded.store(false, std::memory_order_release);
}

} // namespace libusbdyn

using namespace libusbdyn;

usb_dev_handle *dyn_usb_open(struct usb_device *dev) {
  auto f = Fn<usb_dev_handle *(*)(struct usb_device *)>(iOpen);
  return f ? f(dev) : nullptr;
}
int dyn_usb_close(usb_dev_handle *dev) {
  auto f = Fn<int (*)(usb_dev_handle *)>(iClose);
  return f ? f(dev) : -2;
}
int dyn_usb_get_string_simple(usb_dev_handle *dev, int index, char *buf, size_t buflen) {
  auto f = Fn<int (*)(usb_dev_handle *, int, char *, size_t)>(iGetStringSimple);
  return f ? f(dev, index, buf, buflen) : -2;
}
int dyn_usb_bulk_write(usb_dev_handle *dev, int ep, const char *bytes, int size, int timeout) {
  auto f = Fn<int (*)(usb_dev_handle *, int, const char *, int, int)>(iBulkWrite);
  return f ? f(dev, ep, bytes, size, timeout) : -2;
}
int dyn_usb_bulk_read(usb_dev_handle *dev, int ep, char *bytes, int size, int timeout) {
  auto f = Fn<int (*)(usb_dev_handle *, int, char *, int, int)>(iBulkRead);
  return f ? f(dev, ep, bytes, size, timeout) : -2;
}
int dyn_usb_set_configuration(usb_dev_handle *dev, int configuration) {
  auto f = Fn<int (*)(usb_dev_handle *, int)>(iSetConfiguration);
  return f ? f(dev, configuration) : -2;
}
int dyn_usb_claim_interface(usb_dev_handle *dev, int interface) {
  auto f = Fn<int (*)(usb_dev_handle *, int)>(iClaimInterface);
  return f ? f(dev, interface) : -2;
}
int dyn_usb_release_interface(usb_dev_handle *dev, int interface) {
  auto f = Fn<int (*)(usb_dev_handle *, int)>(iReleaseInterface);
  return f ? f(dev, interface) : -2;
}
int dyn_usb_resetep(usb_dev_handle *dev, unsigned int ep) {
  auto f = Fn<int (*)(usb_dev_handle *, unsigned int)>(iResetEp);
  return f ? f(dev, ep) : -2;
}
int dyn_usb_find_busses() {
  auto f = Fn<int (*)()>(iFindBusses);
  return f ? f() : -2;
}
int dyn_usb_find_devices() {
  auto f = Fn<int (*)()>(iFindDevices);
  return f ? f() : -2;
}
struct usb_bus *dyn_usb_get_busses() {
  auto f = Fn<struct usb_bus *(*)()>(iGetBusses);
  return f ? f() : nullptr;
}
