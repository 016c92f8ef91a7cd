// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a CAN frame record means: its identifier kind, whether it is a remote
// request, its identifier and its payload. Every reader of a record (the log,
// the export, the bridge, the bus statistics, the editor) asks here, so that
// a record reads the same everywhere.

#include "adapter/Vni_if.h"

#include <algorithm>
#include <cstdint>

constexpr uint32_t StandardIdMask = 0x7FF;
constexpr uint32_t ExtendedIdMask = 0x1FFFFFFF;
constexpr int MaxDataLength = 8;

// Any non-zero IDType is an extended frame.
inline bool IsExtended(const TCanMessage &msg) { return msg.IDType != 0; }
// Any non-zero RTR is a remote request (the adapter's own value is 2).
inline bool IsRemote(const TCanMessage &msg) { return msg.RTR != 0; }
// An identifier within the width of its kind: what the editor stores and
// what is handed to the adapter.
inline uint32_t MaskId(uint32_t id, bool extended) { return id & (extended ? ExtendedIdMask : StandardIdMask); }
inline uint32_t MaskedId(const TCanMessage &msg) { return MaskId(msg.ID, IsExtended(msg)); }
// The record as the adapter gets it: a set-up file may hold any identifier
// text, and the list shows it as stored, but the bus sees it masked.
inline TCanMessage WireFrame(const TCanMessage &msg) {
  TCanMessage wire = msg;
  wire.ID = MaskedId(msg);
  return wire;
}
// The length the frame announces, at most the eight bytes a record holds.
inline int FrameLength(const TCanMessage &msg) { return std::min<int>(msg.DLC, MaxDataLength); }
// The data bytes the frame carries: none for a remote request.
inline int PayloadLength(const TCanMessage &msg) { return IsRemote(msg) ? 0 : FrameLength(msg); }
