// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The adapter object and every record exchanged with the adapter.

#include "../transport/Usbdevice_libdyn.h"

#include <array>
#include <bit>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the records are laid out as the adapter's little-endian wire format");

// Byte-packed as on the wire; every multi-byte field already sits on its
// natural boundary within the record, so the records are 4-byte aligned and
// their fields can be read in place.
#pragma pack(push, 1)

// Request of the commands that carry no record of their own.
struct alignas(4) TCommandRecord {
  uint16_t Command;
  uint16_t Parameter;
};
static_assert(sizeof(TCommandRecord) == 4);

// Reply to the handshake, a transmitted frame and a filter bank record.
struct alignas(4) TReplyRecord {
  uint16_t Command; // not examined
  uint16_t Status;
};
static_assert(sizeof(TReplyRecord) == 4);

// One CAN frame, as sent, received, queued, listed and stored.
struct alignas(4) TCanMessage {
  uint16_t Command;
  uint8_t IDType; // 0 standard, 4 extended; 8 in a poll reply: no frame
  uint8_t RTR;    // 0 data, 2 remote request
  uint8_t Reserved1;
  uint8_t DLC;
  uint8_t Reserved2[2];
  uint32_t ID;
  uint8_t Data[8];
};
static_assert(sizeof(TCanMessage) == 20 && alignof(TCanMessage) == 4);

struct alignas(4) TDeviceConfig {
  uint16_t Command;
  uint8_t Speed; // bit-rate index 0 (10 kbit/s) to 7 (1 Mbit/s)
  uint8_t Termination;
  uint8_t Retransmission;
  uint8_t LoopbackMode;
  uint8_t Reserved[2];
};
static_assert(sizeof(TDeviceConfig) == 8);

struct alignas(4) TFilterBank {
  uint16_t Command;
  uint8_t Reserved[2];
  uint8_t IDType; // 0 standard, 4 extended identifiers
  uint8_t Bank;   // 0 to 13
  uint8_t Active;
  uint8_t Mode; // 0 identifier and mask, 1 two identifiers
  uint32_t ID;
  uint32_t Mask;
};
static_assert(sizeof(TFilterBank) == 16);

struct alignas(4) TDeviceInfo {
  uint16_t Command; // 0x0200 in a valid record
  uint8_t Reserved1;
  uint8_t Revision;
  uint16_t Firmware; // major in the high byte, minor in the low byte
  uint8_t Reserved2[2];
  char SerialNo[56]; // ends at the first zero byte or at the end of the record
};
static_assert(sizeof(TDeviceInfo) == 64);

#pragma pack(pop)

// The bit rate of a configuration's Speed index in bit/s; 0 for an index the
// adapter does not have.
int BitRate(uint8_t speed);
constexpr int SpeedCount = 8;

constexpr int FilterBankCount = 14;
using TFilterTable = std::array<TFilterBank, FilterBankCount>;
static_assert(sizeof(TFilterTable) == 224);

// Command words of the adapter.
namespace vnicmd {
enum : uint16_t {
  // Bare command records (the command table).
  Handshake = 0x0101, CloseCmd = 0x0100, Start = 0x0301, DeviceInfo = 0x0200, Poll = 0x0500,
  // Written into the record they send.
  Config = 0x0401, Transmit = 0x0501, Filter = 0x0511,
  // Defined by the adapter, never sent.
  Reserved0300 = 0x0300, Reserved0400 = 0x0400, Reserved0521 = 0x0521, ReservedFF00 = 0xFF00,
};
constexpr uint8_t NoFrame = 8; // IDType of a poll reply without a frame
} // namespace vnicmd

// The bare command records, in table order.
extern const std::array<TCommandRecord, 9> CommandTable;

// The filter table a new set-up starts with: bank 0 active, the rest off.
TFilterTable DefaultFilterTable();

// The serial number text of a device information record, never read past it.
std::string DeviceInfoSerial(const TDeviceInfo &info);

class TVNI : public TUSBDevice {
public:
  static constexpr uint32_t VendorId = 0x20A0;
  static constexpr uint32_t ProductId = 0x41E8;

  TVNI();
  ~TVNI() override;

  bool Open(const std::string &serialNumber) override;
  void Close() override;

  bool ReadDeviceInfo(TDeviceInfo *info);
  bool WriteConfig(TDeviceConfig *config);
  bool WriteFilter(TFilterBank *filter);
  bool Start(bool switch0, bool switch1);
  bool TransmitFrame(TCanMessage *msg);
  bool ReceiveFrame(TCanMessage *msg);

private:
  enum class THandshake { Accepted, Refused, AnsweredBefore };
  THandshake Handshake();
  void DrainReplies();
  bool SendCommand(uint16_t command, uint16_t parameter, int timeout);
  bool ReadReply(uint16_t acceptStatus);
  bool WriteConfirmed(const void *record, int size, int timeout);
};
