// SPDX-License-Identifier: GPL-3.0-or-later
// The adapter's command set: each operation's requests, replies, time-outs and
// success rule.
#include "Vni_if.h"

#include <cstring>
#include <thread>

namespace {
constexpr int RequestTimeout = 10;
constexpr int FilterTimeout = 100;
constexpr int ReplyTimeout = 100;
constexpr int HandshakeReplyTimeout = 10;

void Pause1ms() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
} // namespace

const std::array<TCommandRecord, 9> CommandTable = {{
    {vnicmd::Handshake, 0},
    {vnicmd::CloseCmd, 0},
    {vnicmd::Reserved0300, 0},
    {vnicmd::Start, 0},
    {vnicmd::DeviceInfo, 0},
    {vnicmd::Reserved0400, 0},
    {vnicmd::Poll, 0},
    {vnicmd::Reserved0521, 0},
    {vnicmd::ReservedFF00, 0},
}};

int BitRate(uint8_t speed) {
  static constexpr int Rates[SpeedCount] = {10000, 20000, 50000, 100000, 125000, 250000, 500000, 1000000};
  return speed < SpeedCount ? Rates[speed] : 0;
}

TFilterTable DefaultFilterTable() {
  TFilterTable table{};
  for (int i = 0; i < FilterBankCount; ++i) {
    table[i].Bank = static_cast<uint8_t>(i);
    table[i].Active = (i == 0) ? 1 : 0;
  }
  return table;
}

std::string DeviceInfoSerial(const TDeviceInfo &info) {
  const char *p = info.SerialNo;
  return std::string(p, strnlen(p, sizeof info.SerialNo));
}

TVNI::TVNI() { SetIds(VendorId, ProductId); }

TVNI::~TVNI() { Close(); }

// Writes the table's command record for the command word, with the given
// parameter; true when all four bytes went out.
bool TVNI::SendCommand(uint16_t command, uint16_t parameter, int timeout) {
  TCommandRecord rec{command, 0};
  for (const TCommandRecord &c : CommandTable)
    if (c.Command == command)
      rec = c;
  rec.Parameter |= parameter;
  return BulkWrite(&rec, sizeof rec, timeout) == static_cast<int>(sizeof rec);
}

bool TVNI::ReadReply(uint16_t acceptStatus) {
  TReplyRecord reply{};
  return BulkRead(&reply, sizeof reply, ReplyTimeout) == static_cast<int>(sizeof reply) &&
         reply.Status == acceptStatus;
}

// One handshake exchange. A client that died between a request and its
// reply leaves that reply in the adapter: the next handshake then reads it
// (a transmit or filter reply, by its command word), or finds the adapter
// taking no request until it is read (the write times out).
TVNI::THandshake TVNI::Handshake() {
  TCommandRecord rec = CommandTable[0];
  const int written = BulkWrite(&rec, sizeof rec, RequestTimeout);
  if (written != static_cast<int>(sizeof rec))
    return written == TimeoutError ? THandshake::AnsweredBefore : THandshake::Refused;
  Pause1ms();
  const int n = BulkRead(&rec, sizeof rec, HandshakeReplyTimeout);
  // Only a complete reply with status 0 is a refusal; no reply is consent.
  if (n != static_cast<int>(sizeof rec))
    return THandshake::Accepted;
  if (rec.Command == vnicmd::Transmit || rec.Command == vnicmd::Filter)
    return THandshake::AnsweredBefore;
  return rec.Parameter == 0 ? THandshake::Refused : THandshake::Accepted;
}

// Reads what the adapter holds until it has nothing more (bounded: an
// adapter that answers every read cannot keep the connection waiting).
void TVNI::DrainReplies() {
  uint8_t buffer[64];
  for (int i = 0; i < 8 && BulkRead(buffer, sizeof buffer, HandshakeReplyTimeout) > 0; ++i) {
  }
}

bool TVNI::Open(const std::string &serialNumber) {
  if (!TUSBDevice::Open(serialNumber))
    return false;
  THandshake result = Handshake();
  if (result == THandshake::AnsweredBefore) {
    DrainReplies();
    result = Handshake();
  }
  if (result == THandshake::Accepted)
    return true;
  CloseDevice();
  return false;
}

void TVNI::Close() {
  if (!IsOpen())
    return;
  SendCommand(vnicmd::CloseCmd, 0, RequestTimeout);
  CloseDevice();
}

bool TVNI::Start(bool switch0, bool switch1) {
  uint16_t param = (switch0 ? 1 : 0) | (switch1 ? 2 : 0);
  if (!IsOpen())
    return false;
  return SendCommand(vnicmd::Start, param, RequestTimeout);
}

bool TVNI::ReadDeviceInfo(TDeviceInfo *info) {
  if (!IsOpen() || !info)
    return false;
  TCommandRecord rec = CommandTable[4];
  if (BulkWrite(&rec, sizeof rec, RequestTimeout) == 0)
    return false;
  Pause1ms();
  return BulkRead(info, sizeof *info, ReplyTimeout) == static_cast<int>(sizeof *info);
}

bool TVNI::WriteConfig(TDeviceConfig *config) {
  config->Command = vnicmd::Config;
  if (!IsOpen())
    return false;
  return BulkWrite(config, sizeof *config, RequestTimeout) == static_cast<int>(sizeof *config);
}

bool TVNI::ReceiveFrame(TCanMessage *msg) {
  if (!IsOpen())
    return false;
  TCommandRecord rec = CommandTable[6];
  if (BulkWrite(&rec, sizeof rec, RequestTimeout) == 0)
    return false;
  return BulkRead(msg, sizeof *msg, ReplyTimeout) == static_cast<int>(sizeof *msg) &&
         msg->IDType != vnicmd::NoFrame;
}

// Writes a whole record and reads the adapter's verdict on it.
bool TVNI::WriteConfirmed(const void *record, int size, int timeout) {
  if (!IsOpen())
    return false;
  if (BulkWrite(record, size, timeout) != size)
    return false;
  return ReadReply(1);
}

bool TVNI::TransmitFrame(TCanMessage *msg) {
  msg->Command = vnicmd::Transmit;
  return WriteConfirmed(msg, sizeof *msg, RequestTimeout);
}

bool TVNI::WriteFilter(TFilterBank *filter) {
  filter->Command = vnicmd::Filter;
  return WriteConfirmed(filter, sizeof *filter, FilterTimeout);
}
