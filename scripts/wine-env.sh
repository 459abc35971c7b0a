# Sourced with two arguments, the target architecture (i686 or x86_64) and the
# Wine prefix: exports WINE, WINESERVER and the Wine variables for that prefix.
wine_arch=$1
export WINEPREFIX=$2
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$wine_arch" = x86_64 ]; then
  export WINEARCH=win64
  WINE=/usr/lib/wine/wine64
else
  export WINEARCH=win32
  WINE=/usr/lib/wine/wine
fi
export WINELOADER=$WINE
export WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver32
export WINE
