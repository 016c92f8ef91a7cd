// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test helpers around the simulated adapter's control interface.

#include "simcontrol.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

struct WireRecord {
  bool out;
  int device;
  int result;
  std::vector<uint8_t> bytes;
  int timeoutMs;
  long afterWriteUs; // reads: since the device's last write ended
};

// Waits for the condition, at most a minute, so that a fault fails the test
// instead of hanging the run.
template <typename F> [[nodiscard]] bool WaitFor(F cond) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::yield();
  }
  return true;
}

inline std::vector<WireRecord> Trace() {
  std::vector<WireRecord> r;
  int n = sim_trace_count();
  for (int i = 0; i < n; ++i) {
    SimTraceEntry e;
    if (sim_trace_entry(i, &e))
      r.push_back({e.out != 0, e.device, e.result, std::vector<uint8_t>(e.bytes, e.bytes + e.length), e.timeout_ms,
                   e.after_write_us});
  }
  return r;
}

// Bytes as upper-case hexadecimal pairs separated by blanks.
inline std::string Hex(const std::vector<uint8_t> &bytes) {
  std::string s;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02X", v);
    if (!s.empty())
      s += ' ';
    s += b;
  }
  return s;
}

// Only the requests the host sent, as hex lines.
inline std::vector<std::string> Requests() {
  std::vector<std::string> r;
  for (const auto &w : Trace())
    if (w.out && w.result > 0)
      r.push_back(Hex(w.bytes));
  return r;
}

inline std::string CallLog() {
  int n = sim_call_log(nullptr, 0);
  std::string s(n + 1, '\0');
  sim_call_log(s.data(), n + 1);
  s.resize(n);
  return s;
}

inline int Count(const std::vector<std::string> &v, const std::string &x) {
  int c = 0;
  for (const auto &e : v)
    c += e == x;
  return c;
}

inline int CountPrefix(const std::vector<std::string> &v, const std::string &prefix) {
  int n = 0;
  for (const auto &e : v)
    n += e.rfind(prefix, 0) == 0;
  return n;
}

inline std::vector<uint8_t> FrameBytes(uint8_t idType, uint8_t rtr, uint8_t dlc, uint32_t id,
                                       std::vector<uint8_t> data = {}) {
  std::vector<uint8_t> f(20, 0);
  f[0] = 0x01;
  f[1] = 0x05;
  f[2] = idType;
  f[3] = rtr;
  f[5] = dlc;
  for (int i = 0; i < 4; ++i)
    f[8 + i] = static_cast<uint8_t>(id >> (8 * i));
  for (size_t i = 0; i < data.size() && i < 8; ++i)
    f[12 + i] = data[i];
  return f;
}
