#!/usr/bin/env bash
# The drive guest: a small Linux under QEMU (software emulation) with emulated CD-ROM drives, as
# the real-drive test and the drive benchmark boot it. Sourced, not run:
#
#   source scripts/drive-guest.sh
#
# The sourcing script sets $work (the Debian cloud kernel is kept in $work/kernel) and defines
# say and die. Gives:
#   install_missing            qemu-system-x86, busybox-static and cpio, installed when missing
#   fetch_kernel               sets $kernel_dir (downloaded, never installed, once per package)
#   modules_for BUS            the insmod order of the modules a bus (virtio, ide) needs
#   guest_rootfs ROOTFS        busybox, tests/drive/init.sh as init, the SG_IO probe and the
#                              kernel modules of every bus; the caller adds its programs
#   copy_with_libraries ROOTFS FILE DEST
#   pack_initramfs ROOTFS OUT  the cpio archive, gzipped
guest_here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../tests/drive" && pwd)

# --- Host tools ---------------------------------------------------------------------------
install_missing() {
  local missing=() p sudo=""
  for p in qemu-system-x86 busybox-static cpio; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  say "installing ${missing[*]}"
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -q
  $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
}

# --- Kernel -------------------------------------------------------------------------------
# The kernel package the cloud meta-package depends on, e.g. linux-image-6.1.0-57-cloud-amd64.
kernel_package() {
  apt-cache depends linux-image-cloud-amd64 2>/dev/null |
    awk '/Depends: linux-image-[0-9]/ { print $2; exit }'
}

# Every module the guest may load, whatever the bus (ata_piix and virtio_scsi bring the rest).
kernel_targets=(sr_mod sg virtio_pci virtio_scsi ata_piix)

# Sets $kernel_dir to an unpacked kernel: boot/vmlinuz-* and the storage and virtio driver
# modules. Downloads and unpacks only when the build dir has no copy of that package yet.
fetch_kernel() {
  local cache=$work/kernel package
  mkdir -p "$cache"
  package=$(kernel_package)
  if [ -z "$package" ] && [ -z "$(ls "$cache"/*/ready 2>/dev/null)" ]; then
    say "apt-get update (the package lists do not know linux-image-cloud-amd64)"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -q >/dev/null
    package=$(kernel_package)
  fi
  if [ -z "$package" ]; then
    # Offline, with a kernel from an earlier run: use the newest one.
    package=$(ls -t "$cache"/*/ready 2>/dev/null | head -n1 | xargs -r dirname | xargs -r basename)
    [ -n "$package" ] || die "cannot find the kernel package of linux-image-cloud-amd64"
  fi
  kernel_dir=$cache/$package
  if [ -f "$kernel_dir/ready" ]; then
    say "kernel $package (cached)"
    return
  fi
  say "downloading kernel $package (unpacked only, never installed)"
  local unpack deb
  unpack=$(mktemp -d "$cache/unpack.XXXXXX")
  (cd "$unpack" && apt-get -q download "$package" 2>&1 | grep -v 'unsandboxed' || true)
  deb=$(ls "$unpack"/"$package"_*.deb 2>/dev/null | head -n1)
  [ -n "$deb" ] || die "apt-get download $package failed"
  mkdir "$unpack/root"
  # The package has no modules.dep (depmod makes it on installation); each module names its
  # own dependencies, and those of the drivers used here all live in these four folders.
  dpkg-deb --fsys-tarfile "$deb" |
    tar -x -C "$unpack/root" --wildcards './boot/vmlinuz-*' './lib/modules/*/modules.builtin' \
      './lib/modules/*/kernel/drivers/scsi/*' './lib/modules/*/kernel/drivers/cdrom/*' \
      './lib/modules/*/kernel/drivers/ata/*' './lib/modules/*/kernel/drivers/virtio/*'
  rm -f "$deb"
  touch "$unpack/ready"
  rm -rf "$kernel_dir"
  mv "$unpack" "$kernel_dir"
  # Older kernels and half-done unpacks of interrupted runs are of no further use.
  find "$cache" -mindepth 1 -maxdepth 1 ! -name "$package" -exec rm -rf {} +
}

# The module tree of the unpacked kernel (lib/modules/VERSION).
module_tree() { ls -d "$kernel_dir"/root/lib/modules/* | head -n1; }

# Prints the .ko files (relative to the module tree) of the named modules and of everything
# they depend on, each once, dependencies first: the order to insmod them. A module built into
# the kernel prints nothing; one that is neither there nor built in is an error.
module_closure() {
  local tree=$1 f name
  shift
  local -A file=() visited=()
  while IFS= read -r f; do
    name=$(basename "$f" .ko)
    file[${name//-/_}]=$f
  done < <(cd "$tree" && find kernel -name '*.ko')
  visit_module() {
    local name=${1//-/_} dep
    [ -z "${visited[$name]:-}" ] || return 0
    visited[$name]=1
    if [ -z "${file[$name]:-}" ]; then
      grep -q "/$name.ko\$" "$tree/modules.builtin" && return 0
      die "kernel module $name is missing"
    fi
    for dep in $(tr '\0' '\n' <"$tree/${file[$name]}" | grep -a -m1 '^depends=' | cut -d= -f2 | tr , ' '); do
      visit_module "$dep"
    done
    echo "${file[$name]}"
  }
  for name in "$@"; do visit_module "$name"; done
}

# Comma-separated insmod order of the modules a bus needs.
modules_for() {
  local bus=$1 targets
  case $bus in
    virtio) targets="sr_mod sg virtio_pci virtio_scsi" ;;
    ide) targets="sr_mod sg ata_piix" ;;
  esac
  # shellcheck disable=SC2086
  module_closure "$(module_tree)" $targets | xargs -r -n1 basename | sed 's/\.ko$//' | paste -sd, -
}

# --- Initramfs ----------------------------------------------------------------------------
# Copies FILE to DEST in the tree ROOTFS, with every shared library ldd lists for it (and the
# loader), each at its own path, so that the guest's loader finds them where the host's does.
copy_with_libraries() {
  local rootfs=$1 file=$2 dest=$3 lib
  install -D -m 0755 "$file" "$rootfs$dest"
  while read -r lib; do
    [ -e "$rootfs$lib" ] || install -D -m 0755 "$(readlink -f "$lib")" "$rootfs$lib"
  done < <(ldd "$file" 2>/dev/null | grep -o '/[^ ]*' | sort -u)
}

# The guest's base tree: busybox, init, the probe (built static here) and the modules.
guest_rootfs() {
  local rootfs=$1 moddir ko
  rm -rf "$rootfs"
  mkdir -p "$rootfs"/{bin,dev,proc,sys,tmp,test,opt/brindle,lib/modules}
  cp /bin/busybox "$rootfs/bin/"
  install -m 0755 "$guest_here/init.sh" "$rootfs/init"
  cc -static -O2 -Wall -Wextra -o "$rootfs/bin/drive-probe" "$guest_here/drive-probe.c"
  moddir=$(module_tree)
  while IFS= read -r ko; do
    cp "$moddir/$ko" "$rootfs/lib/modules/"
  done < <(module_closure "$moddir" "${kernel_targets[@]}")
}

pack_initramfs() {
  (cd "$1" && find . | LC_ALL=C sort | cpio -o -H newc --quiet | gzip -1) >"$2"
}
