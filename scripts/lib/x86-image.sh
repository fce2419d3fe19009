# shellcheck shell=bash
# The 32-bit test machine's disk, made from Debian's packages alone. Source this file; it
# offers
#
#   x86_image_ensure DIRECTORY
#
# which leaves in DIRECTORY the root file system root.ext4, the kernel vmlinuz and its
# initramfs initrd.img, and the unpacked root itself in root/ (the 32-bit Linux tests are
# built and run in it with chroot). They are made again when missing or when the package
# list below (or the guest's init) changed since they were made: the key of the
# image is a hash of those (a Wine prefix that the machine made, prefix.tar, goes with it);, kept in DIRECTORY/key: a change to how the image is made that
# the package list does not show counts up x86_image_recipe.
#
# The root is Debian bookworm's main suite only, amd64 with i386 as a foreign architecture:
# there the versions of both architectures match (the security suite's i386 index on the
# mirror does not always). Debian's amd64 kernels run 32-bit programs, so 32-bit Wine runs
# in it; its cloud kernel boots quickly, and its initramfs is told to load the virtio
# drivers itself because the root has no udev.

x86_image_suite=bookworm
x86_image_recipe=1

# Wine for 32-bit Windows programs on a display of its own, the tools that
# tests/wine/e2e.py makes its archives with, and the kernel.
x86_image_guest_packages=(
  wine wine32 wine64 xvfb xauth python3 zip 7zip
  linux-image-cloud-amd64 initramfs-tools
)
# The 32-bit Linux build and its tests (scripts/test-i386.sh in the chroot): gcc -m32, the
# i386 packages of the libraries, GoogleTest's sources, the tools the tests compare with,
# and qemu-i386 to run 32-bit code where the kernel refuses it.
x86_image_linux_packages=(
  g++-multilib cmake ninja-build pkg-config libgtest-dev libgmock-dev qemu-user
  zlib1g-dev:i386 libbz2-dev:i386 liblzma-dev:i386 libzstd-dev:i386 libssl-dev:i386
  libzip-dev:i386 libinih-dev:i386
  libarchive-tools zstd xz-utils
)

x86_image_log() { echo "x86-image: $*"; }

# The mirror of this machine's main suite.
x86_image_mirror() {
  local uri
  uri=$(sed -nE '/^Types:.*\bdeb\b/,/^$/ s/^URIs: *([^ ]+).*/\1/p' \
    /etc/apt/sources.list.d/debian.sources 2>/dev/null | grep -v security | head -n1)
  [ -n "$uri" ] || uri=$(sed -nE 's/^deb +(\[[^]]*\] +)?([^ ]+) +bookworm +.*/\2/p' \
    /etc/apt/sources.list 2>/dev/null | head -n1)
  echo "${uri:-http://deb.debian.org/debian}"
}

x86_image_key() {
  local here
  here=$(dirname "${BASH_SOURCE[0]}")
  {
    echo "$x86_image_suite $x86_image_recipe"
    printf '%s\n' "${x86_image_guest_packages[@]}" "${x86_image_linux_packages[@]}"
    cat "$here/../x86-guest/init"
  } | sha256sum | cut -c1-16
}

# Runs a command in the root with proc, sys and dev (with its pseudo terminals) mounted for
# it.
x86_image_chroot() {
  local root=$1
  shift
  mount -t proc proc "$root/proc"
  mount -t sysfs sys "$root/sys"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  local status=0
  LC_ALL=C DEBIAN_FRONTEND=noninteractive chroot "$root" "$@" || status=$?
  umount "$root/dev/pts" "$root/dev" "$root/sys" "$root/proc"
  return $status
}

# Runs a command in the root as x86_image_chroot does, with directory $2 of this machine
# mounted at the same path inside.
x86_image_chroot_binding() {
  local root=$1 dir=$2
  shift 2
  mkdir -p "$root$dir"
  mount --bind "$dir" "$root$dir"
  local status=0
  x86_image_chroot "$root" "$@" || status=$?
  umount "$root$dir"
  return $status
}

# Unmounts whatever a run that was stopped left mounted in the root, so that nothing of this
# machine is removed with the root.
x86_image_unmount_all() {
  local root mounts
  root=$(realpath -m "$1")
  mounts=$(awk -v root="$root" 'index($2, root "/") == 1 { print $2 }' /proc/self/mounts | sort -r)
  local mount
  for mount in $mounts; do
    umount -l "$mount"
  done
}

x86_image_timed() {
  local what=$1 started
  shift
  started=$(date +%s)
  "$@" || { echo "x86-image: $what failed" >&2; return 1; }
  x86_image_log "$what: $(($(date +%s) - started)) s"
}

x86_image_debootstrap() {
  local root=$1
  debootstrap --variant=minbase --arch=amd64 --components=main "$x86_image_suite" "$root" \
    "$(x86_image_mirror)" >"$root.debootstrap.log" 2>&1 ||
    { tail -n 20 "$root.debootstrap.log" >&2; return 1; }
}

x86_image_install() {
  local root=$1
  shift
  x86_image_chroot "$root" dpkg --add-architecture i386
  x86_image_chroot "$root" apt-get update -qq
  x86_image_chroot "$root" apt-get install -y -qq --no-install-recommends "$@" \
    >"$root.install.log" 2>&1 || { tail -n 20 "$root.install.log" >&2; return 1; }
  x86_image_chroot "$root" apt-get clean
}

# The root has no udev: the initramfs loads the disk's drivers by name.
x86_image_initramfs() {
  local root=$1
  printf '%s\n' virtio_pci virtio_blk ext4 >>"$root/etc/initramfs-tools/modules"
  x86_image_chroot "$root" update-initramfs -u -k all >/dev/null
}

# The guest's init, and the mount point of the disk that carries the tests in and out.
x86_image_guest_files() {
  local root=$1 here
  here=$(dirname "${BASH_SOURCE[0]}")
  install -m 755 "$here/../x86-guest/init" "$root/sbin/x86-init"
  mkdir -p "$root/x86"
  echo x86-test >"$root/etc/hostname"
}

x86_image_make() {
  local dir=$1 root=$1/root
  x86_image_unmount_all "$root"
  rm -rf --one-file-system "$root" "$dir"/*.ext4 "$dir/vmlinuz" "$dir/initrd.img" "$dir/key" \
    "$dir/prefix.tar"
  mkdir -p "$dir"
  x86_image_timed "debootstrap $x86_image_suite (minbase, amd64)" x86_image_debootstrap "$root"
  x86_image_timed "Wine, Xvfb, the kernel and the 32-bit Linux build's packages" \
    x86_image_install "$root" "${x86_image_guest_packages[@]}" "${x86_image_linux_packages[@]}"
  x86_image_timed "initramfs with the virtio drivers" x86_image_initramfs "$root"
  x86_image_guest_files "$root"
  cp "$(ls "$root"/boot/vmlinuz-* | sort -V | tail -n1)" "$dir/vmlinuz"
  cp "$(ls "$root"/boot/initrd.img-* | sort -V | tail -n1)" "$dir/initrd.img"
  local size
  size=$(du -sm "$root" | cut -f1)
  x86_image_timed "root.ext4 from $size MiB of files (mke2fs -d)" \
    mke2fs -q -t ext4 -L x86root -d "$root" "$dir/root.ext4" "$((size + 1024))M" >/dev/null
  x86_image_key >"$dir/key"
}

x86_image_ensure() {
  local dir=$1
  if [ -f "$dir/key" ] && [ "$(cat "$dir/key")" = "$(x86_image_key)" ] &&
    [ -f "$dir/root.ext4" ] && [ -f "$dir/vmlinuz" ] && [ -f "$dir/initrd.img" ]; then
    x86_image_log "cached in $dir (key $(cat "$dir/key"))"
    return
  fi
  x86_image_log "making the image in $dir (key $(x86_image_key))"
  x86_image_make "$dir"
}
