#!/usr/bin/env bash
# Runs the real molvar binary on the simulated adapter under a virtual X
# server: connects with the keyboard, sends the transmit list, lets frames
# arrive, exports the log through the File menu, exits, and checks what the adapter saw and that a settings file was
# left behind. Exit 77: skipped (no Xvfb or xdotool here).
set -euo pipefail
molvar=$1
simdir=$2
for tool in xvfb-run xdotool xclip; do
  command -v $tool >/dev/null || { echo "needs $tool"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config"
printf '[Main]\r\nLeftPos=0\r\nTopPos=0\r\nWidth=800\r\nHeight=600\r\n[DevConfig]\r\nSpeed=6\r\nLoopbackMode=1\r\n[Messages]\r\nn=1\r\n0=Std\t  321\tAB\tCD\r\n' \
  > "$work/config/vni_Molvar.ini"

cat > "$work/drive.sh" <<'DRIVE'
#!/usr/bin/env bash
set -euo pipefail
cd "$WORK"   # where the file dialog starts
# In the file dialog titled $1 (its title noted): the name $2 typed over the
# name box's text, then Return.
name_file() {
  local dlg
  dlg=$(timeout 30 xdotool search --sync --name "^$1" | head -n 1)
  xdotool getwindowname "$dlg" >> "$WORK/titles"
  xdotool windowfocus --sync "$dlg"
  sleep 0.5
  xdotool key ctrl+a
  xdotool type --delay 20 "$2"
  xdotool key Return
}
"$MOLVAR" &
pid=$!
wid=$(timeout 30 xdotool search --sync --name 'Varnell-Interface Molvar' | head -n 1)
xdotool windowfocus --sync "$wid"
xdotool getwindowname "$wid" > "$WORK/titles"
xdotool key --window "$wid" alt+c       # Connect: one adapter, no dialog
sleep 2
xdotool key --window "$wid" alt+a       # Tx all
sleep 1
# The first line of the frame log, copied as a user would: click it, Ctrl+C.
read -r x y < <(xdotool getwindowgeometry "$wid" | awk '/Position/ { split($2, p, ","); print p[1], p[2] }')
xdotool mousemove $((x + 60)) $((y + 112)) click 1
sleep 0.3
xdotool key --window "$wid" ctrl+c
sleep 0.3
xclip -selection clipboard -o > "$WORK/logline" || true
# Export Log... (Ctrl+E), as CSV; the name is typed into the dialog, which
# starts in this folder. No file here begins like the name, so the name
# box's completion list does not open and take a key; and the name has no
# "e", the key of the synthetic Ctrl+E, whose next press the toolkit may
# take for a repeat.
xdotool key --window "$wid" ctrl+e
name_file 'Export Log' out.csv
for i in $(seq 40); do [ -s "$WORK/out.csv" ] && break; sleep 0.25; done
xdotool windowfocus --sync "$wid"
xdotool key --window "$wid" alt+x       # Exit
timeout 30 tail --pid=$pid -f /dev/null
wait $pid

# Again, ended by SIGTERM half a second into a recording: the window closes
# as Exit does. (No file here begins with "z": no completion list opens.)
MOLVAR_SIM_REPORT="$WORK/report2" "$MOLVAR" &
pid=$!
wid=$(timeout 30 xdotool search --sync --name 'Varnell-Interface Molvar' | head -n 1)
xdotool windowfocus --sync "$wid"
xdotool key --window "$wid" alt+c
sleep 1
xdotool key --window "$wid" alt+f
sleep 0.3
xdotool key r
name_file 'Record to File' zz.log
for i in $(seq 40); do [ -e "$WORK/zz.log" ] && break; sleep 0.05; done
sleep 0.5
kill -TERM $pid
timeout 30 tail --pid=$pid -f /dev/null
status=0
wait $pid || status=$?
echo $status > "$WORK/term-status"
DRIVE
chmod +x "$work/drive.sh"

WORK="$work" MOLVAR="$molvar" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb \
  LD_LIBRARY_PATH="$simdir" MOLVAR_SIM_ADAPTERS=E2E0001 MOLVAR_SIM_TRAFFIC_MS=20 \
  MOLVAR_SIM_REPORT="$work/report" \
  xvfb-run -a -s "-screen 0 1024x768x24" "$work/drive.sh"

cat "$work/report" | grep -v '^request 00 05' | head -n 40
fail=0
grep -q 'request 01 01 00 00' "$work/report" || { echo "no handshake"; fail=1; }
grep -q 'request 01 03 03 00' "$work/report" || { echo "no start command"; fail=1; }
[ "$(grep -c 'request 11 05' "$work/report")" -ge 14 ] || { echo "filters not sent"; fail=1; }
grep -q 'request 00 01 00 00' "$work/report" || { echo "adapter not closed at exit"; fail=1; }
grep -Eq 'adapter E2E0001 delivered [1-9][0-9]* transmitted 1 ' "$work/report" || { echo "frames not exchanged"; fail=1; }
grep -q 'open handles 0' "$work/report" || { echo "device left open"; fail=1; }
echo "first log line: $(tr '\t' ' ' < "$work/logline" 2>/dev/null)"
grep -Pq '^(Rx|Tx)\t(Std|Ext)\t' "$work/logline" 2>/dev/null || { echo "no frame line in the log"; fail=1; }
[ "$(head -n 1 "$work/out.csv" 2>/dev/null)" = "Time,Direction,ID,Format,Remote,DLC,Data" ] &&
  grep -Eq '^[0-9]+\.[0-9]{6},Tx,321,std,0,2,AB CD$' "$work/out.csv" || { echo "log not exported:"; head -n 3 "$work/out.csv"; grep ",Tx," "$work/out.csv" | head -3; fail=1; }
# Ended by SIGTERM: exit status 0, the recording's lines written whole, the
# adapter closed and released.
[ "$(cat "$work/term-status" 2>/dev/null)" = 0 ] || { echo "SIGTERM: exit status $(cat "$work/term-status" 2>/dev/null)"; fail=1; }
lines=$(grep -c '^([0-9]*\.[0-9]\{6\}) can0 [0-9A-F]*#[0-9A-F]*$' "$work/zz.log" 2>/dev/null || true)
[ "${lines:-0}" -ge 5 ] && [ "$(tail -c 1 "$work/zz.log" | od -An -c | tr -d ' ')" = '\n' ] ||
  { echo "SIGTERM: recording not written whole ($lines lines)"; tail -n 2 "$work/zz.log"; fail=1; }
grep -q 'request 00 01 00 00' "$work/report2" && grep -q 'open handles 0' "$work/report2" ||
  { echo "SIGTERM: adapter not closed"; tail -n 3 "$work/report2"; fail=1; }
# Window titles exactly as the windows give them, nothing appended.
[ "$(cat "$work/titles")" = "$(printf 'Varnell-Interface Molvar\nExport Log\nRecord to File')" ] ||
  { echo "window titles:"; cat "$work/titles"; fail=1; }
# The file dialog was used; the configuration folder holds the settings file
# alone.
[ "$(ls -A "$work/config")" = "vni_Molvar.ini" ] || { echo "configuration folder:"; ls -A "$work/config"; fail=1; }
grep -q 'Messages' "$work/config/vni_Molvar.ini" && grep -q '^State=0' "$work/config/vni_Molvar.ini" ||
  { echo "no settings written at exit"; fail=1; }
exit $fail
