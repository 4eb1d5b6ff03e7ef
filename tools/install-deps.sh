#!/bin/sh
# Installs what the build and the tests need on Debian 12, when it is missing; with
# --no-i386-root, all but the emulated 32-bit Wine that only the PE32 lane uses.
set -eu
packages="cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
 g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 xvfb xauth xdotool imagemagick
 fonts-ipafont-gothic fonts-wine lhasa jlha-utils 7zip osslsigncode openssl locales time python3
 qemu-user-static debootstrap"
missing=""
for p in $packages; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi
# Wine needs a Japanese locale to run with code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
fi
# The PE32 lane's 32-bit Wine: this kernel runs no 32-bit code.
if [ "${1:-}" != --no-i386-root ]; then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo "$(dirname "$0")/install-i386-root.sh"
fi
