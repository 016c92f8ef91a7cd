// SPDX-License-Identifier: GPL-3.0-or-later
// The communication thread: its round of steps and the hand-overs with the
// user interface.
#include "UnitComm.h"


namespace {
int64_t WallClockUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}
} // namespace

TDevComm::TDevComm(TVNI *adapter, const std::string &serialNumber, size_t receiveBound, unsigned stackSize)
    : FAdapter(adapter), FSerialNumber(serialNumber), FReceiveBound(receiveBound), FConnectedAt(TClock::now()),
      FConnectedWallUs(WallClockUs()) {
  FDeviceInfo.Command = 0;
  // Open and read the information record here, on the caller's thread,
  // before the loop runs.
  if (FAdapter->Open(FSerialNumber)) {
    if (!FAdapter->ReadDeviceInfo(&FDeviceInfo))
      FDeviceInfo.Command = 0;
  }
  setStackSize(stackSize);
  start(QThread::HighestPriority);
  // A thread the system could not create (thread limit, memory) never runs
  // its loop; treated as one that has ended, so that no hand-over and no
  // destructor waits for it.
  if (!isRunning() && !isFinished())
    FFinished.store(1, std::memory_order_release);
}

TDevComm::~TDevComm() {
  Stop();
  FAdapter->Close();
  FTransmitQueue.clear();
}

void TDevComm::Stop() {
  if (!FFinished.load(std::memory_order_acquire)) {
    FTerminate.store(true, std::memory_order_release);
    while (!FFinished.load(std::memory_order_acquire))
      QThread::yieldCurrentThread();
  }
  wait();
  // The loop has ended: its queues are this side's now. What the user
  // interface has not taken yet joins the batch it is being served from.
  std::vector<TStampedFrame> rest(FTaken.begin() + static_cast<std::ptrdiff_t>(FTakenNext), FTaken.end());
  if (FReceiveState.load(std::memory_order_acquire) == ReceiveOffered)
    rest.insert(rest.end(), FOffered.begin(), FOffered.end());
  rest.insert(rest.end(), FReceiveQueue.begin(), FReceiveQueue.end());
  FTaken = std::move(rest);
  FTakenNext = 0;
  FOffered.clear();
  FReceiveQueue.clear();
  FReceiveState.store(ReceiveEmpty, std::memory_order_release);
}

void TDevComm::run() {
  try {
    Execute();
  } catch (...) {
    // An error inside the loop ends the thread silently.
  }
  FFinished.store(1, std::memory_order_release);
}

// One round: at most one frame taken from the transmit slot and one sent,
// one receive poll, the receive slot served, at most one command. A round
// that moved a frame (the adapter delivered one, or accepted one) is
// followed by the next at once: the adapter's own queue is small, and a
// frame left in it while the thread sleeps is lost when it overflows. A round
// without work pauses 1 ms; a configuration or filter command gives the
// adapter 5 ms.
void TDevComm::Execute() {
  FFinished.store(0, std::memory_order_release);
  while (!FTerminate.load(std::memory_order_acquire)) {
    unsigned long sleepMs = 1;
    if (FAdapter->IsOpen()) {
      TakeTransmitHandOver();
      const bool accepted = TransmitHead() == TTransmitResult::Accepted;
      const bool received = Poll();
      ServeReceiveSlot();
      const unsigned long pause = CarryOutCommand();
      if (pause > 1)
        sleepMs = pause;
      else if (accepted || received)
        sleepMs = 0;
    }
    if (sleepMs == 0)
      QThread::yieldCurrentThread();
    else
      QThread::msleep(sleepMs);
  }
}

// Everything handed over since the last round, in order. A frame is read
// before the tail passes it: the moment the tail moves on, the user
// interface may write the next frame into that place.
void TDevComm::TakeTransmitHandOver() {
  const uint64_t head = FHandOverHead.load(std::memory_order_acquire);
  uint64_t tail = FHandOverTail.load(std::memory_order_relaxed);
  for (; tail != head; ++tail)
    FTransmitQueue.push_back({FHandOvers[tail % TransmitHandOverRing], tail});
  FHandOverTail.store(tail, std::memory_order_release);
}

// The head stays in the queue until the adapter accepts it.
TDevComm::TTransmitResult TDevComm::TransmitHead() {
  if (FTransmitQueue.empty())
    return TTransmitResult::Nothing;
  TQueuedTransmit &head = FTransmitQueue.front();
  if (!FAdapter->TransmitFrame(&head.Msg))
    return TTransmitResult::Refused;
  FAccepted.fetch_add(1, std::memory_order_release);
  PushTransmitStamp(head.Seq);
  FTransmitQueue.pop_front();
  return TTransmitResult::Accepted;
}

// True when the adapter delivered a frame.
bool TDevComm::Poll() {
  if (!FAdapter->ReceiveFrame(&FReceiveBuffer))
    return false;
  const int64_t at = ElapsedUs();
  FReceived.fetch_add(1, std::memory_order_relaxed);
  if (FReceiveQueue.size() + FOffered.size() < FReceiveBound)
    FReceiveQueue.push_back({FReceiveBuffer, at});
  else
    FDropped.fetch_add(1, std::memory_order_relaxed);
  return true;
}

// Releases the batch the user interface took, then offers all that is
// queued, in order.
void TDevComm::ServeReceiveSlot() {
  if (FReceiveState.load(std::memory_order_acquire) == ReceiveTaken) {
    FOffered.clear();
    FReceiveState.store(ReceiveEmpty, std::memory_order_release);
  }
  if (FReceiveState.load(std::memory_order_acquire) == ReceiveEmpty && !FReceiveQueue.empty()) {
    FOffered.assign(FReceiveQueue.begin(), FReceiveQueue.end());
    FReceiveQueue.clear();
    FReceiveState.store(ReceiveOffered, std::memory_order_release);
    Notify();
  }
  FBacklog.store(FReceiveQueue.size() + FOffered.size(), std::memory_order_relaxed);
}

// The pause the command asks for afterwards; 0 when there was none.
unsigned long TDevComm::CarryOutCommand() {
  unsigned long pause = 0;
  switch (FCommand.load(std::memory_order_acquire)) {
  case vnicmd::Start:
    FAdapter->Start(true, true);
    pause = 1;
    break;
  case vnicmd::Config: {
    TDeviceConfig c = FConfigBuffer;
    FAdapter->WriteConfig(&c);
    pause = 5;
    break;
  }
  case vnicmd::Filter: {
    TFilterBank f = FFilterBuffer;
    FAdapter->WriteFilter(&f);
    pause = 5;
    break;
  }
  default:
    return 0;
  }
  FCommand.store(CommandFree, std::memory_order_release);
  return pause;
}

int64_t TDevComm::ElapsedUs() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(TClock::now() - FConnectedAt).count();
}

void TDevComm::PushTransmitStamp(uint64_t seq) {
  const uint64_t head = FStampHead.load(std::memory_order_relaxed);
  if (head - FStampTail.load(std::memory_order_acquire) >= TransmitStampRing)
    return; // nobody is taking them; the line keeps its hand-over time
  FStamps[head % TransmitStampRing] = {seq, ElapsedUs()};
  FStampHead.store(head + 1, std::memory_order_release);
  Notify();
}

// Both sides write their word, fence, then read the other's: of an offer
// and an arming that cross, at least one side sees the other, so a batch
// never waits for a sleeping caller unnoticed.
void TDevComm::Notify() {
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (FWakeArmed.load(std::memory_order_relaxed) && FWakeArmed.exchange(false, std::memory_order_acq_rel) && FWake)
    FWake();
}

bool TDevComm::RequestWake() {
  FWakeArmed.store(true, std::memory_order_release);
  std::atomic_thread_fence(std::memory_order_seq_cst);
  const bool waiting = FTakenNext < FTaken.size() ||
                       FReceiveState.load(std::memory_order_acquire) == ReceiveOffered ||
                       FStampTail.load(std::memory_order_relaxed) != FStampHead.load(std::memory_order_acquire);
  if (waiting)
    FWakeArmed.store(false, std::memory_order_relaxed);
  return !waiting;
}

bool TDevComm::TakeTransmitStamp(TTransmitStamp &stamp) {
  const uint64_t tail = FStampTail.load(std::memory_order_relaxed);
  if (tail == FStampHead.load(std::memory_order_acquire))
    return false;
  stamp = FStamps[tail % TransmitStampRing];
  FStampTail.store(tail + 1, std::memory_order_release);
  return true;
}

bool TDevComm::CanTake() const { return !FFinished.load(std::memory_order_acquire) && FAdapter->IsOpen(); }

// The frame goes into the hand-over ring without waiting for the thread,
// which empties the ring every round; only a full ring waits, for at most
// a round.
std::optional<uint64_t> TDevComm::TransmitMessage(TCanMessage *msg) {
  if (!msg)
    return std::nullopt;
  const TCanMessage frame = *msg;
  delete msg;
  const uint64_t head = FHandOverHead.load(std::memory_order_relaxed);
  for (;;) {
    if (!CanTake())
      return std::nullopt;
    if (head - FHandOverTail.load(std::memory_order_acquire) < TransmitHandOverRing)
      break;
    QThread::yieldCurrentThread();
  }
  FHandOvers[head % TransmitHandOverRing] = frame;
  FHandOverHead.store(head + 1, std::memory_order_release);
  return head; // a frame's number is its place in the ring's sequence
}

uint64_t TDevComm::WaitingFrames() const {
  return FHandOverHead.load(std::memory_order_relaxed) - FAccepted.load(std::memory_order_acquire);
}

bool TDevComm::SendFilters(const TFilterTable &filters) {
  for (const TFilterBank &bank : filters)
    if (!SendFilter(bank))
      return false;
  return true;
}

bool TDevComm::SendSetUp(const TDeviceConfig &config, const TFilterTable &filters) {
  return SendDeviceConfig(config) && SendFilters(filters) && SendStart();
}

bool TDevComm::ReceiveMessage(TStampedFrame &frame) {
  if (FTakenNext >= FTaken.size()) {
    if (FReceiveState.load(std::memory_order_acquire) != ReceiveOffered)
      return false;
    FTaken.assign(FOffered.begin(), FOffered.end());
    FTakenNext = 0;
    FReceiveState.store(ReceiveTaken, std::memory_order_release);
  }
  frame = FTaken[FTakenNext++];
  return true;
}

bool TDevComm::ReceiveMessage(TCanMessage &msg) {
  TStampedFrame frame;
  if (!ReceiveMessage(frame))
    return false;
  msg = frame.Msg;
  return true;
}

bool TDevComm::WaitCommandSlot() {
  while (FCommand.load(std::memory_order_acquire) != CommandFree) {
    if (!CanTake())
      return false;
    QThread::yieldCurrentThread();
  }
  return CanTake();
}

// Waits for the command slot, lets fill write the command's buffer while the
// slot is free, then hands the command over.
template <typename F> bool TDevComm::PostCommand(int command, F fill) {
  if (!WaitCommandSlot())
    return false;
  fill();
  FCommand.store(command, std::memory_order_release);
  return true;
}

bool TDevComm::SendDeviceConfig(const TDeviceConfig &config) {
  return PostCommand(vnicmd::Config, [&] { FConfigBuffer = config; });
}

bool TDevComm::SendFilter(const TFilterBank &filter) {
  return PostCommand(vnicmd::Filter, [&] { FFilterBuffer = filter; });
}

bool TDevComm::SendStart() {
  return PostCommand(vnicmd::Start, [] {});
}
