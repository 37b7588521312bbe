#!/usr/bin/env bash
# Proves that the file-operation fuzzer cannot reach outside its scratch tree,
# nor the name fuzzer (which runs as root on raw host buffers) any file at all:
# feeds them inputs naming a sentinel by absolute path, by climbing out with
# "..", with backslashes and as the bare short names, for every operation and
# flag combination, from a working directory that holds a sentinel of its own;
# both sentinels and their folder must stay exactly as they were.
# usage: check-confinement.sh FUZZ_FILE_OPS
set -uo pipefail
fuzzer=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
mkdir -p "$work/outside" "$work/cwd" "$work/inputs" "$work/names"
printf keep > "$work/outside/sentinel"
printf keep > "$work/cwd/sentinel"
names=("$work/outside/sentinel" "$work/outside" "../../../../../../$work/outside/sentinel"
       "..\\..\\sentinel" "/" "s" "sentinel" "../sentinel" "a/../../sentinel")
count=0
for operation in 0 1 2 3 4 5 6; do
  for flags in 0 1 4 5 128 129 133; do
    for first in "${names[@]}"; do
      for second in "sentinel" "$work/outside/sentinel"; do
        printf "\\x$(printf %02x $operation)\\x$(printf %02x $flags)\\xff%s\\0%s" "$first" "$second" \
          > "$work/inputs/$count"
        count=$((count + 1))
      done
    done
  done
done
# FuzzNames hands FsExecuteFile raw host buffers: a "chmod" there must reach
# no file either.
for name in "$work/outside/sentinel" "$work/outside" "sentinel"; do
  for verb in "chmod 0" "chmod 7777" "open" "properties"; do
    printf "\x03\x00%s\0%s" "$name" "$verb" > "$work/names/$count"
    count=$((count + 1))
  done
done
(cd "$work/cwd" && "$fuzzer" "$work"/inputs/* >/dev/null 2>&1)
(cd "$work/cwd" && "$(dirname "$fuzzer")/FuzzNames" "$work"/names/* >/dev/null 2>&1)
status=0
for sentinel in "$work/outside/sentinel" "$work/cwd/sentinel"; do
  if [ "$(cat "$sentinel" 2>/dev/null)" != keep ] || [ "$(stat -c %a "$sentinel" 2>/dev/null)" != 644 ]; then
    echo "FAIL: $sentinel was reached"
    status=1
  fi
done
[ "$(stat -c %a "$work/outside")" = 755 ] || { echo "FAIL: $work/outside's mode changed"; status=1; }
[ "$(ls "$work/outside" | tr '\n' ' ')" = "sentinel " ] || { echo "FAIL: $work/outside changed"; status=1; }
[ "$(ls "$work/cwd" | tr '\n' ' ')" = "sentinel " ] || { echo "FAIL: the working directory changed"; status=1; }
[ $status -eq 0 ] && echo "ok: $count inputs aimed outside the scratch tree reached nothing"
exit $status
