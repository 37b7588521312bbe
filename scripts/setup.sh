#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Quenfold:
# the mingw-w64 cross compilers, Wine for both bitnesses, CMake, GoogleTest
# sources and the tools the tests and benchmarks use. Safe to run again.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

for p in mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
         binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
         wine wine64 wine32:i386 cmake ninja-build googletest g++ clang \
         libclang-rt-dev clang-format zip unzip python3 procps \
         doublecmd-gtk xvfb openbox xdotool xclip x11-utils imagemagick \
         qemu-user locales; do
  have "$p" || need+=("$p")
done

if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${need[@]}"
fi

# 32-bit programs (the 32-bit Wine that loads Quenfold.wfx) where the kernel
# cannot run them itself: qemu-user, registered for i386 ELF files through
# binfmt_misc. Registered once per boot; nothing to do where they already run.
enable_i386() {
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 && return 0
  local binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null
  if [ ! -e "$binfmt/qemu-i386" ]; then
    if ! printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
        > "$binfmt/register" 2>/dev/null; then
      echo "setup: this kernel runs no 32-bit programs and refused to register qemu-i386" >&2
      echo "       with binfmt_misc (needs root and a binfmt_misc mount); the 32-bit plugin" >&2
      echo "       cannot be run here" >&2
      return 0
    fi
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 ||
    echo "setup: qemu-i386 is registered, yet 32-bit programs still do not run" >&2
}
enable_i386
