#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# they are missing. Safe to run again.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
install_missing build-essential cmake pkg-config libjson-c-dev libsqlite3-dev zlib1g-dev libgtest-dev googletest \
  lighttpd curl openssl unzip valgrind hyperfine wrk clang ffmpeg chromium chromium-driver
# libarchive reads and unpacks uploaded packages; the static CGI program also
# links the static libraries libarchive names (pkg-config --static).
install_missing libarchive-dev nettle-dev libacl1-dev liblzma-dev libzstd-dev liblz4-dev libbz2-dev libxml2-dev
