#!/usr/bin/env bash
# Installs every tool and library the build needs on a fresh Debian machine.
# Idempotent: packages already present are left alone, so a second run costs seconds.
set -euo pipefail

# --demo also installs LibreOffice Impress, through which the presentation-program stand-in
# writes real PowerPoint 97-2003 files; the tests do without it.
demo_packages=()
[ "${1:-}" = "--demo" ] && demo_packages=(libreoffice-impress)

# chromium: the runtime's Chromium engine renders real pages in it (tests labelled chromium).
# Its JPEG frames are decoded by libjpeg-turbo, which the build makes from Debian's source
# package (apt-get source, hence dpkg-dev) with nasm for its SIMD code; PNG frames go to Wine's
# WIC. The native fuzzers link Debian's own libturbojpeg.
# xdotool and imagemagick: the viewer's test clicks into its window and takes pictures of it.
packages=(
  wine wine32:i386 xvfb xauth
  g++-mingw-w64-i686-posix libz-mingw-w64-dev mingw-w64-tools
  libboost-dev nlohmann-json3-dev googletest
  cmake make file xxd nasm dpkg-dev
  clang-14 libclang-rt-14-dev libfuzzer-14-dev libminizip-dev libturbojpeg0-dev
  clang-format-14
  chromium
  xdotool imagemagick
)

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh: run as root to install: $*" >&2
    exit 1
  fi
}

# A host whose kernel runs no i386 code tests a 64-bit build under 64-bit Wine (see Makefile).
"$(dirname "$0")/host-runs-i386.sh" || packages+=(wine64 g++-mingw-w64-x86-64-posix)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_root "the i386 architecture"
  dpkg --add-architecture i386
  rm -f /var/lib/apt/lists/.pagehull-updated
fi

# Source packages come from the same archives as the binary ones: a deb-src twin of each
# deb entry in the machine's own Debian sources, when it has none yet. Debian 12 writes them
# as deb822 stanzas in debian.sources, older or hand-made machines as one-line entries.
if ! grep -rqsE '^[[:space:]]*(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  need_root "a deb-src entry for the build's source packages"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -E 's/^Types:[[:space:]]+deb[[:space:]]*$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      >/etc/apt/sources.list.d/pagehull-deb-src.sources
  elif [ -f /etc/apt/sources.list ]; then
    sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' /etc/apt/sources.list >/etc/apt/sources.list.d/pagehull-deb-src.list
  fi
fi
# Lists never fetched since (or a fetch cut short) know no source package yet.
[ -n "$(apt-cache showsrc libjpeg-turbo 2>/dev/null)" ] || sources_unread=1

missing=()
for p in "${packages[@]}" "${demo_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ] || [ -n "${sources_unread:-}" ]; then
  need_root "${missing[*]:-the source package lists}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The posix-threads compilers give std::thread and std::mutex; make sure they are the ones used.
command -v i686-w64-mingw32-g++-posix >/dev/null
command -v npm >/dev/null || { need_root "npm"; apt-get install -y -qq npm >/dev/null; }
echo "setup: all build dependencies present"
