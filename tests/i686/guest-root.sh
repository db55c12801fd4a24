#!/usr/bin/env bash
# Makes the emulated test machine's disk in OUT: Debian 12 (minbase) with a kernel, Wine for 32-
# and 64-bit programs, Xvfb, the Chinese fonts and Python, all from Debian's packages, and the
# machine's first process (/sbin/ombrix-init); OUT/guest.img (ext4, sparse), OUT/vmlinuz and
# OUT/initrd.img. Needs root (or sudo) and the network; the machine itself gets neither.
#   guest-root.sh OUT
set -euo pipefail
out="$1"
root="$out/root"
mirror="${OMBRIX_I686_MIRROR:-http://deb.debian.org/debian}"
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
packages=(linux-image-amd64 wine wine32:i386 wine64 xvfb xauth fonts-wqy-microhei python3 busybox)

say() { echo "guest-root: $*"; }
in_root() { $SUDO chroot "$root" env DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "$@"; }

mounted=()
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do $SUDO umount -l "${mounted[$i]}" || true; done
}
trap unmount_all EXIT

$SUDO rm -rf --one-file-system "$root"
say "debootstrap bookworm from $mirror"
$SUDO debootstrap --variant=minbase --include=file,kmod,udev,procps bookworm "$root" "$mirror" \
  >"$out/debootstrap.log" 2>&1 || { tail -20 "$out/debootstrap.log"; exit 1; }
for fs in proc sys dev; do
  $SUDO mount --rbind "/$fs" "$root/$fs"
  $SUDO mount --make-rslave "$root/$fs"
  mounted+=("$root/$fs")
done
# No service starts inside the chroot.
printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$root/usr/sbin/policy-rc.d" >/dev/null
$SUDO chmod +x "$root/usr/sbin/policy-rc.d"

# A small initial RAM disk (the machine's disk driver and file system) takes seconds to make;
# the default one (most modules) takes minutes, and is made twice.
$SUDO mkdir -p "$root/etc/initramfs-tools/conf.d" "$root/usr/share/initramfs-tools/modules.d"
echo MODULES=list | $SUDO tee "$root/etc/initramfs-tools/conf.d/ombrix" >/dev/null
printf 'virtio_pci\nvirtio_blk\next4\n' |
  $SUDO tee "$root/usr/share/initramfs-tools/modules.d/ombrix" >/dev/null

in_root dpkg --add-architecture i386
# A mirror in mid-sync may fail an index (its i386 half, say): tried three times, then the
# install decides.
for try in 1 2 3; do
  if in_root apt-get update -qq; then break; fi
  say "package index failed (try $try)"
  sleep 5
done
say "installing ${packages[*]}"
in_root apt-get install -y -qq --no-install-recommends "${packages[@]}" >"$out/apt.log" 2>&1 ||
  { tail -20 "$out/apt.log"; exit 1; }
in_root apt-get clean
$SUDO rm -f "$root/usr/sbin/policy-rc.d"
echo ombrix-guest | $SUDO tee "$root/etc/hostname" >/dev/null

# The first process: the basic file systems, loopback, the payload disk (second virtio disk,
# read-only) whose guest.py does the work (mode from the kernel command line: ombrix=MODE); then
# power off. Console output is what the host reads.
$SUDO tee "$root/sbin/ombrix-init" >/dev/null <<'INIT'
#!/bin/sh
mount -t proc proc /proc 2>/dev/null
mount -t sysfs sys /sys 2>/dev/null
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
busybox ip link set lo up
hostname ombrix-guest
mode=$(sed -n 's/.*ombrix=\([a-z0-9]*\).*/\1/p' /proc/cmdline)
mkdir -p /payload
if mount -o ro /dev/vdb /payload; then
  PYTHONDONTWRITEBYTECODE=1 python3 /payload/src/tests/i686/guest.py "$mode" </dev/null
  echo "ombrix-guest: done ($?)"
else
  echo "ombrix-guest: no payload disk"
fi
sync
echo o >/proc/sysrq-trigger
sleep 30
INIT
$SUDO chmod +x "$root/sbin/ombrix-init"
unmount_all
mounted=()
# The kernel is readable by root only.
kernel="$(ls "$root/lib/modules" | tail -1)"
for name in vmlinuz initrd.img; do
  $SUDO cp "$root/boot/$name-$kernel" "$out/$name"
  $SUDO chown "$(id -u):$(id -g)" "$out/$name"
done
$SUDO mkfs.ext4 -q -F -d "$root" "$out/guest.img" 6G
$SUDO chown "$(id -u):$(id -g)" "$out/guest.img"
$SUDO rm -rf --one-file-system "$root"
say "disk made: $(du -h "$out/guest.img" | cut -f1) used"
