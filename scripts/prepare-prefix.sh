# Sourced by the run and test commands with ARCH and BUILD_DIR set: creates the
# build tree's own Wine prefix once and exports the Wine variables for it.
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh" "$ARCH" "$BUILD_DIR/wineprefix"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$WINE" wineboot -i >/dev/null 2>&1 || true
  "$WINESERVER" -w
  # A crashing program must fail at once, not wait for a debugger that never comes.
  "$WINE" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
fi
