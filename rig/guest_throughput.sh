#!/bin/bash
# Inside the rig's virtual machine: how many frames a second each client
# takes from the adapter gadget (Debian's real libusb-0.1, dummy_hcd) under
# one cangen feed on vcan0, counted by the gadget itself: a client polling
# back to back (the ceiling), molvar-bridge, and the window. Prints one line
# per client and round; the machine is emulated in software, so the figures
# are for comparison with each other, not absolute.
#   [ROUNDS=3] guest_throughput.sh BUILD_DIR [SECONDS]
# (through the rig: rig/vm env ROUNDS=6 bash rig/guest_throughput.sh ...)
set -u
build=$1
secs=${2:-10}
modprobe dummy_hcd && modprobe gadgetfs && mkdir -p /dev/gadget && mount -t gadgetfs gadgetfs /dev/gadget
modprobe vcan && modprobe can_raw
for i in 0 1; do ip link add dev vcan$i type vcan && ip link set vcan$i up; done
RIG_COUNTERS=/tmp/counters "$build/rig/adapter_gadget" RIG0004 vcan0 &
sleep 2
# Far more than any client can take: the gadget's queue stays full.
cangen vcan0 -g 0.2 -I 123 -L 8 -D i -p 10 &
feed=$!

field() { awk -v k="$1" '{ for (i = 1; i < NF; i++) if ($i == k) print $(i + 1) }' /tmp/counters; }
# The frames the gadget delivered over the next secs seconds.
rate() {
  local d0 x0 d1 x1
  d0=$(field delivered); x0=$(field dropped)
  sleep "$secs"
  d1=$(field delivered); x1=$(field dropped)
  echo "$1: $(( (d1 - d0) / secs )) frames/s taken, $(( (x1 - x0) / secs )) frames/s lost in the adapter's queue"
}
started() { # waits until the gadget has delivered frames to a new client
  local d0; d0=$(field delivered)
  for i in $(seq 120); do [ "$(field delivered)" -gt $((d0 + 50)) ] && return 0; sleep 0.5; done
  echo "$1 took no frames: $(cat /tmp/counters)"
  return 1
}

export XDG_CONFIG_HOME=/tmp/cfg XDG_RUNTIME_DIR=/tmp/rt QT_QPA_PLATFORM=xcb DISPLAY=:7
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
Xvfb :7 -screen 0 1024x768x24 >/dev/null 2>&1 &
sleep 2

# The emulated machine's speed drifts by tens of per cent over a minute, so
# the three clients take turns, round after round, in an order that turns
# each round (no client always goes first), and each round's shares are of
# that round's polling client.
poller() {
  "$build/rig/rig_poller" RIG0004 $((secs + 60)) > /tmp/poller.out &
  local pid=$!
  started poller && rate poller
  kill $pid 2>/dev/null; wait $pid 2>/dev/null
}
bridge() {
  "$build/src/molvar-bridge" --serial RIG0004 vcan1 > /tmp/bridge.out 2>&1 &
  local pid=$!
  started bridge && rate bridge || cat /tmp/bridge.out
  kill -TERM $pid; wait $pid 2>/dev/null
}
window() {
  "$build/src/molvar" &
  local pid=$! wid
  wid=$(timeout 60 xdotool search --sync --name 'Varnell-Interface Molvar' | head -n 1)
  xdotool windowfocus --sync "$wid"
  xdotool key --window "$wid" alt+c
  started window && rate window
  kill $pid 2>/dev/null; wait $pid 2>/dev/null
}
taken() { awk '{ print $2 }' <<< "$1"; }
clients=(poller bridge window)
for round in $(seq "${ROUNDS:-3}"); do
  declare -A got=()
  for k in 0 1 2; do
    c=${clients[$(( (k + round - 1) % 3 ))]}
    got[$c]=$($c); sleep 1
  done
  p=${got[poller]} b=${got[bridge]} w=${got[window]}
  echo "round $round: $p; $b; $w"
  pt=$(taken "$p"); bt=$(taken "$b"); wt=$(taken "$w")
  [ "${pt:-0}" -gt 0 ] 2>/dev/null && echo "round $round shares: bridge $((100 * ${bt:-0} / pt)) %, window $((100 * ${wt:-0} / pt)) %"
done
kill $feed 2>/dev/null
exit 0
