# Shared by the scripts: installing what is missing and configuring builds.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# ccache is kept between runs on a machine; let a fresh clone in another
# folder hit the same entries.
export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=1
JOBS=$(nproc 2>/dev/null || echo 2)

# Debian packages for building and testing. Qt Charts' CMake files ask for
# Qt OpenGL's, which Debian's qt6-charts-dev does not bring along.
BUILD_PACKAGES=(build-essential cmake ninja-build ccache pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev libusb-dev libusb-0.1-4
  libudev-dev libgtest-dev googletest)
# And for running the tests: the whole program under a virtual X server, the
# Debian package check, a locale with a decimal comma.
TEST_PACKAGES=(xvfb xauth xdotool xclip dpkg-dev binutils appstream locales)
# And for the virtual machine rig (rig/).
RIG_PACKAGES=(qemu-system-x86 busybox-static kmod cpio xz-utils iproute2 can-utils usbutils libusb-0.1-4)

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the named Debian packages that are not installed yet.
ensure_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# A locale that writes a decimal comma, for the tests of numbers in files.
ensure_decimal_comma_locale() {
  locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8' && return 0
  as_root localedef -i de_DE -f UTF-8 de_DE.UTF-8
}

# configure_build DIR [cmake options...]: configures (once) and builds DIR.
configure_build() {
  local dir=$1
  shift
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S "$ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}
