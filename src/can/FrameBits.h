// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How long a frame is on the bus: for the bus load figure and for anything
// that times frames as a bus would carry them.

#include "adapter/Vni_if.h"

// Bits a frame occupies on the bus, interframe space included. Counted
// exactly rather than estimated: the bits from start of frame to the end of
// the CRC (the CRC-15 of the frame's own content) with the stuff bits that
// content requires (one after every five equal bits, the stuff bit itself
// counting towards the next run), plus 13 unstuffed bits: CRC delimiter,
// ACK slot and delimiter, 7 end-of-frame and 3 intermission bits. A
// standard data frame of n bytes takes 47 + 8n bits before stuffing, an
// extended one 67 + 8n; a remote request counts as n = 0.
int FrameBits(const TCanMessage &msg);
