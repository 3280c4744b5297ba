#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# this machine lacks. Installs nothing when all is present.
set -euo pipefail

packages=(
  cmake g++ clang make libclang-rt-14-dev
  libgtest-dev googletest libbenchmark-dev valgrind
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-x86-64
  binutils-mingw-w64-i686
  wine wine64
  msitools wixl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# wine32 is never wanted: this kernel cannot run 32-bit code.
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
