#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine, printing what each measures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
if "$root/scripts/can-run-x86-32.sh"; then ARCH=i686; else ARCH=x86_64; fi
BUILD_DIR="$root/build/$ARCH"
cmake -S "$root" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$ARCH.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target update_tag_bench >/dev/null
. "$root/scripts/prepare-prefix.sh"
echo "== UpdateTag throughput ($ARCH)"
"$WINE" "$BUILD_DIR/bin/update_tag_bench.exe"
