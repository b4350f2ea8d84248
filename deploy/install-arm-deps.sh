#!/usr/bin/env bash
# Installs what the 32-bit ARM (armhf) cross build and its emulated test run
# need on a Debian 12 machine, when it is missing: the cross compiler, the
# armhf json-c, SQLite, libarchive (with the static libraries it names for
# the static CGI program) and GoogleTest development packages and the armhf
# C++ runtime (Debian multiarch), and qemu-user. Safe to run again.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  echo "adding the armhf architecture"
  $SUDO dpkg --add-architecture armhf
  apt_update
fi

install_missing --no-install-recommends cmake pkg-config make qemu-user \
  g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf \
  libjson-c-dev:armhf libsqlite3-dev:armhf zlib1g-dev:armhf libgtest-dev:armhf libstdc++6:armhf \
  libarchive-dev:armhf nettle-dev:armhf libacl1-dev:armhf liblzma-dev:armhf libzstd-dev:armhf liblz4-dev:armhf \
  libbz2-dev:armhf libxml2-dev:armhf
