#!/usr/bin/env bash
# Builds the Debian package from the build folder, unpacks it into a scratch
# root and checks that every file is where it belongs and that the package
# depends on what the program needs at run time.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null)
deb=$(ls "$scratch"/out/molvar_*.deb)
dpkg-deb -x "$deb" "$scratch/root"

fail=0
check() { [ -e "$scratch/root/$1" ] || { echo "missing in package: $1"; fail=1; }; }
check usr/bin/molvar
check usr/share/applications/molvar.desktop
check usr/share/icons/hicolor/scalable/apps/molvar.svg
check usr/lib/udev/rules.d/60-molvar.rules
check usr/bin/molvar-bridge
check usr/share/man/man1/molvar-bridge.1
check usr/bin/molvar-decode
check usr/share/man/man1/molvar-decode.1
for size in 16 22 24 32 48 64 128 256; do
  check usr/share/icons/hicolor/${size}x${size}/apps/molvar.png
done
check usr/share/doc/molvar/copyright
check usr/share/metainfo/io.github.molvar.Molvar.metainfo.xml
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$scratch/root/usr/share/doc/molvar/copyright" &&
  grep -q '^License: GPL-3.0-or-later' "$scratch/root/usr/share/doc/molvar/copyright" ||
  { echo "copyright file is not machine-readable GPL-3.0-or-later"; fail=1; }
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$scratch/root/usr/share/metainfo/io.github.molvar.Molvar.metainfo.xml" ||
    { echo "metainfo file does not validate"; fail=1; }
else
  echo "appstreamcli missing: metainfo not validated"; fail=1
fi
[ -x "$scratch/root/usr/bin/molvar" ] || { echo "molvar is not executable"; fail=1; }
[ -x "$scratch/root/usr/bin/molvar-bridge" ] || { echo "molvar-bridge is not executable"; fail=1; }
if command -v man >/dev/null; then
  for page in molvar-bridge molvar-decode; do
    man -l "$scratch/root/usr/share/man/man1/$page.1" 2>&1 >/dev/null | grep . && { echo "manual page $page has errors"; fail=1; }
  done
fi
grep -q 'ATTR{idVendor}=="20a0", ATTR{idProduct}=="41e8", TAG+="uaccess"' "$scratch/root/usr/lib/udev/rules.d/60-molvar.rules" ||
  { echo "udev rule does not grant access to the adapter"; fail=1; }
grep -q '^Exec=molvar' "$scratch/root/usr/share/applications/molvar.desktop" || { echo "desktop entry does not start molvar"; fail=1; }

depends=$(dpkg-deb -f "$deb" Depends)
for dep in libusb-0.1-4 libqt6widgets6 libudev1 qt6-qpa-plugins; do
  echo "$depends" | grep -q "$dep" || { echo "package does not depend on $dep: $depends"; fail=1; }
done
# The program must not link the USB library: it is loaded at run time.
for prog in molvar molvar-bridge; do
  if readelf -d "$scratch/root/usr/bin/$prog" | grep -q 'libusb'; then
    echo "$prog links libusb directly"
    fail=1
  fi
done
[ $fail = 0 ] && echo "package ok: $(basename "$deb")"
exit $fail
