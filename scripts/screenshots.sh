#!/usr/bin/env bash
# Screenshots of OPCLumbra on a virtual display, into build/screenshots/:
#   main-window.png  the main window: the tag tree, the leaves with their values, the log
#   tag-dialog.png   the tag dialog (节点属性编辑器) over it, for a string leaf
#   tray-menu.png    the tray icon's menu
# Builds the program (and the demo configuration's writer) in the x86_64 build
# tree unless --no-build is given, and runs it in a Wine prefix of its own, so
# that the build tree's prefix and its running tests are left alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$root/build/x86_64
out=$root/build/screenshots
password=MERIDO_cfg

if [ "${1:-}" != --no-build ]; then
  . "$root/scripts/build.sh"
  BUILD_JOBS=2 build_tree x86_64 OPCLumbra demo_config
fi
mkdir -p "$out"

ARCH=x86_64 BUILD_DIR=$out
. "$root/scripts/prepare-prefix.sh"
. "$root/scripts/virtual-display.sh"
start_virtual_display
# Chinese texts: the program's ANSI code page is 936.
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
run_dir=$(mktemp -d)
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  kill "$XVFB_PID" 2>/dev/null || true
  rm -rf "$run_dir"
}
trap cleanup EXIT
"$WINESERVER" -p 2>/dev/null || true
# No window manager on the virtual display: Wine draws the window frames itself.
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

cp "$build_dir/bin/OPCLumbra.exe" "$build_dir/bin/Quillon.dll" "$run_dir/"
"$WINE" "$build_dir/bin/demo_config.exe" "$("$WINE" winepath -w "$run_dir/OPCLumbra.dat")"
(cd "$run_dir" && exec "$WINE" OPCLumbra.exe >/dev/null 2>&1) &

# Waits (up to 20 s) for a visible window named exactly Name; prints its id.
wait_window() {
  local tries=0 id
  until id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 200 ]; then
      echo "no window '$1'" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "$id"
}
# Waits until no visible window is named Name.
wait_gone() {
  local tries=0
  while xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ $tries -gt 100 ] && return 1
    sleep 0.1
  done
}
# The window's geometry as X, Y, WIDTH and HEIGHT variables.
geometry() { eval "$(xdotool getwindowgeometry --shell "$1")"; }
shot() { sleep 0.5; import -display "$DISPLAY" -window root "$out/$1"; }

tray=$(wait_window "Wine System Tray")
geometry "$tray"
# The icon sits in the bottom left corner, below the caption Wine draws.
icon_x=$((X + 12)) icon_y=$((Y + HEIGHT - 11))
xdotool mousemove "$icon_x" "$icon_y" click --repeat 2 --delay 80 1
main=$(wait_window "OPCLumbra 1.0 \\(Lumbra Software\\)")
geometry "$main"
main_x=$X main_y=$Y
# The window's layout at its 640 x 480 size: a frame, the caption and the menu
# bar above a toolbar; the tag tree on the left, its rows 16 pixels apart.
# Area1 is the tree's second row, its first leaf the list's first row.
xdotool mousemove $((main_x + 65)) $((main_y + 95)) click 1
sleep 0.3
xdotool mousemove $((main_x + 240)) $((main_y + 99)) click 1
shot main-window.png

# The leaf's properties: Edit mode with the password, then Setup Node.
xdotool key alt+f e
wait_window "提示" >/dev/null
xdotool type --delay 20 "$password"
xdotool key Return
wait_gone "提示"
xdotool mousemove $((main_x + 240)) $((main_y + 99)) click 1
xdotool key alt+e s
wait_window "节点属性编辑器" >/dev/null
shot tag-dialog.png
xdotool key Escape
wait_gone "节点属性编辑器"

# The icon takes a right click only once the pointer has rested on it.
xdotool mousemove "$icon_x" "$icon_y"
sleep 0.3
xdotool mousedown 3 sleep 0.1 mouseup 3
shot tray-menu.png

# The tray menu's Exit, with the password; nothing was changed, so nothing is asked to be saved.
# Exit is the menu's last item, two rows below the pointer.
xdotool mousemove $((icon_x + 40)) $((icon_y + 38)) sleep 0.3 click 1
wait_window "提示" >/dev/null
xdotool type --delay 20 "$password"
xdotool key Return
wait_gone "OPCLumbra 1.0 \\(Lumbra Software\\)" || echo "OPCLumbra did not end; stopping it" >&2
echo "screenshots in $out"
