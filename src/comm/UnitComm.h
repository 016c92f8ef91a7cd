// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The communication thread: the only code that exchanges frames and settings
// with an open adapter while connected. The user interface meets it in three
// hand-overs, without locks: frames to send (a ring), received frames (a
// batch on offer) and commands (one slot). Each state word is written
// (release) after the data it guards and read (acquire) before it.

#include "../adapter/Vni_if.h"

#include <QThread>

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// A received frame and when the receive poll returned it, in microseconds
// since the connection was made (steady clock). The record itself stays as
// it is on the wire.
struct TStampedFrame {
  TCanMessage Msg;
  int64_t TimeUs;
};

// When the adapter accepted a transmitted frame. Seq numbers the frames in
// the order TransmitMessage handed them over, from 0.
struct TTransmitStamp {
  uint64_t Seq;
  int64_t TimeUs;
};

class TDevComm : public QThread {
public:
  using TClock = std::chrono::steady_clock;
  // Frames received beyond this many waiting in the receive queue are dropped
  // and counted. At 32 bytes a stamped frame this is 32 MB, and about half a
  // minute of a saturated 1 Mbit/s bus.
  static constexpr size_t ReceiveQueueBound = 1000000;
  // Acceptance stamps not yet taken beyond this many are not kept.
  static constexpr size_t TransmitStampRing = 8192;

  // stackSize: the thread's stack in bytes, 0 for the platform's default. A
  // thread that cannot be started counts as finished at once: nothing is
  // then taken, and nothing waits for it.
  TDevComm(TVNI *adapter, const std::string &serialNumber, size_t receiveBound = ReceiveQueueBound,
           unsigned stackSize = 0);
  ~TDevComm() override;

  // Ends the loop (the adapter stays open until destruction). Every frame the
  // thread had received and not yet handed out stays available to
  // ReceiveMessage, oldest first; AcceptedFrames is final from then on.
  void Stop();

  // Frames handed over and not yet accepted by the adapter beyond this many
  // are not handed over by senders that run on their own (cyclic transmit,
  // the bridge): an adapter that cannot send (no bus, bus off) must not
  // make the queue grow for as long as they run.
  static constexpr uint64_t TransmitWaitingBound = 1000;

  // Frames handed over and not yet taken into the thread's queue, at most.
  static constexpr size_t TransmitHandOverRing = 4096;

  // Hands a heap record over, which is freed here, and returns at once (the
  // thread takes every frame handed over at its next round; only while the
  // ring is full does it wait for that round), with the frame's number in
  // hand-over order (from 0), which its acceptance stamp carries. When the
  // thread cannot take it (its loop has ended, or the adapter is closed)
  // nothing is returned.
  std::optional<uint64_t> TransmitMessage(TCanMessage *msg);
  // Frames handed over and not yet accepted by the adapter.
  uint64_t WaitingFrames() const;
  bool TransmitRoom() const { return WaitingFrames() < TransmitWaitingBound; }
  // The next received frame, oldest first, one per call; false at once when
  // none is waiting. The thread offers everything it has queued as one
  // batch; the first call after an offer takes the whole batch and later
  // calls are served from it, so a caller that calls until false takes every
  // waiting frame in one go.
  bool ReceiveMessage(TCanMessage &msg);
  // The same, with the time the receive poll returned the frame.
  bool ReceiveMessage(TStampedFrame &frame);
  // The next acceptance stamp of a transmitted frame, oldest first; false
  // when none is waiting. Only the user interface's thread may call it.
  bool TakeTransmitStamp(TTransmitStamp &stamp);
  // A caller that polls on a timer may sleep longer while nothing comes:
  // wake is called on the thread, once after each RequestWake, when the
  // thread next offers received frames or an acceptance stamp. It must be
  // safe to call from another thread; set it before the first RequestWake.
  void SetWake(std::function<void()> wake) { FWake = std::move(wake); }
  // Arms the wake; false, and not armed, when frames or stamps are already
  // waiting (the caller takes them instead of sleeping).
  bool RequestWake();
  // Microseconds since the connection was made, on the stamps' clock.
  int64_t ElapsedUs() const;
  // The wall-clock time the connection was made, in microseconds since the
  // Unix epoch: the base of the stamps for logs written to files.
  int64_t ConnectedWallUs() const { return FConnectedWallUs; }
  // The steady-clock time the stamps count from.
  TClock::time_point ConnectedAt() const { return FConnectedAt; }
  // Each waits for the command slot to be free; false when the thread can no
  // longer carry a command out.
  bool SendDeviceConfig(const TDeviceConfig &config);
  bool SendFilter(const TFilterBank &filter);
  bool SendStart();
  // The fourteen banks, 0 first.
  bool SendFilters(const TFilterTable &filters);
  // What a connection begins with: the configuration, the fourteen filter
  // banks and the start command, in this order.
  bool SendSetUp(const TDeviceConfig &config, const TFilterTable &filters);

  const TDeviceInfo &DeviceInfo() const { return FDeviceInfo; }
  // Frames dropped because the receive queue was full.
  uint64_t DroppedFrames() const { return FDropped.load(std::memory_order_relaxed); }
  // Frames received and not yet taken by the user interface (approximate).
  size_t ReceiveBacklog() const { return FBacklog.load(std::memory_order_relaxed); }
  // Frames received from the adapter since construction.
  uint64_t ReceivedFrames() const { return FReceived.load(std::memory_order_relaxed); }
  // Frames handed over by TransmitMessage that the adapter has accepted:
  // hand-overs minus this is what waits to be sent.
  uint64_t AcceptedFrames() const { return FAccepted.load(std::memory_order_relaxed); }
  bool Finished() const { return FFinished.load(std::memory_order_acquire) != 0; }

protected:
  void run() override;

private:
  void Execute();
  void TakeTransmitHandOver();
  enum class TTransmitResult { Nothing, Refused, Accepted };
  TTransmitResult TransmitHead();
  bool Poll();
  void ServeReceiveSlot();
  unsigned long CarryOutCommand();
  bool CanTake() const;
  bool WaitCommandSlot();
  template <typename F> bool PostCommand(int command, F fill);

  TVNI *FAdapter;
  std::string FSerialNumber;
  const size_t FReceiveBound;
  std::atomic<int> FFinished{0};
  std::atomic<bool> FTerminate{false};
  TDeviceInfo FDeviceInfo{};
  TDeviceConfig FConfigBuffer{};
  TFilterBank FFilterBuffer{};
  void PushTransmitStamp(uint64_t seq);
  void Notify();
  std::function<void()> FWake;
  std::atomic<bool> FWakeArmed{false};

  const TClock::time_point FConnectedAt;
  const int64_t FConnectedWallUs;
  struct TQueuedTransmit {
    TCanMessage Msg;
    uint64_t Seq;
  };
  std::deque<TQueuedTransmit> FTransmitQueue;
  std::deque<TStampedFrame> FReceiveQueue;
  TCanMessage FReceiveBuffer{};
  std::vector<TStampedFrame> FOffered; // the batch on offer; owned by the thread
  // The user interface's side of the receive slot: the last batch taken,
  // copied, and how far it has been handed out.
  std::vector<TStampedFrame> FTaken;
  size_t FTakenNext = 0;
  // Slot states. Each transition has one writer: the user interface marks
  // an offered batch taken, the thread releases a taken batch and offers the
  // next.
  enum TReceiveSlot : int { ReceiveEmpty = 0, ReceiveTaken = 1, ReceiveOffered = 2 };
  static constexpr int CommandFree = 0; // else the command word waiting
  // The transmit hand-over: a single-producer, single-consumer ring; the
  // user interface advances the head, the thread the tail.
  std::array<TCanMessage, TransmitHandOverRing> FHandOvers{};
  std::atomic<uint64_t> FHandOverHead{0};
  std::atomic<uint64_t> FHandOverTail{0};
  std::atomic<int> FReceiveState{ReceiveEmpty};
  std::atomic<int> FCommand{CommandFree};
  std::atomic<uint64_t> FDropped{0};
  std::atomic<size_t> FBacklog{0};
  std::atomic<uint64_t> FReceived{0};
  std::atomic<uint64_t> FAccepted{0};
  // Acceptance stamps: a single-producer, single-consumer ring; the thread
  // advances the head, the user interface the tail.
  std::array<TTransmitStamp, TransmitStampRing> FStamps{};
  std::atomic<uint64_t> FStampHead{0};
  std::atomic<uint64_t> FStampTail{0};
};
