#!/usr/bin/env bash
# Builds the toolkit and prepares its Wine prefix; will start OPCLumbra with
# its default configuration once the program exists.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
if "$root/scripts/can-run-x86-32.sh"; then arch=i686; else arch=x86_64; fi
build_dir="$root/build/$arch"
cmake -S "$root" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" -j"$(nproc)" >/dev/null
ARCH=$arch BUILD_DIR=$build_dir
. "$root/scripts/prepare-prefix.sh"
"$WINE" regsvr32 /s "$("$WINE" winepath -w "$build_dir/bin/QuillonPS.dll")"
echo "Built Quillon.dll and QuillonPS.dll in $build_dir/bin (Wine prefix: $WINEPREFIX)."
echo "OPCLumbra, the program this command will start, is not built yet."
