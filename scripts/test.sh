#!/usr/bin/env bash
# Builds everything and runs every test: installs what is missing, builds the
# Windows binaries with the mingw-w64 cross compiler, prepares the build tree's
# own Wine prefix, registers the proxy/stub DLL there and runs ctest through Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

# The shipped binaries are 32-bit. They are tested under wine32 where the
# machine runs 32-bit x86 code; elsewhere the same sources are built for x86_64
# and tested under wine64, and the 32-bit build gets its static checks only.
if "$root/scripts/can-run-x86-32.sh"; then
  test_arch=i686
else
  test_arch=x86_64
  echo "note: this machine cannot execute 32-bit x86 code; testing the x86_64 build under wine64" >&2
fi

. "$root/scripts/build.sh"
build_dir="$root/build/$test_arch"
configure_tree "$test_arch"

ARCH=$test_arch BUILD_DIR=$build_dir
. "$root/scripts/prepare-prefix.sh"
# One wineserver for the whole run, stopped at the end.
"$WINESERVER" -p 2>/dev/null || true  # already running is fine
. "$root/scripts/virtual-display.sh"
start_virtual_display
# No window manager on the virtual display: Wine draws the frames itself and
# does not wait for a manager each time a window is hidden.
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
trap '"$WINESERVER" -k >/dev/null 2>&1 || true; kill "$XVFB_PID" 2>/dev/null || true' EXIT
"$WINE" cmd /c exit 0 >/dev/null 2>&1 || true

build_tree "$test_arch"
# The Windows package, which a test installs into a fresh prefix; built before
# the registrations below, so that the desktop process they start is still
# there when the tests begin.
"$root/scripts/package.sh" --arch "$test_arch" >/dev/null
"$WINE" regsvr32 /s "$("$WINE" winepath -w "$build_dir/bin/QuillonPS.dll")"
# The OPC server list service, unless the prefix has one already; it keeps
# itself out where another is registered.
"$WINE" "$build_dir/bin/OPCServerList.exe" /RegServer

status=0
(cd "$build_dir" && ctest --output-on-failure -j"$(nproc)" --timeout 300) || status=1

if [ "$test_arch" != i686 ]; then
  configure_tree i686
  build_tree i686
  (cd "$root/build/i686" && ctest --output-on-failure -L static --timeout 120) || status=1
fi

# Portable code natively, under the address and undefined-behaviour sanitizers.
configure_tree native -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all"
build_tree native
(cd "$root/build/native" && ctest --output-on-failure --timeout 120) || status=1

exit $status
