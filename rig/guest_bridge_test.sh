#!/bin/bash
# Inside the rig's virtual machine: molvar-bridge joins the adapter gadget
# (whose bus is vcan0) to vcan1, with Debian's real libusb-0.1. Frames sent
# with cansend on one side must appear, byte for byte, to candump on the
# other; SIGTERM must close the adapter and end with status 0.
#   guest_bridge_test.sh BUILD_DIR
set -u
build=$1
fail=0
check() { if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi; }
modprobe dummy_hcd && modprobe gadgetfs && mkdir -p /dev/gadget && mount -t gadgetfs gadgetfs /dev/gadget
modprobe vcan && modprobe can_raw
for i in 0 1; do ip link add dev vcan$i type vcan && ip link set vcan$i up; done
"$build/rig/adapter_gadget" RIG0003 vcan0 /tmp/bridge-gadget.trace &
gadget=$!
sleep 2

out=$("$build/src/molvar-bridge" --serial NOSUCH vcan1 2>&1); rc=$?
check "an unknown serial number is refused with status 3: $out" '[ $rc -eq 3 ] && echo "$out" | grep -q "found: RIG0003"'

"$build/src/molvar-bridge" --serial RIG0003 --bitrate 250000 --verbose vcan1 > /tmp/bridge.out 2> /tmp/bridge.err &
bridge=$!
# Connected once the gadget has recorded the start command.
for i in $(seq 60); do grep -q "^01 03 03 00" /tmp/bridge-gadget.trace 2>/dev/null && break; sleep 0.5; done
check "the bridge configured the adapter for 250 kbit/s and started it" \
  'grep -q "^01 04 05 01 01 00 00 00" /tmp/bridge-gadget.trace && grep -q "^01 03 03 00" /tmp/bridge-gadget.trace'

# vcan1 to the adapter's bus (vcan0).
(timeout 30 candump -n 3 -L vcan0 > /tmp/bus.txt &)
sleep 1
cansend vcan1 123#DEADBEEF
cansend vcan1 1ABCDEF0#0102030405060708
cansend vcan1 7FF#R
for i in $(seq 60); do [ "$(wc -l < /tmp/bus.txt)" -ge 3 ] && break; sleep 0.5; done
check "the adapter's bus sees the frames written to vcan1: $(tr '\n' ' ' < /tmp/bus.txt)" \
  'grep -q "vcan0 123#DEADBEEF$" /tmp/bus.txt && grep -q "vcan0 1ABCDEF0#0102030405060708$" /tmp/bus.txt &&
   grep -q "vcan0 7FF#R$" /tmp/bus.txt'

# The adapter's bus to vcan1.
(timeout 30 candump -n 2 -L vcan1 > /tmp/iface.txt &)
sleep 1
cansend vcan0 321#CAFE
cansend vcan0 00000042#R3
for i in $(seq 60); do [ "$(wc -l < /tmp/iface.txt)" -ge 2 ] && break; sleep 0.5; done
check "vcan1 sees the adapter's frames: $(tr '\n' ' ' < /tmp/iface.txt)" \
  'grep -q "vcan1 321#CAFE$" /tmp/iface.txt && grep -q "vcan1 00000042#R3$" /tmp/iface.txt'

kill -TERM "$bridge"
wait "$bridge"; rc=$?
check "SIGTERM ends the bridge with status 0" '[ $rc -eq 0 ]'
check "the adapter was closed with its close command" '[ "$(tail -n 1 /tmp/bridge-gadget.trace)" = "00 01 00 00" ]'
check "the counters add up: $(grep -- '->' /tmp/bridge.out)" \
  'grep -q "adapter -> vcan1: 2 frames, vcan1 -> adapter: 3 frames" /tmp/bridge.out && grep -q "dropped: 0 (adapter receive queue full), 0 (refused by vcan1), 0 (adapter gone before taking them), 0 (not accepted by the adapter before the end), 0 (vcan1 receive buffer overflow)" /tmp/bridge.out'
check "--verbose printed the frames in candump's format" \
  'grep -q "^    vcan1  123   \[4\]  DE AD BE EF$" /tmp/bridge.out && grep -q "^  adapter  321   \[2\]  CA FE$" /tmp/bridge.out'

# A set-up file's configuration and filters, and SIGINT (Ctrl+C).
printf '[DevConfig]\r\nSpeed=7\r\nTermination=0\r\n[Filter_2]\r\nActive=1\r\nMode=1\r\nIDType=0\r\nID=$321\r\nMask=$123\r\n' > /tmp/bridge.vni
lines=$(wc -l < /tmp/bridge-gadget.trace)
"$build/src/molvar-bridge" --setup /tmp/bridge.vni vcan1 > /tmp/bridge3.out 2>&1 &
bridge=$!
for i in $(seq 60); do [ "$(tail -n +$((lines + 1)) /tmp/bridge-gadget.trace | grep -c '^01 03 03 00')" -ge 1 ] && break; sleep 0.5; done
kill -INT "$bridge"
wait "$bridge"; rc=$?
check "SIGINT ends the bridge with status 0 and closes the adapter" \
  '[ $rc -eq 0 ] && [ "$(tail -n 1 /tmp/bridge-gadget.trace)" = "00 01 00 00" ]'
check "the set-up file configured 1 Mbit/s without termination, and filter bank 2" \
  'tail -n +$((lines + 1)) /tmp/bridge-gadget.trace | grep -q "^01 04 07 00 01 00 00 00" &&
   tail -n +$((lines + 1)) /tmp/bridge-gadget.trace | grep -q "^11 05 00 00 00 02 01 01 21 03 00 00 23 01 00 00"'

# The adapter going away ends a run with status 6.
"$build/src/molvar-bridge" vcan1 > /dev/null 2> /tmp/bridge2.err &
bridge=$!
sleep 4
kill "$gadget"
for i in $(seq 40); do kill -0 "$bridge" 2>/dev/null || break; sleep 0.5; done
wait "$bridge"; rc=$?
check "an adapter that goes away ends the bridge with status 6: $(cat /tmp/bridge2.err)" '[ $rc -eq 6 ]'
ip link del vcan1
exit $fail
