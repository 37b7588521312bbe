#!/usr/bin/env bash
# Unpacks the Linux release and checks it: Quenfold.wfx and the readme, no
# library beyond the system's, exactly the sixteen exports, and the plugin
# listing a tree when loaded as the file manager loads it.
# usage: check-linux-package.sh ARCHIVE QUENFOLD_HOST
set -uo pipefail
archive=$1
host=$2
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

tar -xzf "$archive" -C "$unpacked" || { echo "FAIL: cannot unpack $archive"; exit 1; }
plugin=$unpacked/quenfold/Quenfold.wfx
for file in Quenfold.wfx readme.txt; do
  [ -f "$unpacked/quenfold/$file" ] || fail "quenfold/$file is missing"
done
grep -q "WfxPlugins" "$unpacked/quenfold/readme.txt" || fail "the readme lacks the doublecmd.xml entry"
grep -q "Plugins WFX" "$unpacked/quenfold/readme.txt" || fail "the readme lacks the Options way"

libraries=$(ldd "$plugin" | awk '{print $1}')
for library in $libraries; do
  case "$library" in
    linux-vdso.so.*|/lib64/ld-linux-x86-64.so.2|libc.so.*|libm.so.*|libgcc_s.so.*|libstdc++.so.*) ;;
    *) fail "Quenfold.wfx needs $library" ;;
  esac
done
ldd "$plugin" | grep -q "not found" && fail "a library of Quenfold.wfx is not found"

exports=$(nm -D --defined-only "$plugin" | awk '$2 == "T" {print $3}' | sort | tr '\n' ' ')
expected="FsDeleteFile FsExecuteFile FsExtractCustomIcon FsFindClose FsFindFirst FsFindNext FsGetDefRootName FsGetFile FsGetLocalName FsInit FsLinksToLocalFiles FsRemoveDir FsRenMovFile FsSetAttr FsSetTime FsStatusInfo "
[ "$exports" = "$expected" ] || fail "exports: $exports"
[ "$(nm -D --defined-only "$plugin" | wc -l)" -eq 16 ] || fail "more than the sixteen exports"

tree=$(mktemp -d)
mkdir -p "$tree/a/b" && printf 0123456789 > "$tree/a/b/f" && printf 1 > "$tree/x"
listing=$("$host" --plugin "$plugin" --quiet list "$tree" | awk 'NF == 3 {print $1, $3}' | tr '\n' ';')
rm -rf "$tree"
[ "$listing" = "10 a/b/f;10 a/b./;10 a./;1 x;" ] || fail "listing through the packed plugin: $listing"
[ $failed -eq 0 ] && echo "ok: $(basename "$archive"): $(cd "$unpacked" && find . -type f | sort | tr '\n' ' ')"
exit $failed
