#!/usr/bin/env bash
# Builds OPCLumbra and starts it serving its configuration: installs what is
# missing, builds the Windows binaries, prepares the Wine prefix, registers the
# proxy/stub DLL, the OPC server list service (unless the prefix has one) and
# the server class, and runs the program on the user's X
# display, or on a virtual one when there is none. Ctrl+C stops it.
#   scripts/run.sh                  the configuration of build/run/ (the demo tree while there is none)
#   scripts/run.sh --config F.csv   the tree of F.csv (see OPCLumbra.exe /Export), imported first
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
config_csv=""
while [ $# -gt 0 ]; do
  case "$1" in
    --config) [ $# -ge 2 ] || { echo "run.sh: --config needs a CSV file" >&2; exit 2; }
              config_csv=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift 2 ;;
    *) echo "usage: scripts/run.sh [--config FILE.csv]" >&2; exit 2 ;;
  esac
done
[ -z "$config_csv" ] || [ -f "$config_csv" ] || { echo "run.sh: no such file: $config_csv" >&2; exit 2; }
"$root/scripts/install-deps.sh"
if "$root/scripts/can-run-x86-32.sh"; then arch=i686; else arch=x86_64; fi
build_dir="$root/build/$arch"
. "$root/scripts/build.sh"
configure_tree "$arch"
build_tree "$arch" OPCLumbra quillon_ps opcclient server_list quillon_server_list_ps

ARCH=$arch BUILD_DIR=$build_dir
. "$root/scripts/prepare-prefix.sh"
. "$root/scripts/virtual-display.sh"
if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
  display_note="on your display $DISPLAY"
  managed=Y
else
  start_virtual_display
  trap 'kill "$XVFB_PID" 2>/dev/null || true' EXIT
  display_note="on the virtual display $DISPLAY (screenshot: import -display $DISPLAY -window root shot.png)"
  # No window manager there: Wine draws the window frames itself.
  managed=N
fi
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d $managed /f >/dev/null 2>&1 || true
"$WINE" regsvr32 /s "$("$WINE" winepath -w "$build_dir/bin/QuillonPS.dll")"
"$WINE" "$build_dir/bin/OPCServerList.exe" /RegServer

# The program keeps its configuration (OPCLumbra.dat) beside itself: it runs
# from a directory of its own that rebuilds do not touch.
run_dir="$root/build/run"
mkdir -p "$run_dir"
cp "$build_dir/bin/OPCLumbra.exe" "$build_dir/bin/Quillon.dll" "$run_dir/"
# Chinese texts: the program's ANSI code page is 936.
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
# A tree to serve at once: the user's CSV, or the demo while nothing is configured.
if [ -z "$config_csv" ] && [ ! -f "$run_dir/OPCLumbra.dat" ]; then config_csv="$root/app/demo/demo.csv"; fi
if [ -n "$config_csv" ]; then
  cp "$config_csv" "$run_dir/import.csv"
  (cd "$run_dir" && "$WINE" OPCLumbra.exe /Import import.csv) || {
    echo "run.sh: $config_csv was not imported (see above); not starting" >&2
    exit 1
  }
fi
# Ready-to-paste client lines name the server and the first leaves configured.
(cd "$run_dir" && "$WINE" OPCLumbra.exe /Export served.csv)
read -r prog_id < <(sed -n 2p "$run_dir/served.csv" | cut -d, -f2)
mapfile -t leaves < <(tail -n +5 "$run_dir/served.csv" | awk -F, '$2 == "Leaf" { print $1 }' | head -n 2)
# The program prints why a registration failed; exit code 1: the registry
# refused, 2: the configuration could not be read.
(cd "$run_dir" && "$WINE" OPCLumbra.exe /RegServer) || {
  echo "run.sh: OPCLumbra.exe /RegServer failed (exit code $?): the server class is not registered in $WINEPREFIX; not starting" >&2
  exit 1
}

client="\"$WINE\" \"$build_dir/bin/opcclient.exe\""
first=${leaves[0]:-ITEM.ID}
second=${leaves[1]:-$first}
cat <<INFO
OPCLumbra runs $display_note, from $run_dir,
serving ProgID $prog_id (its configuration: $run_dir/OPCLumbra.dat).
It starts hidden behind its tray icon: double-click the icon to show the window.
The operation password of the default configuration is MERIDO_cfg.

Connect a client, in another shell (same Wine prefix):
  export WINEPREFIX="$WINEPREFIX" WINEARCH=$WINEARCH WINEDEBUG=-all LANG=zh_CN.UTF-8
  $client list --server-list
  $client status $prog_id
  $client read $prog_id $first $second
  $client write $prog_id $first 42
  $client subscribe $prog_id $first $second --seconds 30
Stop it with the Exit command (tray menu or File menu, with the password) or Ctrl+C here.
INFO
cd "$run_dir"
"$WINE" OPCLumbra.exe &
program=$!
trap 'kill "$program" 2>/dev/null || true; kill "${XVFB_PID:-}" 2>/dev/null || true' EXIT INT TERM
wait "$program" || true
