#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and `make deb` need.
# Idempotent: runs apt-get only when something is missing. With --fuzz, also what `make fuzz`
# needs: clang with libFuzzer and the sanitizer runtimes, and the symbolizer for their reports.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev qt6-base-dev qt6-svg-dev libqt6svg6 libxcb1-dev libsystemd-dev
  libqt6network6 libssl3 ca-certificates openssl python3
  xvfb xauth x11-utils xdotool trayer fonts-dejavu-core
  dnsutils knot-dnsutils iproute2 dnsperf
  desktop-file-utils appstream systemd man-db
  debhelper dpkg-dev fakeroot lintian
)
if [ "${1:-}" = --fuzz ]; then
  packages+=(clang-14 libclang-rt-14-dev llvm-14)
fi

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
