// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Control interface of the simulated adapter library: tests and the demo add
// and unplug adapters, inject frames, script faults and read the wire trace.
// The library itself exports the libusb-0.1 interface of <usb.h>.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SIM_API __attribute__((visibility("default")))

// Forget every device, fault, frame and trace entry.
SIM_API void sim_reset(void);

// Plug in an adapter (vendor 0x20A0, product 0x41E8) or any device; devices
// appear on the bus in the order they were added. A null serial makes the
// serial number string unreadable.
SIM_API void sim_add_adapter(const char *serial);
SIM_API void sim_add_device(uint16_t vendor, uint16_t product, const char *serial);
SIM_API void sim_unplug(const char *serial);
SIM_API void sim_replug(const char *serial);
SIM_API void sim_set_open_refused(const char *serial, int refused);

// Adapter behaviour. A handshake status of -1 sends no reply at all.
SIM_API void sim_set_handshake_status(const char *serial, int status);
SIM_API void sim_set_transmit_status(const char *serial, int status);
SIM_API void sim_set_filter_status(const char *serial, int status);
SIM_API void sim_set_info(const char *serial, uint8_t revision, uint16_t firmware);
SIM_API void sim_set_info_raw(const char *serial, const uint8_t record[64]);
// Every receive poll finds a frame waiting.
SIM_API void sim_set_flood(const char *serial, int on);
// A frame on the bus every period_ms once an adapter is started (0: off).
SIM_API void sim_set_traffic(int period_ms);

// The demo's small vehicle bus on every adapter added so far: six messages
// on their own periods (10 ms to 1 s) with moving values.
SIM_API void sim_set_demo_traffic(int on);
// A bus that carries frames at bit_rate bit/s, busy load_percent of the time
// (each frame timed by its exact length on the bus; 0: off). Every started
// adapter hears them through its acceptance filters and its receive queue.
SIM_API void sim_set_bus_load(int bit_rate, double load_percent);
// Frames the adapter's receive queue holds (default 256); frames heard when
// it is full are lost in the adapter and counted.
SIM_API void sim_set_rx_queue_depth(const char *serial, int depth);

// Put a 20-byte frame record on the bus: every started adapter takes it
// through its acceptance filters. With a serial, only that adapter hears it.
SIM_API void sim_inject_frame(const char *serial, const uint8_t record[20]);

// Faults. Transfers are counted across both directions from the call on:
// transfer n (1 = the next one) returns code and does nothing else; n <= 0
// forgets every fault scheduled so.
SIM_API void sim_fail_transfer(int n, int code);
// The next count writes (reads) fail with code; count -1: every one.
SIM_API void sim_set_write_failures(int count, int code);
SIM_API void sim_set_read_failures(int count, int code);
// The next reply is replaced by these bytes (any length; longer than the read
// asks for gives the library's overflow error).
SIM_API void sim_set_next_reply(const uint8_t *bytes, int length);
// A reply of a request whose client died before reading it: the adapter
// holds it for the next read, whatever is requested in between.
SIM_API void sim_leave_unread_reply(const char *serial, const uint8_t *bytes, int length);
// Each transfer takes this long, outside the simulator's lock (default and
// after sim_reset: MOLVAR_SIM_TRANSFER_US or 250 us, a full-speed transfer
// through a transaction translator; see simusb.cpp).
SIM_API void sim_set_transfer_delay_us(int us);
SIM_API int sim_transfer_delay_us(void);
// The adapter's reply to a command (its command word; 0: every command
// without a latency of its own) becomes readable this long after the
// request. A read waits for it up to its time-out and returns the library's
// time-out code when it comes later; a read with no reply coming waits out
// its time-out.
SIM_API void sim_set_reply_latency_us(const char *serial, uint16_t command, int us);

// Wire trace of every transfer, both ways.
typedef struct {
  int out;        // 1: host to adapter, 0: adapter to host
  int device;     // index of the device in the order added
  int result;     // what the library call returned
  int length;     // bytes moved (0 on an error)
  uint8_t bytes[64];
  int timeout_ms; // the time-out the caller gave
  // For a read: microseconds from the end of the device's last write to the
  // start of this read.
  long after_write_us;
} SimTraceEntry;
SIM_API int sim_trace_count(void);
SIM_API int sim_trace_entry(int index, SimTraceEntry *entry);
SIM_API void sim_trace_clear(void);
// Keep at most this many of the newest entries (default and after sim_reset:
// 200,000; 0 keeps none and no call log either, for measurements of the
// host's own memory).
SIM_API void sim_set_trace_limit(int entries);

// Library calls in order, as names separated by blanks.
SIM_API int sim_call_log(char *buffer, int size);
SIM_API void sim_call_log_clear(void);
SIM_API int sim_call_count(const char *name);

// Adapter counters: frames accepted for transmission, frames waiting in the
// adapter's receive queue, receive polls answered with a frame, frames lost
// at a full receive queue, frames the bus source offered while it listened.
SIM_API long sim_frames_transmitted(const char *serial);
SIM_API long sim_rx_backlog(const char *serial);
SIM_API long sim_frames_delivered(const char *serial);
SIM_API long sim_rx_dropped(const char *serial);
SIM_API long sim_bus_offered(const char *serial);
// Bulk transfer calls entered so far (counted before the transfer delay).
SIM_API long sim_transfers_entered(void);
// Open handles on all devices (claimed interfaces included).
SIM_API int sim_open_handles(void);
// Handles closed while a transfer on them was still in progress (a closed
// handle in use is a use after free in the real library).
SIM_API int sim_closed_under_transfer(void);

#ifdef __cplusplus
}
#endif
