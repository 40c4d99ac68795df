#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test Brindlo.
# Safe to run again: it does nothing when everything is already present.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  libmpg123-dev libfontconfig-dev
  libgtest-dev
  # run: playback plugins are not pulled in by the dev packages
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  qt6-qpa-plugins fonts-dejavu-core
  # test and screenshots
  xvfb xauth
  libfuse3-dev fuse3 # the slow share of the tests and benchmarks
  lame python3
  pulseaudio pulseaudio-utils
  python3-mutagen id3v2
  desktop-file-utils appstream
  dbus-daemon playerctl
  # the Debian package (tools/package.sh) and its lintian check
  debhelper dpkg-dev fakeroot lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
