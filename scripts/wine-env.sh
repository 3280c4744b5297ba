# Sourced by the Wine suites: Wine for one Windows target, in a fresh prefix.
#
#   wine_start x64|x86   creates the prefix and keeps its server up until
#                        wine_stop; afterwards `wine PROGRAM ARGS...` runs a
#                        Windows program of that target (Wine's own tools by
#                        file name: regsvr32.exe, reg.exe, cscript.exe)
#   wine_stop            ends the server and removes the prefix
#   windows_path PATH    the Windows path of a Unix path in that prefix
#
# With Debian's 32-bit Wine installed, /usr/bin/wine starts the 32-bit loader
# first, even for 64-bit programs; each target therefore calls its own loader.
# Where i386 code runs under qemu's user-mode emulation, the 32-bit target
# gets the settings that make an emulated Wine start in seconds instead of
# minutes (tests-wine/emulated-i386/upper_half_shim.c says why).

WINE_LOADER=
WINE_SERVER=
wine_qemu_switched_off=0
wine_qemu_entry=/proc/sys/fs/binfmt_misc/qemu-i386

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

wine() { "$WINE_LOADER" "$@"; }

# Wine's programs end their lines with CR LF: the lines of FILE (or of the
# standard input) without the CR.
unix_lines() { tr -d '\r' <"${1:-/dev/stdin}"; }

# Each target's own loader.
wine_loader_of() {
  case "$1" in
    x64) echo /usr/lib/wine/wine64 ;;
    x86) echo /usr/lib/wine/wine ;;
    *) echo "unknown target '$1'" >&2; return 1 ;;
  esac
}

# Wine maps drive Z: to the Unix root in every new prefix.
windows_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s\n' "${path//\//\\}"
}

i386_is_emulated() { [ -e "$wine_qemu_entry" ] && grep -qx enabled "$wine_qemu_entry"; }

# The preloaded library for an emulated 32-bit Wine, built on first use.
emulated_i386_shim() {
  local source=tests-wine/emulated-i386/upper_half_shim.c
  local library=build/emulated-i386/upper_half_shim.so
  if [ ! -f "$library" ] || [ "$source" -nt "$library" ]; then
    mkdir -p "$(dirname "$library")"
    clang -m32 -O2 -fPIC -shared -nostdlib -Wall -Wextra -Werror -o "$library" "$source" || return 1
  fi
  realpath "$library"
}

wine_start() {
  local target=$1 shim
  case "$target" in
    x64)
      unset WINEARCH
      ;;
    x86)
      export WINEARCH=win32
      if i386_is_emulated; then
        shim=$(emulated_i386_shim) || { echo "cannot build the emulated-i386 shim" >&2; return 1; }
        # An explicit guest address space makes qemu place what it cannot
        # place where asked from 4 GB downwards, away from the page Wine
        # needs at 0x7FFE0000 for the shared user data.
        export QEMU_RESERVED_VA=0xffff0000
        export QEMU_SET_ENV="LD_PRELOAD=$shim"
      fi
      ;;
    *) echo "wine_start: unknown target '$target'" >&2; return 1 ;;
  esac
  WINE_LOADER=$(wine_loader_of "$target") || return 1
  [ -x "$WINE_LOADER" ] || { echo "wine_start: $WINE_LOADER is missing" >&2; return 1; }
  export WINELOADER=$WINE_LOADER
  WINE_SERVER=/usr/lib/wine/wineserver64
  [ -x "$WINE_SERVER" ] || WINE_SERVER=$(command -v wineserver)

  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-wine-$target.XXXXXX")
  export WINEPREFIX
  # Started here, before any emulated process, the server is a plain 64-bit
  # process that never sees the 32-bit preload; it stays up until wine_stop,
  # so the prefix's services start once.
  "$WINE_SERVER" -p >/dev/null 2>&1

  # A 64-bit prefix also sets up its 32-bit half, which under emulation takes
  # minutes; the 64-bit suite needs none of it.
  if [ "$target" = x64 ] && i386_is_emulated && echo 0 2>/dev/null >"$wine_qemu_entry"; then
    wine_qemu_switched_off=1
  fi
  # Nothing may start in the prefix before it is complete (a regsvr32 run
  # during its creation registers nothing).
  wine wineboot.exe --init >"$WINEPREFIX.boot.log" 2>&1
  local status=$?
  wine_qemu_switch_back
  return $status
}

wine_qemu_switch_back() {
  if [ "$wine_qemu_switched_off" -eq 1 ]; then
    echo 1 >"$wine_qemu_entry"
    wine_qemu_switched_off=0
  fi
}

wine_stop() {
  wine_qemu_switch_back
  [ -n "${WINEPREFIX:-}" ] || return 0
  "$WINE_SERVER" -k >/dev/null 2>&1
  # Let the server go before its prefix does.
  "$WINE_SERVER" -w >/dev/null 2>&1
  rm -rf "$WINEPREFIX" "$WINEPREFIX.boot.log"
}
