// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Notice of USB devices arriving and leaving, from the kernel through
// libudev.

#include <QObject>

class QSocketNotifier;
struct udev;
struct udev_monitor;

class TDeviceMonitor : public QObject {
  Q_OBJECT
public:
  explicit TDeviceMonitor(QObject *parent = nullptr);
  ~TDeviceMonitor() override;
  // Whether notifications arrive at all (false where no monitor could be
  // opened; the program then runs without them).
  bool Active() const { return FMonitor != nullptr; }

signals:
  void DeviceChanged();

private:
  void Receive();

  struct udev *FUdev = nullptr;
  struct udev_monitor *FMonitor = nullptr;
  QSocketNotifier *FNotifier = nullptr;
};
