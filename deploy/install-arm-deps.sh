#!/usr/bin/env bash
# Installs what the 32-bit ARM (armhf) cross build and its emulated test run
# need on a Debian 12 machine, when it is missing: the cross compiler, the
# armhf json-c, SQLite and GoogleTest development packages and the armhf C++
# runtime (Debian multiarch), and qemu-user. Safe to run again.
set -euo pipefail
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo

updated=0
apt_update() {
  if [ "$updated" -eq 0 ]; then
    $SUDO apt-get update -qq
    updated=1
  fi
}

if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  echo "adding the armhf architecture"
  $SUDO dpkg --add-architecture armhf
  apt_update
fi

pkgs=(cmake pkg-config make qemu-user
      g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf
      libjson-c-dev:armhf libsqlite3-dev:armhf zlib1g-dev:armhf libgtest-dev:armhf libstdc++6:armhf)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt_update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
