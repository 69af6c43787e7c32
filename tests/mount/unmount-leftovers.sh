#!/bin/sh
# Runs after the mount tests: unmounts whatever they left mounted under ROOT and removes their
# folders. A test that times out is killed before its own clean-up can unmount, and a FUSE mount
# whose program is gone stays behind ("Transport endpoint is not connected") until unmounted.
#   unmount-leftovers.sh ROOT
root=$1
status=0
# /proc/self/mounts writes a blank in a path as \040; printf %b turns it back.
for point in $(awk -v root="$root/" 'index($2, root) == 1 { print $2 }' /proc/self/mounts); do
  point=$(printf '%b' "$point")
  echo "unmounting $point, left mounted by a test"
  fusermount3 -u -z "$point" 2>/dev/null || umount -l "$point" 2>/dev/null || {
    echo "could not unmount $point" >&2
    status=1
  }
done
[ $status -ne 0 ] || rm -rf "$root"/brindle-mount-*
exit $status
