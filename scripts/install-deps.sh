#!/usr/bin/env bash
# Installs the Debian packages the build needs, skipping those already present.
# Works as root, or through sudo for a normal user.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libboost-dev libboost-iostreams-dev libboost-thread-dev
  libasio-dev zlib1g-dev libfreeimage-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # Boost's own text archive reader, the yardstick of the history loader's benchmark
  libboost-serialization-dev
  # the X11 desktop backend, and what its tests drive
  libx11-dev libxfixes-dev libxres-dev libxtst-dev libxi-dev
  xvfb openbox xclip xsel x11-utils xdotool
  # the windows (Qt 6), and what their tests read them through: D-Bus for the tray, AT-SPI
  qt6-base-dev qt6-svg-dev libatspi2.0-dev at-spi2-core dbus dbus-x11
  python3-dbus python3-gi python3-pyatspi gir1.2-atspi-2.0
  # the Wayland desktop backend, and what its tests drive (a headless Sway, wl-copy, wl-paste)
  libwayland-dev wayland-protocols sway wl-clipboard
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "All build dependencies are installed."
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "Missing packages: ${missing[*]}; run this as root or install sudo." >&2
    exit 1
  fi
fi

echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
