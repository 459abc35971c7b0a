#!/usr/bin/env bash
# Builds OPCLumbra and starts it serving its configuration: installs what is
# missing, builds the Windows binaries, prepares the Wine prefix, registers the
# proxy/stub DLL and the server class, and runs the program on the user's X
# display, or on a virtual one when there is none. Ctrl+C stops it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
if "$root/scripts/can-run-x86-32.sh"; then arch=i686; else arch=x86_64; fi
build_dir="$root/build/$arch"
. "$root/scripts/build.sh"
configure_tree "$arch"
build_tree "$arch" OPCLumbra quillon_ps opcclient

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

# The program keeps its configuration (OPCLumbra.dat) beside itself: it runs
# from a directory of its own that rebuilds do not touch.
run_dir="$root/build/run"
mkdir -p "$run_dir"
cp "$build_dir/bin/OPCLumbra.exe" "$build_dir/bin/Quillon.dll" "$run_dir/"
# Chinese texts: the program's ANSI code page is 936.
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
# The program prints why a registration failed; exit code 1: the registry
# refused, 2: the configuration could not be read.
(cd "$run_dir" && "$WINE" OPCLumbra.exe /RegServer) || {
  echo "run.sh: OPCLumbra.exe /RegServer failed (exit code $?): the server class is not registered in $WINEPREFIX; not starting" >&2
  exit 1
}

client="\"$WINE\" \"$build_dir/bin/opcclient.exe\""
cat <<INFO
OPCLumbra runs $display_note, from $run_dir,
serving ProgID OPC.Lumbra.1 (its configuration: $run_dir/OPCLumbra.dat, defaults while there is none).
It starts hidden behind its tray icon: double-click the icon to show the window.
The operation password of the default configuration is MERIDO_cfg.

Connect a client, in another shell (same Wine prefix):
  export WINEPREFIX="$WINEPREFIX" WINEARCH=$WINEARCH WINEDEBUG=-all
  $client list
  $client status OPC.Lumbra.1
  $client browse OPC.Lumbra.1
  $client subscribe OPC.Lumbra.1 ITEM.ID --seconds 30
Stop it with the Exit command (tray menu or File menu, with the password) or Ctrl+C here.
INFO
cd "$run_dir"
"$WINE" OPCLumbra.exe &
program=$!
trap 'kill "$program" 2>/dev/null || true; kill "${XVFB_PID:-}" 2>/dev/null || true' EXIT INT TERM
wait "$program" || true
