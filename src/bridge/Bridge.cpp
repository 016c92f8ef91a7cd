// SPDX-License-Identifier: GPL-3.0-or-later
// molvar-bridge's work: frames both ways between the adapter's communication
// thread and a SocketCAN socket, with the counters.
#include "Bridge.h"

#include "can/DatabaseFile.h"
#include "can/Frame.h"

#include "comm/UnitComm.h"
#include "config/IniFile.h"
#include "config/SetupFile.h"
#include "transport/Libusbdyn.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/can/raw.h>

namespace {
// The longest a frame from the adapter waits for the interface: the frames
// of a round go out together, in one system call.
constexpr int PollMs = 2;
constexpr unsigned MaxWriteBatch = 64;
// Frames read from the socket per round, so that the adapter's side is
// served in between.
constexpr int ReadsPerRound = 64;
// A full transmit queue of the interface (ENOBUFS) is retried this often,
// 100 us apart, before the frame counts as dropped.
constexpr int WriteRetries = 100;
const std::string AdapterName = "adapter";
} // namespace

can_frame ToCanFrame(const TCanMessage &msg) {
  can_frame f{};
  f.can_id = MaskedId(msg) | (IsExtended(msg) ? CAN_EFF_FLAG : 0);
  if (IsRemote(msg))
    f.can_id |= CAN_RTR_FLAG;
  f.len = static_cast<uint8_t>(FrameLength(msg));
  std::memcpy(f.data, msg.Data, PayloadLength(msg));
  return f;
}

TCanMessage FromCanFrame(const can_frame &f) {
  TCanMessage m{};
  const bool extended = (f.can_id & CAN_EFF_FLAG) != 0;
  m.IDType = extended ? 4 : 0;
  m.ID = f.can_id & (extended ? CAN_EFF_MASK : CAN_SFF_MASK);
  m.RTR = (f.can_id & CAN_RTR_FLAG) ? 2 : 0;
  m.DLC = std::min<uint8_t>(f.len, CAN_MAX_DLEN);
  if (!m.RTR)
    std::memcpy(m.Data, f.data, m.DLC);
  return m;
}

std::string CandumpText(const std::string &source, int width, const can_frame &f) {
  char buf[96];
  int n = std::snprintf(buf, sizeof buf, "  %*s  ", width, source.c_str());
  if (f.can_id & CAN_EFF_FLAG)
    n += std::snprintf(buf + n, sizeof buf - n, "%08X", f.can_id & CAN_EFF_MASK);
  else
    n += std::snprintf(buf + n, sizeof buf - n, "%03X", f.can_id & CAN_SFF_MASK);
  const int len = std::min<int>(f.len, CAN_MAX_DLEN);
  n += std::snprintf(buf + n, sizeof buf - n, "   [%d] ", len);
  if (f.can_id & CAN_RTR_FLAG)
    n += std::snprintf(buf + n, sizeof buf - n, " remote request");
  else
    for (int i = 0; i < len; ++i)
      n += std::snprintf(buf + n, sizeof buf - n, " %02X", f.data[i]);
  return std::string(buf, n);
}

TBridge::TBridge(TVNI &adapter, int fd, std::string interfaceName, bool verbose, std::FILE *log, std::FILE *err)
    : FAdapter(adapter), FFd(fd), FInterface(std::move(interfaceName)), FVerbose(verbose), FLog(log), FErr(err),
      FNameWidth(static_cast<int>(std::max(FInterface.size(), AdapterName.size()))) {
  // Ask the kernel to count frames it had to drop for want of buffer space
  // (CAN sockets report them with each read); other sockets may refuse.
  const int on = 1;
  setsockopt(FFd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
}

TBridge::~TBridge() { Disconnect(); }

bool TBridge::Connect(const std::string &serial, const TDeviceConfig &config, const TFilterTable &filters) {
  FComm = std::make_unique<TDevComm>(&FAdapter, serial);
  if (!FAdapter.IsOpen()) {
    FComm.reset();
    return false;
  }
  if (!FComm->SendSetUp(config, filters)) {
    FComm.reset();
    return false;
  }
  return true;
}

void TBridge::Disconnect() {
  if (!FComm)
    return;
  FComm->Stop();
  TStampedFrame frame;
  while (FComm->ReceiveMessage(frame))
    FOut.push_back(ToCanFrame(frame.Msg));
  ToInterface();
  NoteDrops();
  FCounters.DroppedNotAccepted = FComm->WaitingFrames();
  FComm.reset();
}

void TBridge::ToInterface() {
  size_t done = 0;
  int attempt = 0;
  while (done < FOut.size()) {
    const unsigned n = static_cast<unsigned>(std::min<size_t>(FOut.size() - done, MaxWriteBatch));
    iovec iov[MaxWriteBatch];
    mmsghdr msgs[MaxWriteBatch]{};
    for (unsigned i = 0; i < n; ++i) {
      iov[i] = {&FOut[done + i], sizeof(can_frame)};
      msgs[i].msg_hdr.msg_iov = &iov[i];
      msgs[i].msg_hdr.msg_iovlen = 1;
    }
    const int sent = ::sendmmsg(FFd, msgs, n, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent > 0) {
      for (int i = 0; i < sent; ++i) {
        ++FCounters.FromAdapter;
        if (FVerbose)
          LogFrame(AdapterName, FOut[done + static_cast<size_t>(i)]);
      }
      done += static_cast<size_t>(sent);
      attempt = 0;
      continue;
    }
    // The first frame not taken: retried while the interface's queue is
    // full, then dropped and counted.
    const bool full = sent < 0 && (errno == ENOBUFS || errno == EAGAIN || errno == EINTR);
    if (!full || attempt >= WriteRetries) {
      ++FCounters.DroppedInterface;
      ++done;
      attempt = 0;
      continue;
    }
    ++attempt;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  FOut.clear();
}

// Reads one waiting record; false when none is waiting.
bool TBridge::FromInterface() {
  can_frame f{};
  iovec iov{&f, sizeof f};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(uint32_t))];
  msghdr mh{};
  mh.msg_iov = &iov;
  mh.msg_iovlen = 1;
  mh.msg_control = control;
  mh.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(FFd, &mh, MSG_DONTWAIT);
  if (n < 0)
    return false;
  for (cmsghdr *c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c))
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
      uint32_t total;
      std::memcpy(&total, CMSG_DATA(c), sizeof total);
      FOverflow.Note(total);
      FCounters.DroppedOverflow = FOverflow.Lost();
    }
  if (n != static_cast<ssize_t>(sizeof f) || (mh.msg_flags & MSG_TRUNC) || (f.can_id & CAN_ERR_FLAG) ||
      f.len > CAN_MAX_DLEN) {
    ++FCounters.IgnoredFrames;
    return true;
  }
  if (FComm->TransmitMessage(new TCanMessage(FromCanFrame(f)))) {
    if (FVerbose)
      LogFrame(FInterface, f);
  } else {
    ++FCounters.DroppedHandOver;
  }
  return true;
}

void TBridge::LogFrame(const std::string &interfaceName, const can_frame &f) {
  std::fprintf(FLog, "%s\n", CandumpText(interfaceName, FNameWidth, f).c_str());
  if (!FDatabase || (f.can_id & CAN_RTR_FLAG))
    return;
  const bool extended = (f.can_id & CAN_EFF_FLAG) != 0;
  const uint32_t id = f.can_id & (extended ? CAN_EFF_MASK : CAN_SFF_MASK);
  for (const std::string &line : DecodedLines(*FDatabase, id, extended, f.data, std::min<int>(f.len, 8)))
    std::fprintf(FLog, "%s\n", line.c_str());
}

void TBridge::NoteDrops() {
  FCounters.ToAdapter = FComm->AcceptedFrames();
  FCounters.DroppedQueueFull = FComm->DroppedFrames();
  const uint64_t drops = FCounters.DroppedQueueFull + FCounters.DroppedInterface + FCounters.DroppedHandOver +
                         FCounters.DroppedNotAccepted + FCounters.DroppedOverflow;
  if (FVerbose && drops != FReportedDrops) {
    std::fprintf(FErr, "molvar-bridge: %llu frames dropped so far\n", static_cast<unsigned long long>(drops));
    FReportedDrops = drops;
  }
}

int TBridge::Run(const std::atomic<bool> &stop) {
  if (!FComm)
    return bridgeexit::NoAdapter;
  using TClock = std::chrono::steady_clock;
  // Looking for the adapter on the bus asks it for its serial number, a
  // control transfer between the frames' transfers: done only after a
  // second in which the adapter neither delivered nor accepted a frame
  // (while it does, it is there).
  auto lastCheck = TClock::now();
  uint64_t moved = 0;
  TStampedFrame frame;
  while (!stop.load(std::memory_order_acquire)) {
    while (FComm->ReceiveMessage(frame))
      FOut.push_back(ToCanFrame(frame.Msg));
    ToInterface();
    // Past the bound of frames waiting for the adapter the rest stays in the
    // interface, where the kernel counts what its buffer cannot hold.
    auto room = [&] { return FComm->TransmitRoom(); };
    // Without room the socket is not read, and not waited on either, so
    // that a stuck adapter does not make this loop spin.
    pollfd p{FFd, static_cast<short>(room() ? POLLIN : 0), 0};
    const int r = ::poll(&p, 1, PollMs);
    if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
      std::fprintf(FErr, "molvar-bridge: the interface %s went away\n", FInterface.c_str());
      return bridgeexit::InterfaceLost;
    }
    if (r > 0 && (p.revents & POLLIN))
      for (int k = 0; k < ReadsPerRound && room() && FromInterface(); ++k) {
      }
    NoteDrops();
    bool removed = FComm->Finished() || !FAdapter.IsOpen();
    const auto now = TClock::now();
    if (!removed && now - lastCheck >= std::chrono::seconds(1)) {
      const uint64_t movedNow = FComm->ReceivedFrames() + FComm->AcceptedFrames();
      removed = movedNow == moved && FAdapter.CheckRemoved();
      moved = movedNow;
      lastCheck = now;
    }
    if (removed) {
      std::fprintf(FErr, "molvar-bridge: the adapter %s went away\n", FAdapter.SerialNumber().c_str());
      return bridgeexit::AdapterLost;
    }
  }
  return bridgeexit::Stopped;
}

std::string TBridge::CountersText() const {
  const TBridgeCounters &c = FCounters;
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "molvar-bridge: adapter -> %s: %llu frames, %s -> adapter: %llu frames\n"
                "molvar-bridge: dropped: %llu (adapter receive queue full), %llu (refused by %s), "
                "%llu (adapter gone before taking them), %llu (not accepted by the adapter before the end), "
                "%llu (%s receive buffer overflow); %llu error or malformed frames ignored\n",
                FInterface.c_str(), static_cast<unsigned long long>(c.FromAdapter), FInterface.c_str(),
                static_cast<unsigned long long>(c.ToAdapter), static_cast<unsigned long long>(c.DroppedQueueFull),
                static_cast<unsigned long long>(c.DroppedInterface), FInterface.c_str(),
                static_cast<unsigned long long>(c.DroppedHandOver), static_cast<unsigned long long>(c.DroppedNotAccepted),
                static_cast<unsigned long long>(c.DroppedOverflow),
                FInterface.c_str(), static_cast<unsigned long long>(c.IgnoredFrames));
  return buf;
}

int OpenCanInterface(const std::string &name, std::string &error) {
  if (name.empty() || name.size() >= IFNAMSIZ) {
    error = "\"" + name + "\" is not an interface name";
    return -1;
  }
  const int fd = ::socket(PF_CAN, SOCK_RAW | SOCK_CLOEXEC, CAN_RAW);
  if (fd < 0) {
    error = std::string("CAN sockets are not available here (") + std::strerror(errno) +
            "); load the can and can_raw kernel modules";
    return -1;
  }
  ifreq ifr{};
  std::memcpy(ifr.ifr_name, name.c_str(), name.size() + 1);
  if (::ioctl(fd, SIOCGIFINDEX, &ifr) < 0) {
    error = "there is no interface " + name + " (create one with: ip link add dev " + name + " type vcan)";
    ::close(fd);
    return -1;
  }
  const int index = ifr.ifr_ifindex;
  if (::ioctl(fd, SIOCGIFFLAGS, &ifr) == 0 && !(ifr.ifr_flags & IFF_UP)) {
    error = "the interface " + name + " is down (ip link set " + name + " up)";
    ::close(fd);
    return -1;
  }
  sockaddr_can addr{};
  addr.can_family = AF_CAN;
  addr.can_ifindex = index;
  if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) < 0) {
    error = "cannot bind to " + name + ": " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

namespace {
// The set-up file's configuration and filters, or the defaults of a new
// set-up; false when the file cannot be read.
bool LoadSetupFile(const std::string &path, TSetup &setup, std::string &error) {
  const QString file = QString::fromLocal8Bit(path.c_str());
  // The settings reader takes a missing file for an empty one; a set-up
  // named on the command line must be there.
  if (!QFileInfo::exists(file)) {
    error = "there is no file " + path;
    return false;
  }
  TIniFile ini(file);
  if (!ini.ReadError().isEmpty()) {
    error = "cannot read " + path + ": " + ini.ReadError().toStdString();
    return false;
  }
  if (!HoldsSetup(ini)) {
    error = path + " is no set-up file: it holds none of a set-up's sections";
    return false;
  }
  setup = ReadSetup(ini).Setup;
  return true;
}
} // namespace

int RunBridge(const TBridgeOptions &o, const TOpenInterface &openInterface, const std::atomic<bool> &stop,
              std::FILE *out, std::FILE *err) {
  TSetup setup;
  {
    TIniFile none{QString()}; // no file: the defaults of a new set-up
    setup = ReadSetup(none).Setup;
  }
  setup.DevConfig.Speed = static_cast<uint8_t>(*SpeedOfBitRate(500000));
  std::string error;
  if (!o.SetupFile.empty() && !LoadSetupFile(o.SetupFile, setup, error)) {
    std::fprintf(err, "molvar-bridge: %s\n", error.c_str());
    return bridgeexit::BadSetup;
  }
  if (o.BitRate)
    setup.DevConfig.Speed = static_cast<uint8_t>(*SpeedOfBitRate(*o.BitRate));
  if (o.Termination)
    setup.DevConfig.Termination = *o.Termination;
  if (o.Retransmission)
    setup.DevConfig.Retransmission = *o.Retransmission;
  if (o.Loopback)
    setup.DevConfig.LoopbackMode = 1;
  std::shared_ptr<const TDatabase> database;
  if (!o.Database.empty()) {
    TDatabaseFile file = ReadDatabaseFile(o.Database);
    if (file.Database)
      for (const TDbcError &e : file.Database->Errors)
        std::fprintf(err, "molvar-bridge: %s:%d: %s\n", o.Database.c_str(), e.Line, e.Text.c_str());
    if (!file.Error.empty())
      std::fprintf(err, file.Readable ? "molvar-bridge: %s is no CAN database: %s\n" : "molvar-bridge: cannot read %s: %s\n", o.Database.c_str(), file.Error.c_str());
    if (file.Error.empty() && file.Database->Errors.empty())
      database = std::make_shared<TDatabase>(std::move(*file.Database));
    else
      return bridgeexit::BadSetup;
  }

  const int fd = openInterface(o.Interface, error);
  if (fd < 0) {
    std::fprintf(err, "molvar-bridge: %s\n", error.c_str());
    return bridgeexit::NoInterface;
  }
  struct CloseFd {
    int fd;
    ~CloseFd() { ::close(fd); }
  } closeFd{fd};

  TVNI adapter;
  if (!libusbdyn::Bind()) {
    std::fprintf(err, "molvar-bridge: libusb-0.1 (libusb-0.1.so.4) could not be loaded\n");
    return bridgeexit::NoAdapter;
  }
  std::vector<std::string> serials;
  adapter.ListSerialNumbers(&serials);
  std::string serial = o.Serial;
  if (serial.empty()) {
    if (serials.empty()) {
      std::fprintf(err, "molvar-bridge: no adapter found\n");
      return bridgeexit::NoAdapter;
    }
    serial = serials.front();
  } else if (std::find(serials.begin(), serials.end(), serial) == serials.end()) {
    std::string found;
    for (const std::string &s : serials)
      found += (found.empty() ? "" : ", ") + s;
    std::fprintf(err, "molvar-bridge: no adapter with serial number %s (found: %s)\n", serial.c_str(),
                 found.empty() ? "none" : found.c_str());
    return bridgeexit::NoAdapter;
  }

  TBridge bridge(adapter, fd, o.Interface, o.Verbose, out, err);
  if (database)
    bridge.SetDatabase(database);
  if (!bridge.Connect(serial, setup.DevConfig, setup.Filters)) {
    std::fprintf(err, "molvar-bridge: the connection to adapter %s failed\n", serial.c_str());
    return bridgeexit::NoAdapter;
  }
  if (o.Verbose)
    std::fprintf(err, "molvar-bridge: adapter %s <-> %s\n", serial.c_str(), o.Interface.c_str());
  const int code = bridge.Run(stop);
  bridge.Disconnect();
  std::fprintf(out, "%s", bridge.CountersText().c_str());
  std::fflush(out);
  return code;
}
