// SPDX-License-Identifier: GPL-3.0-or-later
// Notice of USB devices arriving and leaving, through libudev.
#include "DeviceMonitor.h"

#include <QSocketNotifier>

#include <libudev.h>

// The "kernel" source hears the kernel's own add and remove events, with or
// without a udev daemon (containers, CI and bare virtual machines run none),
// whereas the "udev" source hears nothing without one. Only the fact that
// something changed is used (the presence check then lists the adapters), so
// the kernel's event is enough and comes first. The "udev" source is the
// fallback where the kernel source cannot be opened.
TDeviceMonitor::TDeviceMonitor(QObject *parent) : QObject(parent) {
  FUdev = udev_new();
  if (!FUdev)
    return;
  for (const char *source : {"kernel", "udev"}) {
    FMonitor = udev_monitor_new_from_netlink(FUdev, source);
    if (!FMonitor)
      continue;
    if (udev_monitor_filter_add_match_subsystem_devtype(FMonitor, "usb", "usb_device") >= 0 &&
        udev_monitor_enable_receiving(FMonitor) >= 0)
      break;
    udev_monitor_unref(FMonitor);
    FMonitor = nullptr;
  }
  if (!FMonitor)
    return;
  FNotifier = new QSocketNotifier(udev_monitor_get_fd(FMonitor), QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, &TDeviceMonitor::Receive);
}

TDeviceMonitor::~TDeviceMonitor() {
  delete FNotifier;
  if (FMonitor)
    udev_monitor_unref(FMonitor);
  if (FUdev)
    udev_unref(FUdev);
}

void TDeviceMonitor::Receive() {
  bool any = false;
  while (struct udev_device *dev = udev_monitor_receive_device(FMonitor)) {
    udev_device_unref(dev);
    any = true;
  }
  if (any)
    emit DeviceChanged();
}
