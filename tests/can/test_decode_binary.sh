#!/usr/bin/env bash
# molvar-decode as a user runs it: a log on standard input, the demo
# database, lines that are not frames counted, a damaged database refused
# with its line number.
#   test_decode_binary.sh MOLVAR_DECODE DEMO_DBC
set -u
decode=$1
dbc=$2
fail=0
check() { if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%s\n' '(1700000000.000000) can0 0C8#401F3003000005AB' 'not a frame' \
  '(1700000000.000100) can0 3E8#00644B' '(1700000000.000200) can0 3E8#01413A' \
  '(1700000000.000300) vcan0 18FEF100#0000780000393000 R' '(1700000000.000400) can0 123#11' \
  '(1700000000.000500) can0 0C8##1401F' '' > "$work/in.log"
"$decode" "$dbc" < "$work/in.log" > "$work/out" 2> "$work/err"; rc=$?
cat > "$work/expected" <<'OUT'
0C8 EngineData EngineSpeed 2000 rpm
0C8 EngineData EngineTorque 8 Nm
0C8 EngineData RollingCounter 5
0C8 EngineData Checksum 171
3E8 Temperatures Page 0
3E8 Temperatures CoolantTemp 60 degC
3E8 Temperatures OilTemp 35 degC
3E8 Temperatures Page 1
3E8 Temperatures IntakeTemp 25 degC
3E8 Temperatures AmbientTemp 18 degC
18FEF100 VehicleMotion VehicleSpeed 120 km/h
18FEF100 VehicleMotion Odometer 1459.2 km
OUT
check "the signals of every frame the database describes, exit 0 (rc $rc)" \
  '[ $rc -eq 0 ] && diff "$work/expected" "$work/out"'
check "the line that is not a frame is counted: $(cat "$work/err")" \
  'grep -qx "molvar-decode: 1 line could not be read" "$work/err"'

printf 'BO_ 100 A: 8 X\n SG_ S : 0|8@1+ (1,0) [0|1] "" X\n SG_ T 0|8@1+ (1,0) [0|1] "" X\n' > "$work/bad.dbc"
"$decode" "$work/bad.dbc" < /dev/null > /dev/null 2> "$work/err"; rc=$?
check "a damaged database: exit 1 and its line: $(cat "$work/err")" \
  '[ $rc -eq 1 ] && grep -q "bad.dbc:3: SG_" "$work/err"'
"$decode" "$work/missing.dbc" < /dev/null 2> "$work/err"; rc=$?
check "a missing database: exit 1 (rc $rc)" '[ $rc -eq 1 ] && grep -q "cannot read" "$work/err"'
"$decode" 2> /dev/null; rc=$?
check "no database: usage, exit 2 (rc $rc)" '[ $rc -eq 2 ]'
"$decode" -x 2> "$work/err"; rc=$?
check "an unknown option: exit 2 (rc $rc)" '[ $rc -eq 2 ] && grep -q "unknown option -x" "$work/err"'
"$decode" "$work" < /dev/null 2> "$work/err"; rc=$?
check "a directory: exit 1 and said (rc $rc)" '[ $rc -eq 1 ] && grep -q "is a directory" "$work/err"'
"$decode" /etc/passwd < /dev/null 2> "$work/err"; rc=$?
check "a file that is no database: exit 1 and said (rc $rc)" '[ $rc -eq 1 ] && grep -q "no CAN database" "$work/err"'
if [ -w /dev/full ]; then
  "$decode" "$dbc" < "$work/in.log" > /dev/full 2> "$work/err"; rc=$?
  check "a full disk: exit 1 and the reason (rc $rc)" '[ $rc -eq 1 ] && grep -q "No space left on device" "$work/err"'
fi
tr '\n' '\r' < "$dbc" > "$work/cr.dbc"
"$decode" "$work/cr.dbc" < "$work/in.log" > "$work/out" 2> /dev/null; rc=$?
check "a database with CR line ends reads as with LF (rc $rc)" '[ $rc -eq 0 ] && diff -q "$work/expected" "$work/out"'
LC_ALL=de_DE.UTF-8 "$decode" "$dbc" < "$work/in.log" > "$work/out" 2> /dev/null; rc=$?
check "a decimal-comma locale reads and writes the same (rc $rc)" '[ $rc -eq 0 ] && diff -q "$work/expected" "$work/out"'
exit $fail
