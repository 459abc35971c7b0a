#!/usr/bin/env bash
# Configures and builds the build tree build/ARCH, logging to build/ARCH.configure.log
# and build/ARCH.build.log and showing the errors of a step that fails:
#   scripts/build.sh ARCH [TARGET...]   configures, then builds everything or the targets
# ARCH is i686 or x86_64 (the mingw-w64 cross toolchain cmake/toolchain-ARCH.cmake), or
# native (the machine's own compiler). Sourced, it gives the run, test and bench
# commands the two steps, which end the calling script when they fail:
#   configure_tree ARCH [CMAKE_OPTION...]   a Release build unless the options say otherwise
#   build_tree ARCH [TARGET...]             on BUILD_JOBS cores (default: all of them)

build_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

configure_tree() { # arch [cmake options]
  local arch=$1 dir=$build_root/build/$1
  shift
  local toolchain=()
  [ "$arch" = native ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="$build_root/cmake/toolchain-$arch.cmake")
  mkdir -p "$build_root/build"
  cmake -S "$build_root" -B "$dir" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release "$@" >"$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; exit 1; }
}

build_tree() { # arch [targets]
  local dir=$build_root/build/$1
  shift
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  cmake --build "$dir" -j"${BUILD_JOBS:-$(nproc)}" "${targets[@]}" >"$dir.build.log" 2>&1 \
    || { grep -E 'error|Error' -A3 "$dir.build.log" | head -60 || true; exit 1; }
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  if [ $# -eq 0 ]; then
    echo "usage: $0 i686|x86_64|native [TARGET...]" >&2
    exit 2
  fi
  configure_tree "$1"
  build_tree "$@"
fi
