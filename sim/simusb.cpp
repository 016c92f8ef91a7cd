// SPDX-License-Identifier: GPL-3.0-or-later
// A libusb-0.1 library that presents simulated adapters on one simulated bus.
// Loaded instead of the real library through the dynamic loader's search
// path; configured through simcontrol.h or, for the demo, the environment:
//   MOLVAR_SIM_ADAPTERS  serial numbers of adapters plugged in at start,
//                        separated by commas
//   MOLVAR_SIM_TRAFFIC_MS  a frame on the bus every so many milliseconds
//   MOLVAR_SIM_DEMO      1: a few messages on their own periods, values moving
//   MOLVAR_SIM_FLOOD     1: every receive poll finds a frame
//   MOLVAR_SIM_LOOPBACK  1: transmitted frames always come back
//   MOLVAR_SIM_BUS       BITRATE,LOAD: a bus carrying frames at that bit rate
//                        and load (percent)
//   MOLVAR_SIM_TRANSFER_US  time each USB transfer takes (default below)
//   MOLVAR_SIM_RX_DEPTH  frames the adapter's receive queue holds
//   MOLVAR_SIM_REPORT    a file to write, when the process ends, what each
//                        adapter saw (for tests of the whole program)

#include "adapter_model.h"
#include "simcontrol.h"

#include <usb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr size_t MaxTrace = 200000;

// What one bulk transfer costs by default. The adapter is a full-speed
// device; on today's hosts it sits behind a high-speed hub or controller
// whose transaction translator carries each transfer as a start-split in one
// 125 us microframe and a complete-split in a later one, and the host
// controller reports completion at a microframe boundary: two microframes,
// 250 us, per transfer at the least, so a receive poll (a write and a read)
// takes 500 us and the link allows about 2,000 polls a second.
constexpr int DefaultTransferUs = 250;

struct Device {
  int index = 0;
  uint16_t vendor = 0, product = 0;
  bool serialReadable = true;
  bool plugged = true;
  bool openRefused = false;
  int generation = 0; // rises at every unplug; older handles are dead
  std::unique_ptr<SimAdapterModel> model;
  std::unique_ptr<struct usb_device> dev;
  std::map<uint16_t, int> replyLatencyUs; // by command word; 0: the others
  int64_t replyReadyUs = 0; // when the waiting reply becomes readable
  int64_t lastWriteEndUs = 0;
};

struct Handle {
  Device *device;
  int generation;
  bool claimed = false;
};

struct Sim {
  std::mutex m;
  std::vector<std::unique_ptr<Device>> devices;
  std::map<usb_dev_handle *, std::unique_ptr<Handle>> handles;
  struct usb_bus bus {};
  // The newest transfers; a long demo run must not grow without bound.
  std::deque<SimTraceEntry> trace;
  std::vector<std::string> calls;
  std::map<std::string, int> callCounts;
  // Faults.
  std::map<long, int> failAt; // transfer number -> code
  long transfers = 0;
  int writeFailures = 0, writeFailCode = 0;
  int readFailures = 0, readFailCode = 0;
  int delayUs = DefaultTransferUs;
  int configuredDelayUs = DefaultTransferUs; // what sim_reset returns to
  size_t traceLimit = MaxTrace;
  int trafficMs = 0;
  int busBitRate = 0;
  double busLoad = 0;
  size_t rxDepth = SimAdapterModel::DefaultRxDepth;
  std::map<usb_dev_handle *, int> inFlight; // transfers under way per handle
  int closedUnderTransfer = 0;
  std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();
};

Sim &S();

void Call(Sim &s, const char *name) {
  if (s.calls.size() < std::min<size_t>(100000, s.traceLimit))
    s.calls.emplace_back(name);
  ++s.callCounts[name];
}

Device *Find(Sim &s, const char *serial) {
  for (auto &d : s.devices)
    if (d->model && serial && d->model->serial() == serial)
      return d.get();
  return nullptr;
}

void BusTransmit(Sim &s, const Device *from, const SimFrame &f) {
  for (auto &d : s.devices)
    if (d.get() != from && d->plugged && d->model)
      d->model->HearFrame(f);
}

Device *AddDevice(Sim &s, uint16_t vendor, uint16_t product, const char *serial) {
  auto d = std::make_unique<Device>();
  d->index = static_cast<int>(s.devices.size());
  d->vendor = vendor;
  d->product = product;
  d->serialReadable = serial != nullptr;
  d->model = std::make_unique<SimAdapterModel>(serial ? serial : "");
  d->model->trafficPeriodMs = s.trafficMs;
  d->model->rxDepth = s.rxDepth;
  d->model->SetBusSource(s.busBitRate, s.busLoad, 0);
  Device *raw = d.get();
  d->model->onTransmit = [raw](const SimFrame &f) { BusTransmit(S(), raw, f); };
  d->dev = std::make_unique<struct usb_device>();
  std::memset(d->dev.get(), 0, sizeof(struct usb_device));
  snprintf(d->dev->filename, sizeof d->dev->filename, "%03d", d->index + 2);
  d->dev->bus = &s.bus;
  d->dev->descriptor.bLength = 18;
  d->dev->descriptor.bDescriptorType = 1;
  d->dev->descriptor.bcdUSB = 0x0200;
  d->dev->descriptor.bDeviceClass = 0xFF;
  d->dev->descriptor.bMaxPacketSize0 = 64;
  d->dev->descriptor.idVendor = vendor;
  d->dev->descriptor.idProduct = product;
  d->dev->descriptor.iManufacturer = 1;
  d->dev->descriptor.iProduct = 2;
  d->dev->descriptor.iSerialNumber = 3;
  d->dev->descriptor.bNumConfigurations = 1;
  d->dev->devnum = static_cast<uint8_t>(d->index + 2);
  s.devices.push_back(std::move(d));
  return raw;
}

void ReadEnvironment(Sim &s) {
  if (const char *t = getenv("MOLVAR_SIM_TRAFFIC_MS"))
    s.trafficMs = atoi(t);
  if (const char *t = getenv("MOLVAR_SIM_TRANSFER_US"))
    s.delayUs = s.configuredDelayUs = std::max(0, atoi(t));
  if (const char *t = getenv("MOLVAR_SIM_RX_DEPTH"))
    s.rxDepth = static_cast<size_t>(std::max(1, atoi(t)));
  if (const char *t = getenv("MOLVAR_SIM_BUS"))
    if (std::sscanf(t, "%d,%lf", &s.busBitRate, &s.busLoad) != 2)
      s.busBitRate = 0;
  if (const char *a = getenv("MOLVAR_SIM_ADAPTERS")) {
    std::stringstream ss(a);
    std::string serial;
    while (std::getline(ss, serial, ','))
      if (!serial.empty())
        AddDevice(s, 0x20A0, 0x41E8, serial.c_str());
  }
  if (const char *f = getenv("MOLVAR_SIM_DEMO"))
    for (auto &d : s.devices)
      d->model->demoTraffic = atoi(f) != 0;
  if (const char *f = getenv("MOLVAR_SIM_FLOOD"))
    for (auto &d : s.devices)
      d->model->flood = atoi(f) != 0;
  if (const char *l = getenv("MOLVAR_SIM_LOOPBACK"))
    for (auto &d : s.devices)
      d->model->forceLoopback = atoi(l) != 0;
}

Sim &S() {
  static Sim *sim = [] {
    auto *s = new Sim;
    std::strcpy(s->bus.dirname, "001");
    ReadEnvironment(*s);
    return s;
  }();
  return *sim;
}

Handle *Get(Sim &s, usb_dev_handle *h) {
  auto it = s.handles.find(h);
  return it == s.handles.end() ? nullptr : it->second.get();
}

bool Alive(const Handle *h) { return h && h->device->plugged && h->generation == h->device->generation; }

void Trace(Sim &s, int out, const Device *d, int result, const void *bytes, int length, int timeout = 0,
           long afterWriteUs = 0) {
  if (s.traceLimit == 0)
    return;
  SimTraceEntry e{};
  e.timeout_ms = timeout;
  e.after_write_us = afterWriteUs;
  e.out = out;
  e.device = d ? d->index : -1;
  e.result = result;
  e.length = length > 0 ? std::min(length, 64) : 0;
  if (e.length > 0)
    std::memcpy(e.bytes, bytes, e.length);
  s.trace.push_back(e);
  while (s.trace.size() > s.traceLimit)
    s.trace.pop_front();
}

// A scripted fault for the next transfer, or 0.
int Fault(Sim &s, bool write) {
  ++s.transfers;
  auto it = s.failAt.find(s.transfers);
  if (it != s.failAt.end()) {
    int code = it->second;
    s.failAt.erase(it);
    return code;
  }
  int &count = write ? s.writeFailures : s.readFailures;
  if (count != 0) {
    if (count > 0)
      --count;
    return write ? s.writeFailCode : s.readFailCode;
  }
  return 0;
}

std::atomic<long> Entered{0};

// The transfer's own time on the link, outside the lock so that another
// thread's transfer may overlap it, as on a real host.
void Delay(Sim &s) {
  const auto entry = std::chrono::steady_clock::now();
  Entered.fetch_add(1);
  int us;
  {
    std::lock_guard<std::mutex> l(s.m);
    us = s.delayUs;
  }
  if (us > 0)
    std::this_thread::sleep_until(entry + std::chrono::microseconds(us));
}

int64_t NowUs(Sim &s) {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - s.epoch).count();
}

int LatencyFor(const Device &d, uint16_t command) {
  auto it = d.replyLatencyUs.find(command);
  if (it == d.replyLatencyUs.end())
    it = d.replyLatencyUs.find(0);
  return it == d.replyLatencyUs.end() ? 0 : it->second;
}

} // namespace

// ---- libusb-0.1 interface ---------------------------------------------------

// The bus list head that usb_get_busses returns. (The real library also
// exports it as a variable; nothing here reads it that way.)
static struct usb_bus *SimBusses = nullptr;

EXPORT void usb_init(void) {
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  Call(s, "usb_init");
}

EXPORT void usb_set_debug(int) {}

EXPORT int usb_find_busses(void) {
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  Call(s, "usb_find_busses");
  SimBusses = &s.bus;
  return 0;
}

EXPORT int usb_find_devices(void) {
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  Call(s, "usb_find_devices");
  // Device records are never freed, so a record the caller still points to
  // stays valid after its device has gone.
  struct usb_device *prev = nullptr;
  s.bus.devices = nullptr;
  for (auto &d : s.devices) {
    if (!d->plugged)
      continue;
    d->dev->prev = prev;
    d->dev->next = nullptr;
    if (prev)
      prev->next = d->dev.get();
    else
      s.bus.devices = d->dev.get();
    prev = d->dev.get();
  }
  return 0;
}

EXPORT struct usb_bus *usb_get_busses(void) {
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  Call(s, "usb_get_busses");
  return SimBusses;
}

EXPORT usb_dev_handle *usb_open(struct usb_device *dev) {
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  Call(s, "usb_open");
  for (auto &d : s.devices) {
    if (d->dev.get() != dev)
      continue;
    if (!d->plugged || d->openRefused)
      return nullptr;
    auto h = std::make_unique<Handle>(Handle{d.get(), d->generation});
    auto *key = reinterpret_cast<usb_dev_handle *>(h.get());
    s.handles[key] = std::move(h);
    return key;
  }
  return nullptr;
}

EXPORT int usb_close(usb_dev_handle *dev) {
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  Call(s, "usb_close");
  if (s.inFlight[dev] > 0)
    ++s.closedUnderTransfer;
  return s.handles.erase(dev) ? 0 : -EINVAL;
}

EXPORT int usb_get_string_simple(usb_dev_handle *dev, int index, char *buf, size_t buflen) {
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  Call(s, "usb_get_string_simple");
  Handle *h = Get(s, dev);
  if (!Alive(h))
    return -ENODEV;
  if (index != 3 || !h->device->serialReadable || buflen == 0)
    return -EPIPE;
  const std::string &serial = h->device->model->serial();
  size_t n = std::min(serial.size(), buflen - 1);
  std::memcpy(buf, serial.data(), n);
  buf[n] = 0;
  return static_cast<int>(n);
}

EXPORT int usb_get_string(usb_dev_handle *, int, int, char *, size_t) { return -ENOSYS; }
EXPORT int usb_get_descriptor_by_endpoint(usb_dev_handle *, int, unsigned char, unsigned char, void *, int) { return -ENOSYS; }
EXPORT int usb_get_descriptor(usb_dev_handle *, unsigned char, unsigned char, void *, int) { return -ENOSYS; }
EXPORT int usb_interrupt_write(usb_dev_handle *, int, const char *, int, int) { return -ENOSYS; }
EXPORT int usb_interrupt_read(usb_dev_handle *, int, char *, int, int) { return -ENOSYS; }
EXPORT int usb_control_msg(usb_dev_handle *, int, int, int, int, char *, int, int) { return -ENOSYS; }
EXPORT int usb_set_altinterface(usb_dev_handle *, int) { return 0; }
EXPORT int usb_clear_halt(usb_dev_handle *, unsigned int) { return 0; }
EXPORT int usb_reset(usb_dev_handle *) { return 0; }
EXPORT char *usb_strerror(void) { return const_cast<char *>("simulated adapter"); }

EXPORT struct usb_device *usb_device(usb_dev_handle *dev) {
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  Handle *h = Get(s, dev);
  return h ? h->device->dev.get() : nullptr;
}

EXPORT int usb_set_configuration(usb_dev_handle *dev, int configuration) {
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  Call(s, "usb_set_configuration");
  Handle *h = Get(s, dev);
  if (!Alive(h))
    return -ENODEV;
  return configuration == 1 ? 0 : -EINVAL;
}

EXPORT int usb_claim_interface(usb_dev_handle *dev, int interface) {
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  Call(s, "usb_claim_interface");
  Handle *h = Get(s, dev);
  if (!Alive(h))
    return -ENODEV;
  if (interface != 0)
    return -EINVAL;
  h->claimed = true;
  return 0;
}

EXPORT int usb_release_interface(usb_dev_handle *dev, int) {
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  Call(s, "usb_release_interface");
  Handle *h = Get(s, dev);
  if (!h)
    return -EINVAL;
  h->claimed = false;
  return 0;
}

#ifndef SIM_OMIT_RESETEP
EXPORT int usb_resetep(usb_dev_handle *dev, unsigned int ep) {
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  Call(s, "usb_resetep");
  Handle *h = Get(s, dev);
  if (!Alive(h))
    return -ENODEV;
  return ep == 0x82 || ep == 0x01 ? 0 : -EINVAL;
}
#endif

EXPORT int usb_bulk_write(usb_dev_handle *dev, int ep, const char *bytes, int size, int timeout) {
  Sim &s = S();
  Delay(s);
  std::lock_guard<std::mutex> l(s.m);
  Call(s, "usb_bulk_write");
  Handle *h = Get(s, dev);
  Device *d = h ? h->device : nullptr;
  int result;
  if (!h)
    result = -EINVAL;
  else if (!Alive(h))
    result = -ENODEV;
  else if (int fault = Fault(s, true))
    result = fault;
  else if (ep != 0x01 || size < 0 || (size > 0 && !bytes))
    result = -EINVAL;
  else {
    d->model->Tick(NowUs(s));
    d->model->Request(reinterpret_cast<const uint8_t *>(bytes), size);
    const uint16_t command = size >= 2 ? static_cast<uint16_t>(static_cast<uint8_t>(bytes[0]) | (static_cast<uint8_t>(bytes[1]) << 8)) : 0;
    d->lastWriteEndUs = NowUs(s);
    d->replyReadyUs = d->lastWriteEndUs + LatencyFor(*d, command);
    result = size;
  }
  Trace(s, 1, d, result, bytes, result > 0 ? size : 0, timeout);
  return result;
}

EXPORT int usb_bulk_read(usb_dev_handle *dev, int ep, char *bytes, int size, int timeout) {
  Sim &s = S();
  Delay(s);
  std::unique_lock<std::mutex> l(s.m);
  Call(s, "usb_bulk_read");
  Handle *h = Get(s, dev);
  Device *d = h ? h->device : nullptr;
  const int64_t start = NowUs(s);
  const long afterWrite = d ? static_cast<long>(start - d->lastWriteEndUs) : 0;
  int result = 0;
  std::vector<uint8_t> reply;
  if (!h)
    result = -EINVAL;
  else if (!Alive(h))
    result = -ENODEV;
  else if (int fault = Fault(s, false))
    result = fault;
  else if (ep != 0x82 || size < 0 || (size > 0 && !bytes))
    result = -EINVAL;
  else {
    // The reply comes when the adapter has it ready: within the time-out it
    // is waited for, later it is the library's time-out.
    const int64_t limit = static_cast<int64_t>(timeout) * 1000;
    const bool coming = d->model->HasReply();
    const int64_t wait = coming ? std::max<int64_t>(0, d->replyReadyUs - start) : limit;
    const bool inTime = coming && wait <= limit;
    const int64_t sleep = inTime ? wait : limit;
    if (sleep > 0) {
      ++s.inFlight[dev];
      l.unlock();
      std::this_thread::sleep_for(std::chrono::microseconds(sleep));
      l.lock();
      --s.inFlight[dev];
    }
    if (!inTime || !Alive(h) || !d->model->HasReply()) {
      result = Alive(h) ? -ETIMEDOUT : -ENODEV;
    } else {
      reply = std::move(*d->model->TakeReply());
      if (static_cast<int>(reply.size()) > size) {
        result = -EOVERFLOW;
      } else {
        if (!reply.empty())
          std::memcpy(bytes, reply.data(), reply.size());
        result = static_cast<int>(reply.size());
      }
    }
  }
  Trace(s, 0, d, result, reply.data(), result > 0 ? result : 0, timeout, afterWrite);
  return result;
}

// ---- control interface ----------------------------------------------------

#define LOCKED Sim &s = S(); std::lock_guard<std::mutex> l(s.m)

EXPORT void sim_reset(void) {
  LOCKED;
  // Records stay allocated (callers may hold pointers into them); they just
  // leave the bus for good.
  for (auto &d : s.devices) {
    d->plugged = false;
    ++d->generation;
  }
  static std::vector<std::unique_ptr<Device>> graveyard;
  for (auto &d : s.devices)
    graveyard.push_back(std::move(d));
  s.devices.clear();
  s.bus.devices = nullptr;
  s.trace.clear();
  s.calls.clear();
  s.callCounts.clear();
  s.failAt.clear();
  s.transfers = 0;
  s.writeFailures = s.readFailures = 0;
  s.delayUs = s.configuredDelayUs;
  s.traceLimit = MaxTrace;
  s.trafficMs = 0;
  s.busBitRate = 0;
  s.busLoad = 0;
  s.rxDepth = SimAdapterModel::DefaultRxDepth;
  s.inFlight.clear();
  s.closedUnderTransfer = 0;
}

EXPORT void sim_add_adapter(const char *serial) { LOCKED; AddDevice(s, 0x20A0, 0x41E8, serial); }
EXPORT void sim_add_device(uint16_t vendor, uint16_t product, const char *serial) { LOCKED; AddDevice(s, vendor, product, serial); }

EXPORT void sim_unplug(const char *serial) {
  LOCKED;
  if (Device *d = Find(s, serial)) {
    d->plugged = false;
    ++d->generation;
    d->model->Reset();
  }
}
EXPORT void sim_replug(const char *serial) { LOCKED; if (Device *d = Find(s, serial)) d->plugged = true; }
EXPORT void sim_set_open_refused(const char *serial, int refused) { LOCKED; if (Device *d = Find(s, serial)) d->openRefused = refused != 0; }
EXPORT void sim_set_handshake_status(const char *serial, int status) { LOCKED; if (Device *d = Find(s, serial)) d->model->handshakeStatus = status; }
EXPORT void sim_set_transmit_status(const char *serial, int status) { LOCKED; if (Device *d = Find(s, serial)) d->model->transmitStatus = status; }
EXPORT void sim_set_filter_status(const char *serial, int status) { LOCKED; if (Device *d = Find(s, serial)) d->model->filterStatus = status; }
EXPORT void sim_set_info(const char *serial, uint8_t revision, uint16_t firmware) {
  LOCKED;
  if (Device *d = Find(s, serial)) {
    d->model->revision = revision;
    d->model->firmware = firmware;
    d->model->rawInfo.reset();
  }
}
EXPORT void sim_set_info_raw(const char *serial, const uint8_t record[64]) {
  LOCKED;
  if (Device *d = Find(s, serial)) {
    std::array<uint8_t, 64> r;
    std::memcpy(r.data(), record, 64);
    d->model->rawInfo = r;
  }
}
EXPORT void sim_set_flood(const char *serial, int on) { LOCKED; if (Device *d = Find(s, serial)) d->model->flood = on != 0; }
EXPORT void sim_set_traffic(int period_ms) {
  LOCKED;
  s.trafficMs = period_ms;
  for (auto &d : s.devices)
    d->model->trafficPeriodMs = period_ms;
}

EXPORT void sim_set_demo_traffic(int on) {
  LOCKED;
  for (auto &d : s.devices)
    d->model->demoTraffic = on != 0;
}
EXPORT void sim_set_bus_load(int bit_rate, double load_percent) {
  LOCKED;
  s.busBitRate = bit_rate;
  s.busLoad = load_percent;
  for (auto &d : s.devices)
    d->model->SetBusSource(bit_rate, load_percent, NowUs(s));
}
EXPORT void sim_set_rx_queue_depth(const char *serial, int depth) {
  LOCKED;
  if (Device *d = Find(s, serial))
    d->model->rxDepth = static_cast<size_t>(std::max(depth, 1));
}

EXPORT void sim_inject_frame(const char *serial, const uint8_t record[20]) {
  LOCKED;
  SimFrame f;
  std::memcpy(f.bytes, record, 20);
  for (auto &d : s.devices)
    if (d->plugged && (!serial || d->model->serial() == serial))
      d->model->HearFrame(f);
}

EXPORT void sim_fail_transfer(int n, int code) {
  LOCKED;
  if (n <= 0)
    s.failAt.clear();
  else
    s.failAt[s.transfers + n] = code;
}
EXPORT void sim_set_write_failures(int count, int code) { LOCKED; s.writeFailures = count; s.writeFailCode = code; }
EXPORT void sim_set_read_failures(int count, int code) { LOCKED; s.readFailures = count; s.readFailCode = code; }
EXPORT void sim_set_next_reply(const uint8_t *bytes, int length) {
  LOCKED;
  for (auto &d : s.devices)
    d->model->ReplaceNextReply(std::vector<uint8_t>(bytes, bytes + std::max(length, 0)));
}
EXPORT void sim_leave_unread_reply(const char *serial, const uint8_t *bytes, int length) {
  LOCKED;
  if (Device *d = Find(s, serial))
    d->model->LeaveUnreadReply(std::vector<uint8_t>(bytes, bytes + std::max(length, 0)));
}
EXPORT void sim_set_transfer_delay_us(int us) { LOCKED; s.delayUs = us; }
EXPORT int sim_transfer_delay_us(void) { LOCKED; return s.delayUs; }
EXPORT void sim_set_reply_latency_us(const char *serial, uint16_t command, int us) {
  LOCKED;
  if (Device *d = Find(s, serial))
    d->replyLatencyUs[command] = us;
}

EXPORT int sim_trace_count(void) { LOCKED; return static_cast<int>(s.trace.size()); }
EXPORT int sim_trace_entry(int index, SimTraceEntry *entry) {
  LOCKED;
  if (index < 0 || index >= static_cast<int>(s.trace.size()) || !entry)
    return 0;
  *entry = s.trace[index];
  return 1;
}
EXPORT void sim_trace_clear(void) { LOCKED; s.trace.clear(); }
EXPORT void sim_set_trace_limit(int entries) {
  LOCKED;
  s.traceLimit = static_cast<size_t>(std::clamp<long>(entries, 0, static_cast<long>(MaxTrace)));
  while (s.trace.size() > s.traceLimit)
    s.trace.pop_front();
}

EXPORT int sim_call_log(char *buffer, int size) {
  LOCKED;
  std::string all;
  for (const auto &c : s.calls) {
    if (!all.empty())
      all += ' ';
    all += c;
  }
  if (buffer && size > 0) {
    size_t n = std::min(all.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, all.data(), n);
    buffer[n] = 0;
  }
  return static_cast<int>(all.size());
}
EXPORT void sim_call_log_clear(void) { LOCKED; s.calls.clear(); s.callCounts.clear(); }
EXPORT int sim_call_count(const char *name) { LOCKED; auto it = s.callCounts.find(name ? name : ""); return it == s.callCounts.end() ? 0 : it->second; }

EXPORT long sim_frames_transmitted(const char *serial) { LOCKED; Device *d = Find(s, serial); return d ? d->model->transmitted : -1; }
EXPORT long sim_rx_backlog(const char *serial) { LOCKED; Device *d = Find(s, serial); return d ? static_cast<long>(d->model->backlog()) : -1; }
EXPORT long sim_frames_delivered(const char *serial) { LOCKED; Device *d = Find(s, serial); return d ? d->model->delivered : -1; }
EXPORT long sim_rx_dropped(const char *serial) { LOCKED; Device *d = Find(s, serial); return d ? d->model->rxDropped : -1; }
EXPORT long sim_bus_offered(const char *serial) { LOCKED; Device *d = Find(s, serial); return d ? d->model->busOffered : -1; }
EXPORT int sim_open_handles(void) { LOCKED; return static_cast<int>(s.handles.size()); }
EXPORT long sim_transfers_entered(void) { return Entered.load(); }
EXPORT int sim_closed_under_transfer(void) { LOCKED; return s.closedUnderTransfer; }

// At process end, what each adapter saw, for tests that run the whole program.
__attribute__((destructor)) static void WriteReport() {
  const char *path = getenv("MOLVAR_SIM_REPORT");
  if (!path)
    return;
  Sim &s = S();
  std::lock_guard<std::mutex> l(s.m);
  FILE *f = fopen(path, "w");
  if (!f)
    return;
  for (auto &d : s.devices)
    fprintf(f, "adapter %s delivered %ld transmitted %ld started %d dropped %ld offered %ld\n",
            d->model->serial().c_str(), d->model->delivered, d->model->transmitted, d->model->started() ? 1 : 0,
            d->model->rxDropped, d->model->busOffered);
  // Every request but the receive polls, which would drown the rest.
  int requests = 0;
  for (const auto &e : s.trace)
    if (e.out && e.result > 0 && e.length >= 2 && !(e.bytes[0] == 0x00 && e.bytes[1] == 0x05)) {
      fprintf(f, "request");
      for (int i = 0; i < e.length && i < 4; ++i)
        fprintf(f, " %02X", e.bytes[i]);
      fprintf(f, "\n");
      if (++requests > 10000)
        break;
    }
  fprintf(f, "open handles %zu\n", s.handles.size());
  fclose(f);
}
