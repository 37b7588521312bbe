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
         doublecmd-gtk xvfb openbox xdotool xclip x11-utils imagemagick; do
  have "$p" || need+=("$p")
done

if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${need[@]}"
fi
