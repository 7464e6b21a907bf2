#!/usr/bin/env bash
# Installs everything the build, the tests and the Windows builds need on a fresh Debian
# machine. Skips what is already there, so it is cheap to run again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

need=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
      nlohmann-json3-dev libasio-dev g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
      wine wine64 wine32:i386)

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

missing=()
for p in "${need[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  # A fresh image may lag the mirror: wine32 upgrades shared amd64 libraries, so try twice.
  for attempt in 1 2; do
    if $SUDO apt-get update -q && \
       $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"; then
      break
    fi
    [ $attempt -eq 2 ] && { echo "setup: apt-get failed" >&2; exit 1; }
    sleep 5
  done
else
  echo "setup: all packages present"
fi
