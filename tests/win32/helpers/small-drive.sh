#!/usr/bin/env bash
# A tiny drive X: in the test prefix, for copies that run out of space:
#   small-drive.sh mount STATEDIR    a 1 MiB tmpfs at STATEDIR/small-drive, mapped as X:
#   small-drive.sh unmount STATEDIR  unmaps and unmounts it
# Mounting needs root. Without it (or without tmpfs) the drive is left out and
# the tests that need it skip themselves; this script still succeeds.
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: $0 mount|unmount STATEDIR" >&2; exit 2; }
state=$(cd "$2" && pwd) || exit 1
dir=$state/small-drive
link=$state/prefix/dosdevices/x:

case $1 in
  mount)
    [ -d "$state/prefix/dosdevices" ] || { echo "small-drive: no prefix in $state" >&2; exit 1; }
    mkdir -p "$dir"
    if ! mountpoint -q "$dir"; then
      if ! mount -t tmpfs -o size=1m,mode=0755 tmpfs "$dir" 2>/dev/null; then
        echo "small-drive: cannot mount a tmpfs here; the disk-full tests will skip" >&2
        rm -f "$link"
        exit 0
      fi
    fi
    ln -sfn "$dir" "$link"
    echo "small-drive: X: is a 1 MiB tmpfs at $dir" >&2
    ;;
  unmount)
    rm -f "$link"
    if mountpoint -q "$dir" 2>/dev/null; then
      umount "$dir" || umount -l "$dir"
    fi
    ;;
  *)
    echo "usage: $0 mount|unmount STATEDIR" >&2
    exit 2
    ;;
esac
