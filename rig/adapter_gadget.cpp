// SPDX-License-Identifier: GPL-3.0-or-later
// Presents the adapter as a USB device through gadgetfs (on dummy_hcd in the
// rig's virtual machine) and bridges its CAN bus to a SocketCAN interface.
// The adapter side of the protocol is the simulated library's own model.
//   adapter_gadget SERIAL [CANIF [TRACEFILE]]
// With a trace file, every request the host sends is written to it as a line
// of hexadecimal bytes. With RIG_COUNTERS naming a file, the adapter's
// counters are written there four times a second: "delivered D dropped X
// queued Q" (frames answered to polls, lost at the full receive queue,
// waiting).

#include "adapter_model.h"

#include <linux/can.h>
#include <linux/usb/ch9.h>
#include <linux/usb/gadgetfs.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex Lock;
SimAdapterModel *Model;
int CanSocket = -1;
std::atomic<bool> IoStarted{false};
std::string Serial;
FILE *TraceFile = nullptr;

#pragma pack(push, 1)
// An endpoint descriptor as on the wire (7 bytes, no audio fields).
struct EndpointDescriptor {
  uint8_t bLength, bDescriptorType, bEndpointAddress, bmAttributes;
  uint16_t wMaxPacketSize;
  uint8_t bInterval;
};
static_assert(sizeof(EndpointDescriptor) == USB_DT_ENDPOINT_SIZE);
struct ConfigBlock {
  usb_config_descriptor config;
  usb_interface_descriptor intf;
  EndpointDescriptor out, in;
};
#pragma pack(pop)

EndpointDescriptor Endpoint(uint8_t address, uint16_t packet) {
  return {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, address, USB_ENDPOINT_XFER_BULK, packet, 0};
}

void OutLoop(int out, int in) {
  std::vector<uint8_t> buf(512);
  for (;;) {
    const ssize_t n = read(out, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    std::optional<std::vector<uint8_t>> reply;
    {
      std::lock_guard<std::mutex> l(Lock);
      if (TraceFile) {
        for (ssize_t i = 0; i < n; ++i)
          std::fprintf(TraceFile, i ? " %02X" : "%02X", buf[i]);
        std::fprintf(TraceFile, "\n");
        std::fflush(TraceFile);
      }
      Model->Tick(0);
      Model->Request(buf.data(), static_cast<int>(n));
      reply = Model->TakeReply();
    }
    if (reply && write(in, reply->data(), reply->size()) < 0)
      return;
  }
}

int OpenEndpoint(const char *name, uint8_t address) {
  const std::string path = std::string("/dev/gadget/") + name;
  const int fd = open(path.c_str(), O_RDWR);
  if (fd < 0)
    return -1;
  uint8_t cfg[4 + 2 * USB_DT_ENDPOINT_SIZE];
  const uint32_t tag = 1;
  const auto fs = Endpoint(address, 64), hs = Endpoint(address, 512);
  std::memcpy(cfg, &tag, 4);
  std::memcpy(cfg + 4, &fs, USB_DT_ENDPOINT_SIZE);
  std::memcpy(cfg + 4 + USB_DT_ENDPOINT_SIZE, &hs, USB_DT_ENDPOINT_SIZE);
  if (write(fd, cfg, sizeof cfg) < 0) {
    perror(path.c_str());
    close(fd);
    return -1;
  }
  return fd;
}

void StartIo() {
  if (IoStarted.exchange(true))
    return;
  std::thread([] {
    const int out = OpenEndpoint("ep1out-bulk", USB_DIR_OUT | 1);
    const int in = OpenEndpoint("ep2in-bulk", USB_DIR_IN | 2);
    if (out < 0 || in < 0) {
      std::fprintf(stderr, "gadget: cannot open the bulk endpoints\n");
      return;
    }
    OutLoop(out, in);
  }).detach();
}

void StringDescriptor(int ep0, uint8_t index, uint16_t length) {
  uint8_t d[256] = {};
  if (index == 0) {
    d[0] = 4;
    d[2] = 0x09;
    d[3] = 0x04; // English (United States)
  } else {
    const std::string s = index == 1 ? "Molvar rig" : index == 2 ? "USB-CAN adapter" : Serial;
    d[0] = static_cast<uint8_t>(2 + 2 * std::min<size_t>(s.size(), 126));
    for (size_t i = 0; i < s.size() && i < 126; ++i)
      d[2 + 2 * i] = static_cast<uint8_t>(s[i]);
  }
  d[1] = USB_DT_STRING;
  if (write(ep0, d, std::min<int>(d[0], length)) < 0)
    perror("gadget: string descriptor");
}

void CanLoop() {
  can_frame cf;
  while (read(CanSocket, &cf, sizeof cf) == sizeof cf) {
    SimFrame f{};
    f.bytes[0] = 0x01;
    f.bytes[1] = 0x05;
    f.bytes[2] = (cf.can_id & CAN_EFF_FLAG) ? 4 : 0;
    f.bytes[3] = (cf.can_id & CAN_RTR_FLAG) ? 2 : 0;
    f.bytes[5] = cf.can_dlc;
    const uint32_t id = cf.can_id & ((cf.can_id & CAN_EFF_FLAG) ? CAN_EFF_MASK : CAN_SFF_MASK);
    std::memcpy(f.bytes + 8, &id, 4);
    std::memcpy(f.bytes + 12, cf.data, 8);
    std::lock_guard<std::mutex> l(Lock);
    Model->HearFrame(f);
  }
}

void OpenCan(const char *ifname) {
  CanSocket = socket(PF_CAN, SOCK_RAW, CAN_RAW);
  if (CanSocket < 0)
    return;
  ifreq ifr{};
  std::strncpy(ifr.ifr_name, ifname, IFNAMSIZ - 1);
  sockaddr_can addr{};
  addr.can_family = AF_CAN;
  if (ioctl(CanSocket, SIOCGIFINDEX, &ifr) < 0 ||
      (addr.can_ifindex = ifr.ifr_ifindex, bind(CanSocket, reinterpret_cast<sockaddr *>(&addr), sizeof addr) < 0)) {
    close(CanSocket);
    CanSocket = -1;
    return;
  }
  Model->onTransmit = [](const SimFrame &f) {
    can_frame cf{};
    uint32_t id;
    std::memcpy(&id, f.bytes + 8, 4);
    cf.can_id = f.bytes[2] ? ((id & CAN_EFF_MASK) | CAN_EFF_FLAG) : (id & CAN_SFF_MASK);
    if (f.bytes[3])
      cf.can_id |= CAN_RTR_FLAG;
    cf.can_dlc = std::min<uint8_t>(f.bytes[5], 8);
    std::memcpy(cf.data, f.bytes + 12, 8);
    if (write(CanSocket, &cf, sizeof cf) < 0)
      perror("gadget: can write");
  };
  std::thread(CanLoop).detach();
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: adapter_gadget SERIAL [CANIF]\n");
    return 2;
  }
  Serial = argv[1];
  Model = new SimAdapterModel(Serial);
  if (argc > 2)
    OpenCan(argv[2]);
  if (argc > 3)
    TraceFile = std::fopen(argv[3], "w");
  if (const char *counters = std::getenv("RIG_COUNTERS")) {
    const std::string path = counters;
    std::thread([path] {
      for (;;) {
        long delivered, dropped, queued;
        {
          std::lock_guard<std::mutex> l(Lock);
          delivered = Model->delivered;
          dropped = Model->rxDropped;
          queued = static_cast<long>(Model->backlog());
        }
        const std::string tmp = path + ".new";
        if (FILE *f = std::fopen(tmp.c_str(), "w")) {
          std::fprintf(f, "delivered %ld dropped %ld queued %ld\n", delivered, dropped, queued);
          std::fclose(f);
          std::rename(tmp.c_str(), path.c_str());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
      }
    }).detach();
  }

  const int ep0 = open("/dev/gadget/dummy_udc", O_RDWR);
  if (ep0 < 0) {
    perror("gadget: /dev/gadget/dummy_udc");
    return 1;
  }
  ConfigBlock cfg{};
  cfg.config = {USB_DT_CONFIG_SIZE, USB_DT_CONFIG, sizeof cfg, 1, 1, 0, USB_CONFIG_ATT_ONE | USB_CONFIG_ATT_SELFPOWER, 50};
  cfg.intf = {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 2, USB_CLASS_VENDOR_SPEC, 0, 0, 0};
  cfg.out = Endpoint(USB_DIR_OUT | 1, 64);
  cfg.in = Endpoint(USB_DIR_IN | 2, 64);
  usb_device_descriptor dev{USB_DT_DEVICE_SIZE, USB_DT_DEVICE, 0x0200, USB_CLASS_VENDOR_SPEC, 0, 0, 64,
                            0x20A0, 0x41E8, 0x0100, 1, 2, 3, 1};
  // Only a full-speed configuration: the replies fit 64-byte packets.
  std::vector<uint8_t> block(4 + sizeof cfg + sizeof dev, 0);
  std::memcpy(block.data() + 4, &cfg, sizeof cfg);
  std::memcpy(block.data() + 4 + sizeof cfg, &dev, sizeof dev);
  if (write(ep0, block.data(), block.size()) < 0) {
    perror("gadget: device configuration");
    return 1;
  }
  std::fprintf(stderr, "gadget: adapter %s presented\n", Serial.c_str());
  usb_gadgetfs_event events[5];
  for (;;) {
    const ssize_t n = read(ep0, events, sizeof events);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN)
        continue;
      perror("gadget: ep0");
      return 1;
    }
    for (size_t i = 0; i < n / sizeof events[0]; ++i) {
      const usb_gadgetfs_event &e = events[i];
      if (e.type != GADGETFS_SETUP)
        continue;
      const usb_ctrlrequest &s = e.u.setup;
      uint8_t dummy = 0;
      if (s.bRequest == USB_REQ_GET_DESCRIPTOR && (s.wValue >> 8) == USB_DT_STRING) {
        StringDescriptor(ep0, s.wValue & 0xFF, s.wLength);
      } else if (s.bRequest == USB_REQ_SET_CONFIGURATION && (s.bRequestType & USB_DIR_IN) == 0) {
        if (s.wValue == 1)
          StartIo();
        if (read(ep0, &dummy, 0) < 0) // acknowledge, every time
          perror("gadget: set configuration");
      } else if (s.bRequest == USB_REQ_SET_INTERFACE && (s.bRequestType & USB_DIR_IN) == 0) {
        if (read(ep0, &dummy, 0) < 0)
          perror("gadget: set interface");
      } else if (s.bRequestType & USB_DIR_IN) {
        if (read(ep0, &dummy, 0) < 0) { // stall
        }
      } else if (write(ep0, &dummy, 0) < 0) { // stall
      }
    }
  }
}
