#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine, printing what each measures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
if "$root/scripts/can-run-x86-32.sh"; then ARCH=i686; else ARCH=x86_64; fi
BUILD_DIR="$root/build/$ARCH"
cmake -S "$root" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$ARCH.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target update_tag_bench com_bench browse_bench quillon_ps >/dev/null
. "$root/scripts/prepare-prefix.sh"
# The COM benchmark crosses processes through the proxy/stub DLL.
"$WINE" regsvr32 /s "$("$WINE" winepath -w "$BUILD_DIR/bin/QuillonPS.dll")"
echo "== UpdateTag throughput ($ARCH)"
"$WINE" "$BUILD_DIR/bin/update_tag_bench.exe"
echo
echo "== Quillon through out-of-process COM ($ARCH)"
# The program ends itself after four minutes; the outer limit covers Wine too.
timeout 300 "$WINE" "$BUILD_DIR/bin/com_bench.exe"
echo
echo "== Browsing a large address space through out-of-process COM ($ARCH)"
# The program ends itself after eight minutes.
timeout 540 "$WINE" "$BUILD_DIR/bin/browse_bench.exe"
