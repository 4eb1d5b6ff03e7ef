#!/bin/sh
# Makes the i386 Debian root with 32-bit Wine that runs the PE32 builds here: this
# kernel runs no 32-bit code, so every i386 program in it runs under qemu-user, which
# binfmt_misc hands it to. Built once per machine (about 7 minutes, 2 GB) into
# VOPA_I386_ROOT; a complete root is never rebuilt. Called by install-deps.sh, as root.
set -eu
root=${VOPA_I386_ROOT:-/var/lib/vopa/i386-root}
# wine32-preloader is not optional under qemu: without it every Wine process spends a
# minute and a half reserving its address space, and wineboot fails.
packages="wine wine32 wine32-preloader fonts-wine fonts-ipafont-gothic locales libfreetype6
 libfontconfig1 libxrender1 libxrandr2 libxcursor1 libxi6 libxinerama1 libxcomposite1 libxfixes3"

# Any i386 ELF program (executable or shared object) to qemu. F: the emulator is opened
# now, so it is found inside the root too.
[ -f /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
if ! grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; then
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] || echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386
    printf ':qemu-i386:M::%s:%s:/usr/bin/qemu-i386-static:F\n' "$magic" "$mask" \
        > /proc/sys/fs/binfmt_misc/register
fi

# In a mount namespace of its own: whatever is mounted into the root goes when the
# command ends, so a root is never deleted with the host's /dev or /tmp bound inside it.
inRoot() {  # folder, command...
    dir=$1
    shift
    unshare -m sh -c 'for d in proc sys dev dev/pts; do mount --bind "/$d" "$0/$d"; done
                      exec chroot "$0" "$@"' "$dir" "$@"
}

mkdir -p "$(dirname "$root")"
exec 9> "$root.lock"
flock 9  # one builder at a time; a second waits and then finds the root made
stamp="$root/etc/vopa-packages"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$packages" ]; then exit 0; fi
if [ ! -d "$root" ]; then
    # The host's own Debian mirror, and the root made aside, so that a root exists
    # only whole.
    mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' |
             awk '$2 == "bookworm" && $3 == "main" { print $1; exit }')
    [ -n "$mirror" ] || { echo "no bookworm main in the host's apt sources" >&2; exit 1; }
    rm -rf "$root.new"
    echo "making the i386 root in $root (about 7 minutes, once per machine)"
    unshare -m debootstrap --arch=i386 --variant=minbase bookworm "$root.new" "$mirror" \
        > "$root.log" 2>&1 || { tail -20 "$root.log" >&2; exit 1; }
    mv "$root.new" "$root"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
inRoot "$root" apt-get update -q >> "$root.log" 2>&1
inRoot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    $packages >> "$root.log" 2>&1 || { tail -20 "$root.log" >&2; exit 1; }
inRoot "$root" apt-get clean
# Code page 932 comes from a Japanese locale.
inRoot "$root" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
echo "$packages" > "$stamp"
echo "i386 root ready: $(inRoot "$root" wine --version)"
