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

configure() { # arch build-dir [cmake options]
  local arch=$1 dir=$2
  shift 2
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release "$@" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
}
build() { # build-dir
  cmake --build "$1" -j"$(nproc)" >"$1.build.log" 2>&1 || { grep -E 'error|Error' -A3 "$1.build.log" | head -60; exit 1; }
}

mkdir -p "$root/build"
build_dir="$root/build/$test_arch"
configure "$test_arch" "$build_dir"

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

build "$build_dir"
"$WINE" regsvr32 /s "$("$WINE" winepath -w "$build_dir/bin/QuillonPS.dll")"

status=0
(cd "$build_dir" && ctest --output-on-failure -j"$(nproc)" --timeout 300) || status=1

if [ "$test_arch" != i686 ]; then
  configure i686 "$root/build/i686"
  build "$root/build/i686"
  (cd "$root/build/i686" && ctest --output-on-failure -L static --timeout 120) || status=1
fi

# Portable code natively, under the address and undefined-behaviour sanitizers.
native="$root/build/native"
cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all" >"$native.configure.log" 2>&1 \
  || { cat "$native.configure.log"; exit 1; }
build "$native"
(cd "$native" && ctest --output-on-failure --timeout 120) || status=1

exit $status
