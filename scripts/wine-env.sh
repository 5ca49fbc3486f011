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

# True when the kernel itself executes 32-bit x86 programs; only then can 32-bit Wine run.
kernel_runs_i386() { bash "$tessaron_root/scripts/kernel-runs-i386.sh"; }

# True when 32-bit Wine is installed (the loader of wine32:i386).
wine32_installed() { [ -x "$wine32_loader" ]; }

# Creates the prefix once; later runs reuse it. With 32-bit Wine installed it is made by the
# loader that can start both kinds of program, so that it holds the 32-bit system too; a
# prefix made before 32-bit Wine was installed lacks that and is made anew. The marker
# file records which kind the prefix is.
wine_prefix_ready() {
  [ -x "$wine64_loader" ] || { echo "wine64 is not installed" >&2; return 1; }
  local marker="$WINEPREFIX/tessaron-prefix" kind=win64 loader=$wine64_loader
  if wine32_installed && kernel_runs_i386; then
    kind=win64+win32
    loader=$wine32_loader
  fi
  if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$marker" 2>/dev/null)" != "$kind" ]; then
    echo "The Wine prefix $WINEPREFIX was made for another Wine ($(cat "$marker" 2>/dev/null || echo unknown)); making it anew"
    wine_timeout 30 "$wineserver_bin" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX ($kind)"
    mkdir -p "$(dirname "$WINEPREFIX")"
    WINELOADER=$loader DISPLAY= wine_timeout 600 "$loader" wineboot -i >/dev/null 2>&1 || true
    wine_wait
    [ -f "$WINEPREFIX/system.reg" ] && echo "$kind" >"$marker"
  fi
  [ -f "$WINEPREFIX/system.reg" ] || { echo "could not create the Wine prefix" >&2; return 1; }
}
