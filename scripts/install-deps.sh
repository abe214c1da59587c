#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and `make deb` need.
# Idempotent: runs apt-get only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev qt6-base-dev qt6-svg-dev libsystemd-dev
  xvfb xauth trayer xdotool x11-utils
  dnsutils knot-dnsutils iproute2 dnsperf
  desktop-file-utils appstream systemd man-db
  debhelper dpkg-dev fakeroot lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
