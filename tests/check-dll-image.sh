#!/bin/sh
# Checks a built plugin DLL as the file manager and Windows see it: exactly the
# sixteen exports, undecorated; imports from Windows system DLLs only; icon
# groups 103-105 and the version resource under language 1049.
# usage: check-dll-image.sh OBJDUMP DLL
objdump=$1
dll=$2
failed=0
fail() { echo "FAIL: $*"; failed=1; }

headers=$("$objdump" -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }

exports=$(printf '%s\n' "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^[[:space:]]*\[ *[0-9]*\] \([^ ]*\)$/\1/p' | sort | tr '\n' ' ')
expected="FsDeleteFile FsExecuteFile FsExtractCustomIcon FsFindClose FsFindFirst FsFindNext FsGetDefRootName FsGetFile FsGetLocalName FsInit FsLinksToLocalFiles FsRemoveDir FsRenMovFile FsSetAttr FsSetTime FsStatusInfo "
[ "$exports" = "$expected" ] || fail "exports are '$exports'"

imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for name in $imports; do
  case "$name" in
    kernel32.dll|user32.dll|shell32.dll|msvcrt.dll|advapi32.dll|gdi32.dll|version.dll) ;;
    *) fail "imports $name, which is not a Windows system DLL" ;;
  esac
done

resources=$(printf '%s\n' "$headers" | sed -n '/The .rsrc Resource Directory section/,$p')
# Type 14 (icon group) with names 103, 104, 105; type 16 (version); all 0x419.
for type in 0x00000e 0x000010; do
  printf '%s\n' "$resources" | grep -q "Entry: ID: $type" || fail "no resource of type $type"
done
for id in 0x000067 0x000068 0x000069; do
  printf '%s\n' "$resources" | grep -q "Entry: ID: $id" || fail "no icon group $id"
done
languages=$(printf '%s\n' "$resources" | grep -A1 'Language Table' | sed -n 's/.*Entry: ID: \(0x[0-9a-f]*\).*/\1/p' | sort -u)
[ "$languages" = "0x000419" ] || fail "resource languages are '$languages', not only 0x419"

if [ $failed -eq 0 ]; then
  echo "ok: $(basename "$dll"): 16 undecorated exports; imports: $(echo $imports); resources under 0x419"
fi
exit $failed
