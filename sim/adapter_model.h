// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The adapter side of the command protocol: what one adapter does with each
// request, its reply, its acceptance filters and its receive queue. Shared
// by the simulated USB library and any other front end that presents an
// adapter.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct SimFrame {
  uint8_t bytes[20];
};

class SimAdapterModel {
public:
  explicit SimAdapterModel(std::string serial) : serial_(std::move(serial)) {}

  // Called for every frame this adapter puts on the bus after accepting it.
  std::function<void(const SimFrame &)> onTransmit;

  // One request from the host. Any reply not yet read is dropped first: the
  // adapter answers only its latest request.
  void Request(const uint8_t *data, int length);
  // The reply waiting for the host's next read, if any.
  std::optional<std::vector<uint8_t>> TakeReply();
  bool HasReply() const { return !unread_.empty() || reply_.has_value(); }
  // A reply a client requested and never read (it died in between): it
  // outlives later requests and is what the next read gets.
  void LeaveUnreadReply(std::vector<uint8_t> bytes) { unread_.push_back(std::move(bytes)); }
  void ReplaceNextReply(std::vector<uint8_t> bytes) { forcedReply_ = std::move(bytes); }

  // A frame seen on the bus: kept if started and the filters accept it.
  void HearFrame(const SimFrame &frame);
  bool Accepts(const SimFrame &frame) const;

  // Behaviour settings.
  int handshakeStatus = 1; // -1: no reply
  int transmitStatus = 1;
  int filterStatus = 1;
  uint8_t revision = 0;
  uint16_t firmware = 0x0105;
  std::optional<std::array<uint8_t, 64>> rawInfo;
  bool flood = false;
  bool forceLoopback = false; // echo transmitted frames whatever the configuration says
  int trafficPeriodMs = 0;
  // A small vehicle bus for the demo: a few messages, each on its own
  // period, with values that move (see DemoFrame).
  bool demoTraffic = false;
  // Frames the receive queue holds; a frame heard when it is full is lost
  // in the adapter (counted in rxDropped), as on a real adapter whose host
  // polls too slowly.
  size_t rxDepth = DefaultRxDepth;
  static constexpr size_t DefaultRxDepth = 256;

  // State.
  const std::string &serial() const { return serial_; }
  bool started() const { return started_; }
  bool loopback() const { return forceLoopback || config_[5] != 0; }
  long transmitted = 0;
  long delivered = 0;
  long rxDropped = 0;  // frames accepted by the filters that found the queue full
  long busOffered = 0; // frames the bus source put on the bus while this adapter listened
  size_t backlog() const { return rxQueue_.size(); }
  void Reset();

  // A bus that carries frames at bitRate bit/s, busy loadPercent of the time:
  // each frame reaches the adapter when its last bit has passed, its length
  // counted exactly (stuff bits included), the next one starting after the
  // idle time that makes up the load. bitRate 0 switches it off.
  void SetBusSource(int bitRate, double loadPercent, int64_t now_us);

  // Advances periodic traffic and the bus source to now_us (microseconds
  // since any epoch).
  void Tick(int64_t now_us);

private:
  void Reply(std::vector<uint8_t> bytes) { reply_ = std::move(bytes); }
  std::deque<std::vector<uint8_t>> unread_;
  SimFrame NextTrafficFrame();

  std::string serial_;
  bool started_ = false;
  bool filtersWritten_ = false;
  uint8_t config_[8] = {};
  std::array<std::array<uint8_t, 16>, 14> filters_{};
  std::deque<SimFrame> rxQueue_;
  std::optional<std::vector<uint8_t>> reply_;
  std::optional<std::vector<uint8_t>> forcedReply_;
  int64_t lastTick_ = -1;
  uint32_t trafficCount_ = 0;
  int64_t demoNextUs_[8] = {};
  uint32_t demoCount_[8] = {};
  int busBitRate_ = 0;
  double busLoad_ = 0;
  double busNextStartNs_ = 0;
  uint32_t busCount_ = 0;
};
