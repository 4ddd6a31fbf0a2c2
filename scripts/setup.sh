#!/usr/bin/env bash
# Installs the Debian packages that building and testing the wizard need, when any is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-declarative-dev qt6-webengine-dev libx11-dev
  libmount-dev libblkid-dev
  libisofs-dev libxml2-dev xorriso genisoimage
  libburn-dev
  googletest libgtest-dev libbenchmark-dev
  xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core
  librsvg2-bin dpkg-dev file desktop-file-utils appstream man-db
  python3
  libxml2-utils
  node-mdn-browser-compat-data
  ca-certificates
  libtree-sitter-dev
  node-acorn python3.11-doc
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
  clang-14 libclang-rt-14-dev
  lintian
  dbus-daemon at-spi2-core gir1.2-atspi-2.0 python3-gi
)

# The nodejs manual's HTML pages, for the script test: Debian ships them in nodejs-doc; a nodejs from
# elsewhere may carry them itself, and nodejs-doc cannot be installed beside it.
if [ ! -f /usr/share/doc/nodejs/api/assets/api.js ]; then
  packages+=(nodejs nodejs-doc)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
