#!/bin/sh
# The molvar-bridge program itself: help, command-line mistakes and a
# missing interface give their documented exit codes and messages.
#   test_bridge_binary.sh MOLVAR_BRIDGE
bridge=$1
fail() { echo "FAIL: $*"; exit 1; }

out=$("$bridge" --help) || fail "--help exits $?"
echo "$out" | grep -q "^Usage: molvar-bridge \[OPTION\]... IFACE" || fail "--help has no usage line"
echo "$out" | grep -q "^Exit status:" || fail "--help lists no exit status"
"$bridge" --version | grep -Eq "^molvar-bridge [0-9]+\.[0-9]+" || fail "--version"

err=$("$bridge" 2>&1 >/dev/null); rc=$?
[ $rc -eq 2 ] || fail "no interface: exit $rc"
echo "$err" | grep -q "no CAN interface given" || fail "no interface: $err"
err=$("$bridge" --bitrate 300000 vcan0 2>&1 >/dev/null); rc=$?
[ $rc -eq 2 ] || fail "bad bit rate: exit $rc"

# An interface that does not exist (or no CAN sockets at all, as in many
# containers): exit 4 before any adapter is touched.
err=$("$bridge" molvarnosuch0 2>&1 >/dev/null); rc=$?
[ $rc -eq 4 ] || fail "missing interface: exit $rc ($err)"
echo "$err" | grep -Eq "no interface molvarnosuch0|CAN sockets are not available" || fail "missing interface: $err"

err=$("$bridge" --setup /nonexistent/x.vni vcan0 2>&1 >/dev/null); rc=$?
[ $rc -eq 5 ] || fail "missing set-up file: exit $rc"
echo "$err" | grep -q "/nonexistent/x.vni" || fail "missing set-up file: $err"
echo "PASS"
