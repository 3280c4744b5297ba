#!/usr/bin/env bash
# Makes 32-bit (i386) Linux programs runnable, which Debian's 32-bit Wine
# needs. On a kernel that runs i386 code itself this does nothing; on one
# that runs 64-bit user code only, i386 ELF binaries are handed to
# qemu-i386-static through binfmt_misc. Idempotent; needs root for the
# binfmt part. Exits non-zero when i386 programs still cannot run.
set -euo pipefail

probe=/usr/lib/wine/wine
runs_i386() { "$probe" --version >/dev/null 2>&1; }

if [ ! -x "$probe" ]; then
  echo "enable-i386: $probe is missing (wine32:i386 not installed)" >&2
  exit 1
fi
runs_i386 && exit 0

binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386
interpreter=/usr/bin/qemu-i386-static
[ -x "$interpreter" ] || { echo "enable-i386: $interpreter is missing" >&2; exit 1; }
[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
if [ ! -e "$entry" ]; then
  # Magic and mask of an i386 executable or shared object (ELF class 32,
  # little endian, machine 3). Flag F opens the interpreter now, so it is
  # found in any mount namespace or chroot later.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s' ":qemu-i386:M::$magic:$mask:$interpreter:F" >"$binfmt/register"
fi
# A registered entry may have been switched off (echo 0 > entry).
echo 1 >"$entry"

if ! runs_i386; then
  echo "enable-i386: i386 programs still do not run" >&2
  exit 1
fi
