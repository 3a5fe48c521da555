#!/usr/bin/env bash
# Installs every Debian package the build and the tests need, if missing.
# Idempotent and non-interactive; meant for a fresh Debian 12 machine, run as root.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest
  g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
  # the 64-bit build and 64-bit Wine, for machines whose kernel runs no 32-bit code
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine32:i386 wine64 fonts-wine
  xvfb x11-utils xdotool imagemagick
  liblnk-utils nsis file python3 hyperfine xorriso
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "setup-deps: missing packages: ${missing[*]}; run this script as root" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
