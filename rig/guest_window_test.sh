#!/bin/bash
# Inside the rig's virtual machine: the whole program on Xvfb against the
# adapter gadget and Debian's real libusb-0.1. Connects with the keyboard,
# sees a frame from cansend in its log, sends its transmit list to candump,
# exports its log for canplayer to replay, and disconnects by itself when the
# gadget goes away.
#   guest_window_test.sh BUILD_DIR
set -u
build=$1
fail=0
check() { if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi; }
modprobe dummy_hcd && modprobe gadgetfs && mkdir -p /dev/gadget && mount -t gadgetfs gadgetfs /dev/gadget
modprobe vcan && modprobe can_raw && ip link add dev vcan0 type vcan && ip link set vcan0 up
"$build/rig/adapter_gadget" RIG0002 vcan0 &
gadget=$!

export XDG_CONFIG_HOME=/tmp/cfg XDG_RUNTIME_DIR=/tmp/rt QT_QPA_PLATFORM=xcb DISPLAY=:7
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[Main]\r\nLeftPos=0\r\nTopPos=0\r\nWidth=800\r\nHeight=600\r\n[Messages]\r\nn=1\r\n0=Ext\t1ABCDEF\tDE\tAD\tBE\r\n' \
  > "$XDG_CONFIG_HOME/vni_Molvar.ini"
Xvfb :7 -screen 0 1024x768x24 >/dev/null 2>&1 &
sleep 2
mkdir -p /tmp/exports && cd /tmp/exports   # where the file dialog starts
"$build/src/molvar" &
molvar=$!
wid=$(timeout 60 xdotool search --sync --name 'Varnell-Interface Molvar' | head -n 1)
xdotool windowfocus --sync "$wid"
xdotool key --window "$wid" alt+c   # one adapter: connects without asking
sleep 4
cansend vcan0 123#1122
sleep 3
eval "$(xdotool getwindowgeometry --shell "$wid")"   # X, Y of the window
xdotool mousemove $((X + 60)) $((Y + 112)) click 1
sleep 1
xdotool key --window "$wid" ctrl+c
sleep 1
line=$(xclip -selection clipboard -o 2>/dev/null | tr '\t' ' ')
check "the frame from cansend is in the log: '$line'" '[ "$line" = "Rx Std   123 11 22" ]'

(timeout 20 candump -n 1 -L vcan0 > /tmp/candump.txt &)
sleep 1
xdotool key --window "$wid" alt+a   # Tx all
for i in $(seq 40); do [ -s /tmp/candump.txt ] && break; sleep 0.5; done
check "candump sees the transmitted frame: $(cat /tmp/candump.txt)" 'grep -q "vcan0 01ABCDEF#DEADBE" /tmp/candump.txt'

# Export Log... in candump's format; canplayer replays the file onto
# the adapter's bus, and the window receives the same frames, as a second
# export (CSV, with directions) shows.
export_log() {
  xdotool windowfocus --sync "$wid"
  xdotool key --window "$wid" ctrl+e   # File > Export Log...
  dlg=$(timeout 30 xdotool search --sync --name '^Export Log' | head -n 1)
  xdotool windowfocus --sync "$dlg"
  sleep 2
  xdotool key ctrl+a   # the name box may hold the last name
  # Names that no file here begins like (no completion list to take a key)
  # and without the "e" of the synthetic Ctrl+E (its next press may be taken
  # for a repeat).
  xdotool type --delay 40 "$1"
  xdotool key Return
  for i in $(seq 30); do [ -s "$1" ] && break; sleep 0.5; done
}
export_log a.log
check "the export holds both frames in candump's format: $(tr '\n' ' ' < a.log)" \
  '[ "$(wc -l < a.log)" -eq 2 ] &&
   grep -Eq "^\([0-9]{10}\.[0-9]{6}\) can0 123#1122$" a.log &&
   grep -Eq "^\([0-9]{10}\.[0-9]{6}\) can0 01ABCDEF#DEADBE$" a.log'
canplayer -t -g 200 -I a.log vcan0=can0
sleep 3
export_log b.csv
check "the window received the replayed frames: $(tail -n 2 b.csv | tr '\n' ' ')" \
  '[ "$(wc -l < b.csv)" -eq 5 ] &&
   tail -n 2 b.csv | head -n 1 | grep -q ",Rx,123,std,0,2,11 22$" &&
   tail -n 1 b.csv | grep -q ",Rx,01ABCDEF,ext,0,3,DE AD BE$"'

kill "$gadget"
sleep 4   # the kernel's remove event reaches the window, which disconnects
xdotool key --window "$wid" alt+c   # disconnected: Connect looks for adapters and finds none
box=$(timeout 30 xdotool search --sync --name '^Molvar' | head -n 1)
check "after the removal the window was disconnected (Connect reports no adapter)" '[ -n "$box" ]'
for w in $(xdotool search --name '^Molvar'); do
  xdotool key --window "$w" Escape 2>/dev/null
done
sleep 1
xdotool windowfocus --sync "$wid"
xdotool key --window "$wid" alt+x
for i in $(seq 40); do kill -0 "$molvar" 2>/dev/null || break; sleep 0.5; done
check "the program ended" '! kill -0 "$molvar" 2>/dev/null'
check "the settings file was written" 'grep -q "^State=0" "$XDG_CONFIG_HOME/vni_Molvar.ini"'
exit $fail
