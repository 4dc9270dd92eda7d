#!/bin/bash
# Installs the Debian packages the build and the tests need, and only those
# that are missing. Safe to run any number of times: when everything is
# present it does not call apt-get at all.
set -euo pipefail

packages=(
  make cmake ninja-build g++ clang libclang-rt-14-dev
  mingw-w64 wine wine64 xvfb xauth
  googletest zlib1g-dev liblz4-dev
  libfuse3-dev fuse3 pkg-config
  imagemagick xdotool
  fonts-ipafont-gothic fonts-dejavu-core
)
# No i386 architecture and no wine32: these machines cannot execute 32-bit
# Linux programs, so the 32-bit binaries are built but only their 64-bit
# twins run.

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q "${missing[@]}"
