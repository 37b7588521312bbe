#!/bin/sh
# Mounts, or takes away, the two tmpfs volumes of the transfer tests: "small",
# which they fill to the last byte, and "other", a second file system to move
# across. Where mounting is not allowed the folders stay bare, without the
# marker file that only a mounted volume holds, and the tests that need them
# skip: that is no failure of the fixture.
# usage: small-volume.sh mount|unmount DIR
set -u
action=$1 dir=$2
volumes="small:4m other:64m"
for volume in $volumes; do
  name=${volume%%:*} size=${volume#*:}
  path=$dir/$name
  if [ "$action" = mount ]; then
    mkdir -p "$path" || exit 1
    if ! mountpoint -q "$path"; then
      mount -t tmpfs -o "size=$size,mode=1777" quenfold-tests "$path" 2>/dev/null ||
        echo "small-volume: cannot mount a tmpfs at $path here; the tests that need it skip"
    fi
    mountpoint -q "$path" && : >"$path/.quenfold-volume"
  else
    mountpoint -q "$path" && umount "$path"
    rm -f "$path/.quenfold-volume"
    rmdir "$path" 2>/dev/null
  fi
done
[ "$action" = mount ] || rmdir "$dir" 2>/dev/null
exit 0
