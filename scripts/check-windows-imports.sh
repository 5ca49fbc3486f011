#!/usr/bin/env bash
# Fails unless the Windows module imports only Windows' own DLLs and exports both entry
# points undecorated. A DLL that needs libstdc++, libgcc, winpthread, zlib or libpng would
# load under Wine (which brings some of them) and fail on a user's machine.
# Usage: check-windows-imports.sh <module.dll>
set -euo pipefail
dll=${1:?module.dll}
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=i686-w64-mingw32-objdump

system_dlls=" kernel32.dll user32.dll gdi32.dll msvcrt.dll shell32.dll wininet.dll comctl32.dll comdlg32.dll
  ole32.dll oleaut32.dll advapi32.dll shlwapi.dll winmm.dll ws2_32.dll version.dll imm32.dll uxtheme.dll "
system_dlls=" $(tr -s '[:space:]' ' ' <<<"$system_dlls") "

dump=$("$objdump" -p "$dll")
status=0
while read -r name; do
  lower=$(tr '[:upper:]' '[:lower:]' <<<"$name")
  case "$system_dlls" in
    *" $lower "*) ;;
    *) echo "$dll imports $name, which is not part of Windows" >&2; status=1 ;;
  esac
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")

# The export name table lists "[   n] name"; decorated cdecl or stdcall names would
# read _VSTPluginMain or VSTPluginMain@4.
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\] //p')
for symbol in VSTPluginMain main; do
  grep -qx "$symbol" <<<"$exports" || { echo "$dll does not export $symbol undecorated" >&2; status=1; }
done
[ $status -eq 0 ] && echo "$dll: imports $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr '\n' ' ')- exports ok"
exit $status
