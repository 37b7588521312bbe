#!/bin/sh
# Drives quenfold-host through a short session and checks what it prints and
# what it leaves on disk. usage: host-session.sh QUENFOLD_HOST
host=$1
tree=$(mktemp -d)
trap 'chmod -R u+w "$tree"; rm -rf "$tree"' EXIT
failed=0
expect() { # expect WHAT ACTUAL EXPECTED
  if [ "$2" != "$3" ]; then echo "FAIL: $1: got '$2', expected '$3'"; failed=1; fi
}

mkdir -p "$tree/a/b"
printf 0123456789 > "$tree/a/b/f"
printf 12345 > "$tree/a/g"
printf 1 > "$tree/x"

listing=$("$host" --quiet list "$tree" | awk 'NF == 3 {print $1, $3}' | tr '\n' ';')
expect "list" "$listing" "10 a/b/f;10 a/b./;5 a/g;15 a./;1 x;"
expect "list summary" "$("$host" --quiet list "$tree" | tail -n 1)" "3 files, 2 directories, 16 bytes"

"$host" --abort --quiet list "$tree" >/dev/null; expect "aborted list exit" $? 1
expect "get" "$("$host" --quiet get "$tree/a/g" "$tree/out")" "FS_FILE_OK (0)"
expect "get again" "$("$host" --quiet get "$tree/a/g" "$tree/out")" "FS_FILE_EXISTS (1)"
expect "resume" "$("$host" --quiet get "$tree/a/g" "$tree/out" --resume)" "FS_FILE_NOTSUPPORTED (6)"
expect "abort" "$("$host" --abort --quiet move "$tree/x" "$tree/y")" "FS_FILE_USERABORT (5)"
expect "move" "$("$host" --quiet move "$tree/x" "$tree/y")" "FS_FILE_OK (0)"
expect "delete" "$("$host" delete "$tree/y")" "TRUE"
expect "rmdir" "$("$host" rmdir "$tree/a")" "FALSE (error 145)"
expect "exec" "$("$host" exec "$tree/a/b./" OPEN)" "FS_EXEC_YOURSELF (-1)"
expect "icon" "$("$host" icon "$tree/a/b./" --small | head -n 2 | tr '\n' ';')" "FS_ICON_EXTRACTED_DESTROY (2);buffer: quenfolddir;"
"$host" bogus >/dev/null 2>&1; expect "unknown command exit" $? 2
"$host" --plugin /nonexistent.so info >/dev/null 2>&1; expect "no plugin exit" $? 3

[ $failed -eq 0 ] && echo "ok: host session"
exit $failed
