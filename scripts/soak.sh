#!/usr/bin/env bash
# Native soak: 10,000 listings stopped at random points, of a usual and of a
# deep tree (paths past 1,500 characters), then full listings of a
# 10,000-entry, the deep and a 1,000,000-entry tree with their peak memory.
# Takes a few minutes and about 1 GB of inodes; not part of the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native-release >/dev/null
cmake --build build/native-release -j "$(nproc)" >/dev/null
bin=build/native-release/bin
base=${TMPDIR:-/tmp}/quenfold-soak
make_tree() { # make_tree NAME FILES DIRS [DEPTH [OPTIONS...]]
  [ -f "$base-$1.done" ] && return
  rm -rf "$base-$1"
  "$bin/quenfold-maketree" "$base-$1" --files "$2" --dirs "$3" --depth "${4:-8}" --seed 3 \
    "${@:5}" >/dev/null
  touch "$base-$1.done"
}
make_tree small 9000 1000
make_tree deep 9000 1000 25 --name-length 60
make_tree large 900000 100000
"$bin/quenfold-soak" aborted "$base-small" 10000
"$bin/quenfold-soak" aborted "$base-deep" 10000
"$bin/quenfold-soak" full "$base-small"
"$bin/quenfold-soak" full "$base-deep"
"$bin/quenfold-soak" full "$base-large"
