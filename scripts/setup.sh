#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for one of the two commands, and
# says what could not be had and what that costs. Safe to run again.
#   setup.sh main   what the main job needs: the 64-bit plugin built with
#                   mingw-w64 and run under 64-bit Wine
#   setup.sh test   everything the test command uses (the default)
# Package mirrors are sometimes caught mid-sync: an index that fails to come
# is retried once and then left as it is, and a package that cannot be had
# stops neither the others nor the set-up. Exits 1 only when a part that the
# command cannot do without is missing.
set -uo pipefail
command=${1:-test}

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# Each part: name, whether the command at hand needs it (required/optional),
# what is lost without it, and its packages.
parts=()
part() { parts+=("$1|$2|$3|$4"); }
part "build tools" required "nothing can be built" \
  "cmake ninja-build g++ python3 procps"
part "mingw-w64 (64-bit)" required "Quenfold.wfx64 cannot be built" \
  "mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64"
if [ "$command" = main ]; then
  part "64-bit Wine" required "the plugin cannot be run" "wine wine64"
else
  part "64-bit Wine" optional "Quenfold.wfx64 is checked as an image only" "wine wine64"
  part "test sources and tools" required "the test suite cannot be built" \
    "googletest zip unzip locales"
  part "mingw-w64 (32-bit)" required "Quenfold.wfx cannot be built" \
    "g++-mingw-w64-i686-posix binutils-mingw-w64-i686"
  part "32-bit Wine" optional "the 32-bit DLL is checked as an image only" "wine32:i386"
  part "qemu-user" optional "32-bit programs cannot run where the kernel lacks i386 support" \
    "qemu-user"
  part "clang" optional "no ThreadSanitizer run and no fuzzing" "clang libclang-rt-dev"
  part "clang-format" optional "formatting cannot be checked" "clang-format"
  part "Double Commander" optional "no end-to-end session in Double Commander" \
    "doublecmd-gtk xvfb openbox xdotool xclip x11-utils imagemagick"
fi

need=()
for entry in "${parts[@]}"; do
  IFS='|' read -r _ _ _ packages <<<"$entry"
  for p in $packages; do have "$p" || need+=("$p"); done
done

if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  case " ${need[*]} " in
  *:i386\ *)
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    ;;
  esac
  if ! apt-get update -q; then
    echo "setup: apt-get update failed; trying once more"
    sleep "${QUENFOLD_APT_RETRY_SECONDS:-10}"
    apt-get update -q ||
      echo "setup: some package indexes could not be fetched (a mirror mid-sync?); going on with the lists at hand"
  fi
  # All at once is fastest; if that fails, each on its own, so that one
  # package that cannot be had does not keep the others out.
  if ! apt-get install -y -q --no-install-recommends "${need[@]}"; then
    echo "setup: not every package could be installed together; installing them one by one"
    for p in "${need[@]}"; do
      have "$p" || apt-get install -y -q --no-install-recommends "$p" >/dev/null 2>&1 ||
        echo "setup: $p could not be installed"
    done
  fi
fi

# 32-bit programs (the 32-bit Wine that loads Quenfold.wfx) where the kernel
# cannot run them itself: qemu-user, registered for i386 ELF files through
# binfmt_misc. Registered once per boot; nothing to do where they already run.
enable_i386() {
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 && return 0
  [ -x /usr/bin/qemu-i386 ] || return 0
  local binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null
  if [ ! -e "$binfmt/qemu-i386" ]; then
    if ! printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      >"$binfmt/register" 2>/dev/null; then
      echo "setup: this kernel runs no 32-bit programs and refused to register qemu-i386" >&2
      echo "       with binfmt_misc (needs root and a binfmt_misc mount); the 32-bit plugin" >&2
      echo "       cannot be run here" >&2
      return 0
    fi
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 ||
    echo "setup: qemu-i386 is registered, yet 32-bit programs still do not run" >&2
}
[ "$command" = main ] || ! have wine32:i386 || enable_i386

# One line per missing part, with what it costs.
status=0
for entry in "${parts[@]}"; do
  IFS='|' read -r name need_it cost packages <<<"$entry"
  missing=()
  for p in $packages; do have "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && continue
  if [ "$need_it" = required ]; then
    echo "setup: MISSING $name (${missing[*]}): $cost; cannot go on"
    status=1
  else
    echo "setup: missing $name (${missing[*]}): $cost"
  fi
done
exit $status
