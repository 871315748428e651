#!/bin/sh
# Installs the Debian 12 packages the build, the tests and the sample run need.
# Safe to run again: apt-get skips what is already there.
set -e
PKGS="build-essential cmake ninja-build pkg-config python3 gzip
      qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev googletest libcli11-dev
      zlib1g-dev libbz2-dev liblzma-dev libdeflate-dev
      clang libclang-rt-14-dev clang-format xz-utils
      libssl-dev nlohmann-json3-dev
      user-mode-linux reiserfsprogs fdisk grub-common e2fsprogs mount testdisk
      dpkg-dev desktop-file-utils appstream groff-base bash-completion
      dbus-daemon python3-dbus python3-dbusmock
      fonts-liberation fonts-dejavu-core
      libewf-dev libqcow-dev libvhdi-dev libvmdk-dev qemu-utils ewf-tools gddrescue strace linux-perf
      zip bzip2"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $missing
