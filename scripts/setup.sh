#!/usr/bin/env bash
# Installs what the builds and tests need on a fresh Debian 12 machine.
# Idempotent: installs only what is missing, and registers the i386 binfmt rule
# (for the 32-bit Wine smoke test) only when it is not there yet.
set -u
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

PKGS="cmake make g++ pkg-config googletest libgtest-dev libbenchmark-dev zlib1g-dev
clang libclang-rt-14-dev
g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
libz-mingw-w64-dev
wine wine64 xvfb x11-utils imagemagick xauth
zip unzip p7zip-full libarchive-tools python3
openssl osslsigncode
qemu-user-static
libdeflate-dev liblzma-dev dpkg-dev patch icoutils python3-pefile
python3-cryptography libssl-dev libarchive-tools"

missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi
dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" || missing="$missing wine32:i386"

# apt_install PACKAGES...: a few tries, with the index read again between
# them; a mirror in the middle of a sync serves indexes of the wrong size for a
# while, and then the foreign architecture's packages do not match the native
# ones.
apt_install() {
  local try
  for try in 1 2 3; do
    $SUDO apt-get update -qq >/tmp/sfx-setup-update.log 2>&1 || true
    if $SUDO apt-get install -y -qq --no-install-recommends "$@" >/tmp/sfx-setup-apt.log 2>&1; then
      return 0
    fi
    echo "setup: apt-get install failed (try $try), see /tmp/sfx-setup-apt.log"
    tail -5 /tmp/sfx-setup-apt.log
    [ $try -lt 3 ] && sleep $((try * 20))
  done
  return 1
}

if [ -n "$missing" ]; then
  echo "setup: installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  native=$(echo "$missing" | tr ' ' '\n' | grep -v ':i386$' | tr '\n' ' ')
  foreign=$(echo "$missing" | tr ' ' '\n' | grep ':i386$' | tr '\n' ' ')
  if [ -n "${native// /}" ]; then
    apt_install $native || exit 1
  fi
  # 32-bit Wine only carries the 32-bit end-to-end half: without it every
  # other stage still builds and runs, and that half fails with its reason.
  if [ -n "${foreign// /}" ]; then
    apt_install $foreign || {
      # The native side may already hold versions from an index the i386
      # side lacks: both sides then take the release's own versions.
      release=$(. /etc/os-release; echo "$VERSION_CODENAME")
      pins=$(python3 "$(dirname "$0")/align_i386.py" $foreign)
      echo "setup: installing $foreign from $release with the native side aligned:" $pins
      apt_install -t "$release" --allow-downgrades $foreign $pins
    } || echo "setup: WARNING: could not install $foreign; the 32-bit end-to-end tests will fail"
  fi
fi

# binfmt_misc rule so that 32-bit Wine (an i386 ELF program) runs through qemu.
if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
  $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
fi
if [ -w /proc/sys/fs/binfmt_misc/register ] && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] \
   && [ -x /usr/bin/qemu-i386-static ]; then
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    | $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null 2>&1 || echo "setup: binfmt registration refused"
fi
# The sources of libdeflate and liblzma for the Windows builder: Debian's
# source packages of the versions libdeflate-dev and liblzma-dev installed
# (see scripts/fetch_debian_source.sh).
bash "$(dirname "$0")/fetch_libdeflate.sh" || exit 1
bash "$(dirname "$0")/fetch_xz.sh" || exit 1
exit 0
