// SPDX-License-Identifier: GPL-3.0-or-later
#include "adapter_model.h"

#include "can/FrameBits.h"

#include <cmath>
#include <cstring>

namespace {
uint16_t Word(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Long(const uint8_t *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
std::vector<uint8_t> Status(uint16_t cmd, int status) {
  return {static_cast<uint8_t>(cmd & 0xFF), static_cast<uint8_t>(cmd >> 8),
          static_cast<uint8_t>(status & 0xFF), static_cast<uint8_t>((status >> 8) & 0xFF)};
}
// The n-th frame of the simulated traffic: eight identifiers of standard
// frames and sixteen extended ones, eight data bytes that count.
SimFrame TrafficFrame(uint32_t n) {
  SimFrame f{};
  const uint32_t id = (n % 3 == 2) ? 0x18DAF100u + (n % 16) : 0x100u + (n % 8);
  f.bytes[0] = 0x01;
  f.bytes[1] = 0x05;
  f.bytes[2] = (n % 3 == 2) ? 4 : 0;
  f.bytes[5] = 8;
  std::memcpy(f.bytes + 8, &id, 4);
  for (int i = 0; i < 4; ++i)
    f.bytes[12 + i] = static_cast<uint8_t>(n >> (8 * (3 - i)));
  f.bytes[16] = 0xCA;
  f.bytes[17] = 0xFE;
  f.bytes[18] = static_cast<uint8_t>(n);
  f.bytes[19] = static_cast<uint8_t>(n * 7);
  return f;
}

// The demo's messages: identifier, extended, length, period in microseconds.
struct DemoMessage {
  uint32_t id;
  bool extended;
  uint8_t length;
  int64_t periodUs;
};
constexpr DemoMessage DemoMessages[] = {
    {0x0C8, false, 8, 10000},       // engine: speed, torque, a rolling counter
    {0x1A0, false, 8, 20000},       // wheel speeds, Motorola order
    {0x2F0, false, 4, 100000},      // gear and selector, a value table
    {0x3E8, false, 8, 500000},      // multiplexed temperatures
    {0x18FEF100, true, 8, 100000},  // vehicle speed and odometer
    {0x7E8, false, 8, 1000000},     // a diagnostic answer
};
constexpr int DemoCount = sizeof DemoMessages / sizeof DemoMessages[0];

void Put16(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put16Motorola(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

// The n-th frame of demo message k: values that move slowly, as on a car.
SimFrame DemoFrame(int k, uint32_t n) {
  const DemoMessage &m = DemoMessages[k];
  SimFrame f{};
  f.bytes[0] = 0x01;
  f.bytes[1] = 0x05;
  f.bytes[2] = m.extended ? 4 : 0;
  f.bytes[5] = m.length;
  std::memcpy(f.bytes + 8, &m.id, 4);
  uint8_t *d = f.bytes + 12;
  const double t = n * (m.periodUs / 1e6); // seconds since the start
  const double wave = 0.5 - 0.5 * std::cos(t * 0.2); // 0..1 over about 30 s
  switch (k) {
  case 0: // speed 0.25 rpm/bit (with the ripple of gear changes), torque 0.5 Nm/bit offset -400, counter
    Put16(d, static_cast<uint32_t>((900 + 4800 * wave + 300 * std::sin(t * 2.1)) / 0.25));
    Put16(d + 2, static_cast<uint32_t>((40 + 260 * wave + 400) / 0.5));
    d[6] = static_cast<uint8_t>(n & 0x0F);
    d[7] = static_cast<uint8_t>(d[0] ^ d[1] ^ d[2] ^ d[3] ^ d[6]);
    break;
  case 1: // four wheel speeds, 0.01 km/h per bit, Motorola
    for (int w = 0; w < 4; ++w)
      Put16Motorola(d + 2 * w, static_cast<uint32_t>((120 * wave * wave + 0.3 * w) / 0.01));
    break;
  case 2: // gear 0..6 and the selector position (value table)
    d[0] = static_cast<uint8_t>(1 + static_cast<int>(wave * 5.99));
    d[1] = static_cast<uint8_t>(wave < 0.02 ? 0 : 3); // P or D
    break;
  case 3: { // multiplexer in byte 0: 0 coolant and oil, 1 intake and ambient
    const uint8_t mux = n & 1;
    d[0] = mux;
    // The coolant warms up over the first minutes and then holds.
    d[1] = static_cast<uint8_t>((mux ? 25 + 10 * wave : 90 - 70 * std::exp(-t / 40)) + 40);
    d[2] = static_cast<uint8_t>((mux ? 18 + 2 * wave : 70 + 40 * wave) + 40);
    break;
  }
  case 4: // vehicle speed 1/256 km/h, odometer 0.1 km
    Put16(d + 1, static_cast<uint32_t>(120 * wave * 256));
    Put16(d + 4, static_cast<uint32_t>(12345 + t / 30));
    break;
  default: // a diagnostic response: engine speed service answer
    d[0] = 0x04;
    d[1] = 0x41;
    d[2] = 0x0C;
    Put16Motorola(d + 3, static_cast<uint32_t>((800 + 5200 * wave) * 4));
    break;
  }
  return f;
}

} // namespace

void SimAdapterModel::Reset() {
  started_ = false;
  filtersWritten_ = false;
  std::memset(config_, 0, sizeof config_);
  filters_ = {};
  rxQueue_.clear();
  reply_.reset();
}

void SimAdapterModel::Request(const uint8_t *data, int length) {
  reply_.reset();
  if (length < 2)
    return;
  const uint16_t cmd = Word(data);
  switch (cmd) {
  case 0x0101: // handshake: a fresh session
    Reset();
    if (handshakeStatus >= 0)
      Reply(Status(cmd, handshakeStatus));
    break;
  case 0x0100: // close
    started_ = false;
    rxQueue_.clear();
    break;
  case 0x0200: { // device information
    std::vector<uint8_t> rec(64, 0);
    if (rawInfo) {
      std::memcpy(rec.data(), rawInfo->data(), 64);
    } else {
      rec[0] = 0x00;
      rec[1] = 0x02;
      rec[3] = revision;
      rec[4] = static_cast<uint8_t>(firmware & 0xFF);
      rec[5] = static_cast<uint8_t>(firmware >> 8);
      std::memcpy(rec.data() + 8, serial_.data(), std::min<size_t>(serial_.size(), 55));
    }
    Reply(std::move(rec));
    break;
  }
  case 0x0301: // start
    if (length >= 4)
      started_ = true;
    break;
  case 0x0401: // configuration
    if (length >= 8)
      std::memcpy(config_, data, 8);
    break;
  case 0x0500: { // receive poll
    if (flood && rxQueue_.empty() && started_)
      rxQueue_.push_back(NextTrafficFrame());
    std::vector<uint8_t> rec(20, 0);
    if (!rxQueue_.empty()) {
      std::memcpy(rec.data(), rxQueue_.front().bytes, 20);
      rxQueue_.pop_front();
      ++delivered;
    } else {
      rec[2] = 8; // no frame waiting
    }
    rec[0] = 0x00;
    rec[1] = 0x05;
    Reply(std::move(rec));
    break;
  }
  case 0x0501: { // transmit
    if (length < 20)
      break;
    Reply(Status(cmd, transmitStatus));
    if (transmitStatus == 1) {
      SimFrame f;
      std::memcpy(f.bytes, data, 20);
      ++transmitted;
      if (onTransmit)
        onTransmit(f);
      if (loopback())
        HearFrame(f);
    }
    break;
  }
  case 0x0511: { // one filter bank
    if (length < 16)
      break;
    const uint8_t bank = data[5];
    if (bank < filters_.size() && filterStatus == 1) {
      std::memcpy(filters_[bank].data(), data, 16);
      filtersWritten_ = true;
      Reply(Status(cmd, 1));
    } else {
      Reply(Status(cmd, filterStatus == 1 ? 0 : filterStatus));
    }
    break;
  }
  default: // reserved and unknown words: no reply
    break;
  }
  if (forcedReply_ && reply_) {
    reply_ = std::move(forcedReply_);
    forcedReply_.reset();
  }
}

std::optional<std::vector<uint8_t>> SimAdapterModel::TakeReply() {
  if (!unread_.empty()) {
    std::vector<uint8_t> r = std::move(unread_.front());
    unread_.pop_front();
    return r;
  }
  auto r = std::move(reply_);
  reply_.reset();
  return r;
}

// Acceptance as a CAN controller's filter banks work: a bank in mask mode
// accepts an identifier whose bits under the mask equal the bank's; a mask of
// 0 compares nothing, not even the identifier kind, so it accepts every
// frame. A bank in list mode accepts exactly its two identifiers of its kind.
// Until the host writes a bank, every frame is accepted.
bool SimAdapterModel::Accepts(const SimFrame &frame) const {
  if (!filtersWritten_)
    return true;
  const bool extended = frame.bytes[2] != 0;
  const uint32_t id = Long(frame.bytes + 8);
  for (const auto &b : filters_) {
    if (!b[6])
      continue;
    const bool bankExtended = b[4] != 0;
    const uint32_t bid = Long(b.data() + 8), bmask = Long(b.data() + 12);
    if (b[7] == 0) {
      if (bmask == 0 || (bankExtended == extended && ((id ^ bid) & bmask) == 0))
        return true;
    } else if (bankExtended == extended && (id == bid || id == bmask)) {
      return true;
    }
  }
  return false;
}

void SimAdapterModel::HearFrame(const SimFrame &frame) {
  if (!started_ || !Accepts(frame))
    return;
  if (rxQueue_.size() >= rxDepth) {
    ++rxDropped;
    return;
  }
  rxQueue_.push_back(frame);
}

SimFrame SimAdapterModel::NextTrafficFrame() { return TrafficFrame(trafficCount_++); }

void SimAdapterModel::SetBusSource(int bitRate, double loadPercent, int64_t now_us) {
  busBitRate_ = bitRate > 0 && loadPercent > 0 ? bitRate : 0;
  busLoad_ = std::min(loadPercent, 100.0) / 100.0;
  busNextStartNs_ = static_cast<double>(now_us) * 1000.0;
}

void SimAdapterModel::Tick(int64_t now_us) {
  const int64_t now_ms = now_us / 1000;
  const double nowNs = static_cast<double>(now_us) * 1000.0;
  // Frames that pass while the adapter is not listening are nobody's: the
  // bus time line resumes at the moment it starts.
  if (busBitRate_ > 0 && !started_)
    busNextStartNs_ = nowNs;
  if (busBitRate_ > 0 && started_) {
    const double nsPerBit = 1e9 / busBitRate_;
    for (;;) {
      SimFrame f = TrafficFrame(busCount_);
      TCanMessage msg;
      std::memcpy(&msg, f.bytes, sizeof msg);
      const int bits = FrameBits(msg);
      if (busNextStartNs_ + bits * nsPerBit > nowNs)
        break;
      busNextStartNs_ += bits * nsPerBit / busLoad_;
      ++busCount_;
      ++busOffered;
      HearFrame(f);
    }
  }
  if (demoTraffic) {
    for (int k = 0; k < DemoCount; ++k) {
      if (!started_ || now_us - demoNextUs_[k] > 1000000)
        demoNextUs_[k] = now_us; // nobody listened, or a long pause: start afresh
      while (started_ && demoNextUs_[k] <= now_us) {
        HearFrame(DemoFrame(k, demoCount_[k]++));
        demoNextUs_[k] += DemoMessages[k].periodUs;
      }
    }
  }
  if (trafficPeriodMs <= 0 || !started_) {
    lastTick_ = now_ms;
    return;
  }
  if (lastTick_ < 0)
    lastTick_ = now_ms;
  // A late poll catches up a little, not with a burst of hours.
  int due = 0;
  while (now_ms - lastTick_ >= trafficPeriodMs && due < 16) {
    lastTick_ += trafficPeriodMs;
    ++due;
  }
  if (now_ms - lastTick_ >= trafficPeriodMs)
    lastTick_ = now_ms;
  for (int i = 0; i < due; ++i)
    HearFrame(NextTrafficFrame());
}
