// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Run-time binding of the libusb-0.1 programming interface.
//
// The library is never linked: it is loaded by its bare file name so that the
// dynamic loader's search path decides which copy is used (the real library,
// or the simulated adapter in tests and the demo).

#include <usb.h>

#include <string>
#include <vector>

namespace libusbdyn {

// Number of names in the entry-point table.
constexpr int EntryCount = 36;
// The first names of the table that every libusb-0.1 build offers; the other
// eleven are extensions of the Windows build, looked up but never required.
constexpr int ClassicCount = 25;

// Name of entry i of the table.
const char *EntryName(int i);
// Whether entry i belongs to the classic interface.
bool EntryIsClassic(int i);
// Resolved address of entry i, or null.
void *Entry(int i);

// The library file names tried, in order, by the binding step.
const std::vector<std::string> &LibraryNames();

// Binding step: load the library, resolve every name, call usb_init when it is
// there. True when every classic name resolved.
bool Bind();

// True once a binding attempt found the library with every classic name.
bool Loaded();

// Locating step: on Linux the attempt to load the library is the test whether
// it is installed, so this runs the binding step and records its result.
bool Locate();

// For tests only: replace the library names tried and forget the binding, so
// that a missing or incomplete library can be simulated in one process.
void ResetForTest(std::vector<std::string> names);

} // namespace libusbdyn

// Call-throughs of the entry points that the program uses. When an entry
// point is missing they call nothing and return a fixed result.
usb_dev_handle *dyn_usb_open(struct usb_device *dev);
int dyn_usb_close(usb_dev_handle *dev);
int dyn_usb_get_string_simple(usb_dev_handle *dev, int index, char *buf, size_t buflen);
int dyn_usb_bulk_write(usb_dev_handle *dev, int ep, const char *bytes, int size, int timeout);
int dyn_usb_bulk_read(usb_dev_handle *dev, int ep, char *bytes, int size, int timeout);
int dyn_usb_set_configuration(usb_dev_handle *dev, int configuration);
int dyn_usb_claim_interface(usb_dev_handle *dev, int interface);
int dyn_usb_release_interface(usb_dev_handle *dev, int interface);
int dyn_usb_resetep(usb_dev_handle *dev, unsigned int ep);
int dyn_usb_find_busses();
int dyn_usb_find_devices();
struct usb_bus *dyn_usb_get_busses();
