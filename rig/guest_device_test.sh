#!/bin/sh
# Inside the rig's virtual machine: the adapter gadget on dummy_hcd, bridged
# to vcan0, and the device-level probe against Debian's real libusb-0.1.
#   guest_device_test.sh BUILD_DIR
set -e
build=$1
modprobe dummy_hcd
modprobe gadgetfs
mkdir -p /dev/gadget
mount -t gadgetfs gadgetfs /dev/gadget
modprobe vcan
modprobe can_raw
ip link add dev vcan0 type vcan
ip link set vcan0 up
"$build/rig/adapter_gadget" RIG0001 vcan0 /tmp/gadget.trace &
sleep 1
lsusb -d 20a0:41e8
"$build/rig/rig_probe" --die-after-a-request
"$build/rig/rig_probe"
