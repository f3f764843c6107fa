#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the headless run need; only the missing
# ones, through sudo when not root. With "fuzz", those of the fuzz build instead: clang and its
# libFuzzer and sanitizer runtimes, no Qt.
set -euo pipefail

if [ "${1:-}" = fuzz ]; then
  packages=(build-essential cmake clang-14 libclang-rt-14-dev)
else
  packages=(
    build-essential cmake pkg-config
    libasan8 liblsan0 libubsan1 libtsan2 util-linux
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    xvfb xauth fonts-dejavu-core
    python3 python3-serial
    desktop-file-utils appstream groff-base
    libtango-dev python3-tango libtango-tools
    mariadb-server tango-db
    dpkg-dev lintian systemd
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Missing packages (${missing[*]}) and no sudo to install them." >&2; exit 1; }
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# The TANGO database's package would configure a system database (the tests start their own)
# unless dbconfig-no-thanks is in place before it.
if [[ " ${missing[*]} " == *" tango-db "* ]]; then
  $sudo apt-get install -y --no-install-recommends dbconfig-no-thanks ||
    { $sudo apt-get update && $sudo apt-get install -y --no-install-recommends dbconfig-no-thanks; }
fi
# A fresh machine's package lists may be stale or absent: refresh and try again on failure.
if ! $sudo apt-get install -y --no-install-recommends "${missing[@]}"; then
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
