# Sourced by the Wine scripts: a private prefix under .deps/, no debugger dialog, no
# Mono or Gecko installers, and the loaders called directly (Debian's `wine` wrapper
# prefers the 32-bit loader even where the kernel cannot run 32-bit programs).
tessaron_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${TESSARON_WINEPREFIX:-$tessaron_root/.deps/wine-prefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win64
wine64_loader=/usr/lib/wine/wine64
wine32_loader=/usr/lib/wine/wine
wineserver_bin=/usr/lib/wine/wineserver
[ -x "$wineserver_bin" ] || wineserver_bin=$(command -v wineserver || true)

# Runs with a bound so that nothing under Wine can hang the caller.
wine_timeout() { timeout -k 10 "$@"; }

# Waits for every Wine process of the prefix to end; those still there after two minutes are killed.
wine_wait() {
  [ -n "$wineserver_bin" ] || return 0
  wine_timeout 120 "$wineserver_bin" -w || wine_timeout 30 "$wineserver_bin" -k 2>/dev/null || true
}

# True when this machine can run 32-bit Windows programs (wine32 installed and the
# kernel able to execute 32-bit programs).
wine32_usable() {
  [ -x "$wine32_loader" ] && wine_timeout 30 "$wine32_loader" --version >/dev/null 2>&1
}

# Creates the prefix once; later runs reuse it.
wine_prefix_ready() {
  [ -x "$wine64_loader" ] || { echo "wine64 is not installed" >&2; return 1; }
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    WINELOADER=$wine64_loader DISPLAY= wine_timeout 600 "$wine64_loader" wineboot -i >/dev/null 2>&1 || true
    wine_wait
  fi
  [ -f "$WINEPREFIX/system.reg" ] || { echo "could not create the Wine prefix" >&2; return 1; }
}
