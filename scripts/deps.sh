#!/bin/sh
# Installs the Debian 12 packages the build, the saver and the tests need,
# skipping those already present. Runs as root or through sudo. Wayland:
# Qt's plug-in for the program; a headless compositor with screen capture,
# a virtual keyboard and X11 clients on it for the tests.
set -e
PKGS="build-essential cmake ninja-build pkg-config git
qt6-base-dev libqt6opengl6-dev libgl-dev libglu1-mesa-dev libegl-dev libx11-dev
libgl1-mesa-dri libegl-mesa0 mesa-utils
qt6-wayland
xvfb xauth fonts-dejavu fonts-liberation2 libxtst-dev openbox desktop-file-utils
googletest libgtest-dev libgmock-dev libbenchmark-dev glslang-tools
libxext-dev libx11-xcb-dev libxcb-screensaver0-dev libwayland-dev dbus
sway grim wtype xwayland mutter"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "somnel: installing:$missing" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null
