// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The frame line: the tab-separated text form of a CAN frame shown in the
// frame log and the transmit list, and stored in set-up files.

#include "adapter/Vni_if.h"

#include <QString>

#include <cstdint>

// Any text to a 32-bit value: hexadecimal digits of either case count, every
// other character counts as the digit 0; digits beyond 32 bits are lost.
uint32_t HexToInt(const QString &text);

// "Rx"/"Tx" (or no) prefix, "Std"/"Ext", the identifier, then the data bytes
// or the remote request text, separated by single TABs.
QString MessageToLine(const QString &prefix, const TCanMessage &msg);

// Fills the record from a stored frame line; never fails, and never gives a
// data length above 8.
void LineToMessage(const QString &text, TCanMessage &msg);

// The text of a remote request field before its data length.
extern const char *const RemoteRequestPrefix;
