#include "UnitComm.h"

#include <cstring>

TDevComm::TDevComm(TVNI *adapter, const std::string &serialNumber, size_t receiveBound)
    : FAdapter(adapter), FSerialNumber(serialNumber), FReceiveBound(receiveBound) {
  FReceiveBuffer = new TCanMessage{};
  FDeviceInfo.Command = 0;
  // Open and read the information record here, on the caller's thread,
  // before the loop runs.
  if (FAdapter->Open(FSerialNumber)) {
    if (!FAdapter->ReadDeviceInfo(&FDeviceInfo))
      FDeviceInfo.Command = 0;
  }
  start(QThread::HighestPriority);
}

TDevComm::~TDevComm() {
  if (!FFinished.load(std::memory_order_acquire)) {
    FTerminate.store(true, std::memory_order_release);
    while (!FFinished.load(std::memory_order_acquire))
      QThread::yieldCurrentThread();
  }
  wait();
  FAdapter->Close();
  for (TCanMessage *m : FTransmitQueue)
    delete m;
  FTransmitQueue.clear();
  for (TCanMessage *m : FReceiveQueue)
    delete m;
  FReceiveQueue.clear();
  for (TCanMessage *m : FOffered)
    delete m;
  FOffered.clear();
  delete FReceiveBuffer;
}

void TDevComm::run() {
  try {
    Execute();
  } catch (...) {
    // An error inside the loop ends the thread silently.
  }
  FFinished.store(1, std::memory_order_release);
}

void TDevComm::Execute() {
  FFinished.store(0, std::memory_order_release);
  unsigned long sleepMs = 0;
  while (!FTerminate.load(std::memory_order_acquire)) {
    if (FAdapter->IsOpen()) {
      // Transmit slot. Taken with a compare-and-swap so that a hand-over
      // that gives up (see TransmitMessage) and this take cannot both win.
      // The pointer is read before the flag is cleared: the moment it reads
      // 0 the user interface may store the next one.
      if (FTransmitFlag.load(std::memory_order_acquire) == 1) {
        TCanMessage *pending = FPending;
        int full = 1;
        if (FTransmitFlag.compare_exchange_strong(full, 0, std::memory_order_acq_rel))
          FTransmitQueue.push_back(pending);
      }
      // Transmit the head; it stays there until the adapter accepts it.
      if (!FTransmitQueue.empty()) {
        TCanMessage *head = FTransmitQueue.front();
        if (FAdapter->TransmitFrame(head)) {
          delete head;
          FTransmitQueue.pop_front();
        }
        sleepMs = 1;
      }
      // Receive poll.
      if (FAdapter->ReceiveFrame(FReceiveBuffer)) {
        FReceived.fetch_add(1, std::memory_order_relaxed);
        if (FReceiveQueue.size() + FOffered.size() < FReceiveBound) {
          FReceiveQueue.push_back(FReceiveBuffer);
          FReceiveBuffer = new TCanMessage{};
        } else {
          FDropped.fetch_add(1, std::memory_order_relaxed);
        }
        sleepMs = 1;
      }
      // Receive slot: release the taken batch, then offer all that is
      // queued, in order.
      if (FReceiveState.load(std::memory_order_acquire) == 1) {
        for (TCanMessage *m : FOffered)
          delete m;
        FOffered.clear();
        FReceiveState.store(0, std::memory_order_release);
      }
      if (FReceiveState.load(std::memory_order_acquire) == 0 && !FReceiveQueue.empty()) {
        FOffered.assign(FReceiveQueue.begin(), FReceiveQueue.end());
        FReceiveQueue.clear();
        FReceiveState.store(2, std::memory_order_release);
      }
      FBacklog.store(FReceiveQueue.size() + FOffered.size(), std::memory_order_relaxed);
      // Command slot.
      switch (FCommand.load(std::memory_order_acquire)) {
      case vnicmd::Start:
        FAdapter->Start(true, true);
        FCommand.store(0, std::memory_order_release);
        sleepMs = 1;
        break;
      case vnicmd::Config: {
        TDeviceConfig c = FConfigBuffer;
        FAdapter->WriteConfig(&c);
        FCommand.store(0, std::memory_order_release);
        sleepMs = 5;
        break;
      }
      case vnicmd::Filter: {
        TFilterBank f = FFilterBuffer;
        FAdapter->WriteFilter(&f);
        FCommand.store(0, std::memory_order_release);
        sleepMs = 5;
        break;
      }
      default:
        break;
      }
    }
    if (sleepMs == 0)
      QThread::yieldCurrentThread();
    else
      QThread::msleep(sleepMs);
  }
}

bool TDevComm::CanTake() const { return !FFinished.load(std::memory_order_acquire) && FAdapter->IsOpen(); }

bool TDevComm::TransmitMessage(TCanMessage *msg) {
  if (!msg)
    return false;
  if (!CanTake()) {
    delete msg;
    return false;
  }
  FPending = msg;
  FTransmitFlag.store(1, std::memory_order_release);
  while (FTransmitFlag.load(std::memory_order_acquire) != 0) {
    if (!CanTake()) {
      // Take the record back unless the thread took it meanwhile.
      int full = 1;
      if (FTransmitFlag.compare_exchange_strong(full, 0, std::memory_order_acq_rel)) {
        delete msg;
        return false;
      }
      return true;
    }
    QThread::yieldCurrentThread();
  }
  return true;
}

bool TDevComm::ReceiveMessage(TCanMessage &msg) {
  if (FTakenNext >= FTaken.size()) {
    if (FReceiveState.load(std::memory_order_acquire) != 2)
      return false;
    FTaken.resize(FOffered.size());
    for (size_t i = 0; i < FOffered.size(); ++i)
      std::memcpy(&FTaken[i], FOffered[i], sizeof(TCanMessage));
    FTakenNext = 0;
    FReceiveState.store(1, std::memory_order_release);
  }
  msg = FTaken[FTakenNext++];
  return true;
}

bool TDevComm::WaitCommandSlot() {
  while (FCommand.load(std::memory_order_acquire) != 0) {
    if (!CanTake())
      return false;
    QThread::yieldCurrentThread();
  }
  return CanTake();
}

bool TDevComm::SendDeviceConfig(const TDeviceConfig &config) {
  if (!WaitCommandSlot())
    return false;
  FConfigBuffer = config;
  FCommand.store(vnicmd::Config, std::memory_order_release);
  return true;
}

bool TDevComm::SendFilter(const TFilterBank &filter) {
  if (!WaitCommandSlot())
    return false;
  FFilterBuffer = filter;
  FCommand.store(vnicmd::Filter, std::memory_order_release);
  return true;
}

bool TDevComm::SendStart() {
  if (!WaitCommandSlot())
    return false;
  FCommand.store(vnicmd::Start, std::memory_order_release);
  return true;
}
