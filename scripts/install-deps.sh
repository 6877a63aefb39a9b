#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Brenvo needs,
# and the extra packages named as arguments. Idempotent; runs as root or through
# sudo. Services shipped by packages (miniupnpd, avahi-daemon, sshd, tor) are installed without being
# started.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build ccache
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-l10n-tools qt6-translations-l10n
  libssl-dev libminiupnpc-dev libnatpmp-dev libsecret-1-dev libsodium-dev tor
  libgtest-dev libgmock-dev
  clang-14 libclang-rt-14-dev
  python3 python3-dbus python3-dbusmock
  dbus gnome-keyring libsecret-tools
  miniupnpd-nftables miniupnpc natpmpc nftables iproute2 procps avahi-daemon avahi-utils
  xvfb xauth fonts-dejavu-core
  desktop-file-utils shared-mime-info xdg-utils appstream file
  libglib2.0-bin dpkg-dev librsvg2-bin
  breeze-icon-theme libqt6svg6 at-spi2-core python3-pyatspi imagemagick x11-utils
  python3-gi libx11-6
  "$@"
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "All packages present."
  exit 0
fi

# Keep package scripts from starting services (miniupnpd) while installing.
policy=/usr/sbin/policy-rc.d
created_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
  $SUDO chmod 755 "$policy"
  created_policy=1
fi
cleanup() { if [ "$created_policy" = 1 ]; then $SUDO rm -f "$policy"; fi; }
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
