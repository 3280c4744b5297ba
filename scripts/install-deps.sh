#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# this machine lacks, and makes 32-bit programs runnable for 32-bit Wine.
# Installs nothing when all is present.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ clang clang-format make libclang-rt-14-dev
  libgtest-dev googletest libbenchmark-dev valgrind
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-x86-64
  binutils-mingw-w64-i686
  wine wine64
  # 32-bit Wine for the 32-bit module; qemu runs it where the kernel runs
  # 64-bit user code only.
  wine32:i386 qemu-user-static
  # Installer packages for Windows; their summary rewritten reproducibly
  # (the libmsi bindings of Debian's Python).
  msitools wixl gir1.2-libmsi-1.0 python3-gi
  # Signing and checking signatures, a throwaway certificate for the tests,
  # reading the zip.
  osslsigncode openssl unzip
)

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

$SUDO scripts/enable-i386.sh
