#!/usr/bin/env bash
# Installs everything the build, the tests, the Windows builds and the fuzzing build (clang
# with libFuzzer) need on a fresh Debian machine. Skips what is already there, so it is cheap to run again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

need=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
      nlohmann-json3-dev libasio-dev g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
      wine wine64 wine32:i386 clang libclang-rt-dev clang-format)

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

apt_install() {
  echo "setup: installing $*"
  # A fresh image may lag the mirror: wine32 upgrades shared amd64 libraries, so try twice.
  for attempt in 1 2; do
    if $SUDO apt-get update -q && $SUDO apt-get install -y -q --no-install-recommends "$@"; then
      return
    fi
    [ $attempt -eq 2 ] && { echo "setup: apt-get failed" >&2; exit 1; }
    sleep 5
  done
}

missing=()
for p in "${need[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt_install "${missing[@]}"
else
  echo "setup: all packages present"
fi

# 32-bit Windows programs run under wine's 32-bit loader, itself a 32-bit Linux program. A kernel
# built without 32-bit support cannot start it ("Exec format error"); there it runs through
# qemu's user-mode emulation, registered for 32-bit x86 programs with binfmt_misc (machine-wide,
# once per boot). Where the kernel starts 32-bit programs itself, nothing is emulated.
loader32=/usr/lib/wine/wine
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386
starts32() { "$loader32" --version >/dev/null 2>&1; }

if ! starts32; then
  echo "setup: this kernel cannot start 32-bit programs; they will start through qemu-i386"
  installed qemu-user-static || apt_install qemu-user-static
  [ -e "$binfmt/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"
  # An entry of the same name that does not start the loader (disabled, or its interpreter gone)
  # is replaced; one that another run has just registered is kept.
  if [ -e "$entry" ] && ! starts32; then
    echo "setup: replacing the binfmt_misc entry qemu-i386, which does not start 32-bit programs"
    echo -1 | $SUDO tee "$entry" >/dev/null
  fi
  if [ ! -e "$entry" ]; then
    # The ELF header of a 32-bit x86 executable or shared object; F: qemu is opened now, so the
    # entry also works inside other mount namespaces. Two runs may register at the same time:
    # the loser's write fails, and the winner's entry serves both.
    printf '%s\n' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $SUDO tee "$binfmt/register" >/dev/null 2>&1 || true
  fi
  if ! starts32; then
    echo "setup: 32-bit programs cannot start, not even through qemu-i386 ($loader32 --version fails)" >&2
    exit 1
  fi
  echo "setup: 32-bit programs start through qemu-i386 (binfmt_misc entry $entry)"
fi
