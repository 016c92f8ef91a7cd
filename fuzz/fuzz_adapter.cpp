// SPDX-License-Identifier: GPL-3.0-or-later
// The adapter layer fed arbitrary replies: each input is a series of replies
// (a length byte, then that many bytes), handed one by one to the handshake,
// the information request, receive polls, transmits and filter banks of the
// simulated adapter; what comes back is formatted as the windows would.

#include "adapter/Vni_if.h"
#include "dialogs/UnitDeviceInformation.h"
#include "can/FrameText.h"
#include "simcontrol.h"
#include "transport/Libusbdyn.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  libusbdyn::ResetForTest({"libusb-0.1.so.4"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  sim_reset();
  sim_add_adapter("FUZZ");
  size_t pos = 0;
  auto nextReply = [&] {
    if (pos >= size)
      return;
    const size_t n = data[pos++];
    const size_t take = std::min(n, size - pos);
    sim_set_next_reply(data + pos, static_cast<int>(take));
    pos += take;
  };
  TVNI vni;
  nextReply();
  if (!vni.Open("FUZZ"))
    return 0;
  TDeviceInfo info{};
  nextReply();
  if (vni.ReadDeviceInfo(&info)) {
    const std::string serial = DeviceInfoSerial(info);
    if (serial.size() > sizeof info.SerialNo)
      abort();
    FirmwareText(info.Firmware);
    RevisionText(info.Revision);
  }
  vni.Start(true, true);
  for (int round = 0; pos < size && round < 64; ++round) {
    nextReply();
    switch (round % 3) {
    case 0: {
      TCanMessage m;
      if (vni.ReceiveFrame(&m)) {
        const QString line = MessageToLine("Rx", m);
        if (line.size() > 64)
          abort(); // never more than eight data bytes
      }
      break;
    }
    case 1: {
      TCanMessage m{};
      vni.TransmitFrame(&m);
      break;
    }
    default: {
      TFilterBank f{};
      vni.WriteFilter(&f);
      break;
    }
    }
  }
  vni.Close();
  if (sim_open_handles() != 0)
    abort();
  return 0;
}
