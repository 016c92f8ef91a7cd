// SPDX-License-Identifier: GPL-3.0-or-later
// Runs in the rig's virtual machine against Debian's real libusb-0.1 and the
// adapter gadget: lists, connects, exchanges frames with vcan0 (can-utils),
// checks a filter, a read time-out and the removal of the device. Prints a
// line per check; exits non-zero on the first failure.

#include "adapter/Vni_if.h"
#include "transport/Libusbdyn.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

int Failures = 0;
void Check(bool ok, const std::string &what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok)
    ++Failures;
}

std::string Slurp(const char *path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// A frame arrives through polls; the emulated machine is slow, so poll for a while.
bool ReceiveWithin(TVNI &vni, TCanMessage &m, int polls) {
  for (int i = 0; i < polls; ++i) {
    if (vni.ReceiveFrame(&m))
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

} // namespace

int main(int argc, char **argv) {
  TVNI vni;
  std::vector<std::string> serials;
  for (int i = 0; i < 100 && vni.ListSerialNumbers(&serials) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (argc > 1 && std::strcmp(argv[1], "--die-after-a-request") == 0) {
    // A client killed between a request and its reply: the adapter is left
    // holding the reply, and the next client must connect all the same.
    if (!vni.TUSBDevice::Open("RIG0001"))
      return 1;
    TCanMessage frame{};
    frame.Command = vnicmd::Transmit;
    frame.ID = 0x7AB;
    const bool sent = vni.BulkWrite(&frame, sizeof frame, 100) == static_cast<int>(sizeof frame);
    std::printf("%s a request left without reading its reply\n", sent ? "ok  " : "FAIL");
    std::fflush(stdout);
    std::_Exit(sent ? 0 : 1);
  }
  Check(serials == std::vector<std::string>{"RIG0001"}, "listing finds the adapter by its serial number");
  Check(vni.Open("RIG0001"), "open and handshake, on the first try");
  if (!vni.IsOpen())
    return 1;
  TDeviceInfo info{};
  // The handshake's own reply is not left behind to answer this request.
  bool gotInfo = vni.ReadDeviceInfo(&info) && info.Command == 0x0200;
  Check(gotInfo, "the first information request is answered with the record");
  for (int i = 0; i < 4 && !gotInfo; ++i)
    gotInfo = vni.ReadDeviceInfo(&info) && info.Command == 0x0200;
  Check(gotInfo && DeviceInfoSerial(info) == "RIG0001", "device information record");
  TDeviceConfig config{};
  config.Speed = 6;
  config.Termination = 1;
  Check(vni.WriteConfig(&config), "configuration");
  TFilterTable filters = DefaultFilterTable();
  filters[0].ID = 0x100; // identifier and mask: accept 0x100 to 0x1FF only
  filters[0].Mask = 0x700;
  int accepted = 0;
  for (auto &f : filters)
    accepted += vni.WriteFilter(&f);
  Check(accepted == 14, "fourteen filter banks accepted");
  Check(vni.Start(true, true), "start");
  {
    // What the gadget recorded, receive polls left out, in order.
    std::vector<std::string> seen;
    // From this client's first handshake: the transmit request of the
    // client that died before it comes first.
    std::istringstream in(Slurp("/tmp/gadget.trace"));
    for (std::string line; std::getline(in, line);)
      if (line != "00 05 00 00" && (!seen.empty() || line == "01 01 00 00"))
        seen.push_back(line);
    std::vector<std::string> want{"01 01 00 00", "00 02 00 00", "01 04 06 01 00 00 00 00"};
    for (int bank = 0; bank < 14; ++bank) {
      char b[64];
      std::snprintf(b, sizeof b, "11 05 00 00 00 %02X %02X 00 %s", bank, bank == 0 ? 1 : 0,
                    bank == 0 ? "00 01 00 00 00 07 00 00" : "00 00 00 00 00 00 00 00");
      want.push_back(b);
    }
    want.push_back("01 03 03 00");
    // A slow machine may make the program ask for the information record again.
    std::vector<std::string> unique;
    for (const auto &l : seen)
      if (unique.empty() || unique.back() != l)
        unique.push_back(l);
    Check(unique == want, "the gadget recorded handshake, information request, configuration, banks 0 to 13 "
                          "and start, in this order (" + std::to_string(seen.size()) + " requests)");
  }

  std::system("cansend vcan0 123#1122");
  TCanMessage m{};
  const bool got = ReceiveWithin(vni, m, 200);
  Check(got && m.ID == 0x123 && m.DLC == 2 && m.Data[0] == 0x11 && m.Data[1] == 0x22 && m.IDType == 0,
        "a frame from cansend arrives by polling");
  std::system("cansend vcan0 456#33");
  Check(!ReceiveWithin(vni, m, 60), "the filter rejects identifier 0x456");

  std::system("(timeout 5 candump -n 1 -L vcan0 > /tmp/candump.txt &) ; sleep 0.5");
  TCanMessage tx{};
  tx.ID = 0x1ABCDEF;
  tx.IDType = 4;
  tx.DLC = 3;
  tx.Data[0] = 0xDE;
  tx.Data[1] = 0xAD;
  tx.Data[2] = 0xBE;
  bool sent = false;
  for (int i = 0; i < 5 && !sent; ++i)
    sent = vni.TransmitFrame(&tx);
  Check(sent, "transmit accepted (status 1)");
  for (int i = 0; i < 50 && Slurp("/tmp/candump.txt").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const std::string dump = Slurp("/tmp/candump.txt");
  Check(dump.find("vcan0 01ABCDEF#DEADBE") != std::string::npos, "candump sees the frame byte for byte: " + dump);

  char buf[4];
  const int timeout = vni.BulkRead(buf, 4, 10); // no request: nothing to answer
  Check(timeout == -110, "a read without an answer times out with -110 (got " + std::to_string(timeout) + ")");

  std::system("pkill -f adapter_gadget; sleep 1");
  Check(vni.CheckRemoved() && !vni.IsOpen(), "the adapter is gone: presence check closes it");
  return Failures ? 1 : 0;
}
