#!/usr/bin/env bash
# Builds the Windows package of OPCLumbra in build/package/: OPCLumbra-<version>.msi and
# OPCLumbra-<version>.zip, from the 32-bit binaries, with the x86_64 toolkit for 64-bit hosts
# (Quillon.dll, QuillonPS.dll, quillon.h) in a folder x64 of its own.
#   scripts/package.sh                 the package users install
#   scripts/package.sh --arch x86_64   the same made of the x86_64 binaries (OPCLumbra-<version>-x64.*):
#                                      what the test command installs on machines that cannot run 32-bit code
# The version is the one of the top CMakeLists.txt. The installed configuration is the demo tree
# (app/demo/demo.csv), imported by the program itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=i686
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) [ $# -ge 2 ] && { [ "$2" = i686 ] || [ "$2" = x86_64 ]; } || { echo "package.sh: --arch i686|x86_64" >&2; exit 2; }
            arch=$2; shift 2 ;;
    *) echo "usage: scripts/package.sh [--arch i686|x86_64]" >&2; exit 2 ;;
  esac
done
"$root/scripts/install-deps.sh"

# The program that imports the demo must run here.
if "$root/scripts/can-run-x86-32.sh"; then import_arch=i686; else import_arch=x86_64; fi
. "$root/scripts/build.sh"
configure_tree "$arch"
build_tree "$arch" OPCLumbra Quillon quillon_ps opcclient server_list quillon_server_list_ps
for other in x86_64 "$import_arch"; do
  [ "$other" = "$arch" ] && continue
  configure_tree "$other"
  build_tree "$other" Quillon quillon_ps OPCLumbra
done

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/$arch/CMakeCache.txt")
[ -n "$version" ] || { echo "package.sh: no project version in build/$arch/CMakeCache.txt" >&2; exit 1; }
if [ "$arch" = i686 ]; then platform=x86 suffix=""; else platform=x64 suffix="-x64"; fi
name=OPCLumbra-$version$suffix
out=$root/build/package
stage=$out/$name
rm -rf "$stage" "$out/$name.msi" "$out/$name.zip"
mkdir -p "$stage/x64"
bin=$root/build/$arch/bin
cp "$bin/OPCLumbra.exe" "$bin/Quillon.dll" "$bin/QuillonPS.dll" "$bin/opcclient.exe" \
   "$bin/OPCServerList.exe" "$bin/OPCServerListPS.dll" "$stage/"
cp "$root/README.md" "$root/app/demo/demo.csv" "$root/package/install.cmd" "$root/package/uninstall.cmd" "$stage/"
cp "$root/build/x86_64/bin/Quillon.dll" "$root/build/x86_64/bin/QuillonPS.dll" "$root/toolkit/include/quillon.h" \
   "$stage/x64/"

# OPCLumbra.dat: the demo imported by the program, in code page 936 like every
# configuration it writes. It runs in a prefix and under a wineserver of the
# package's own, so that nothing it starts (Wine's desktop process above all)
# outlives it in the build tree's prefix, where the tests run.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/build/$import_arch/bin/OPCLumbra.exe" "$root/build/$import_arch/bin/Quillon.dll" "$stage/demo.csv" "$work/"
(
  ARCH=$import_arch BUILD_DIR=$out/$import_arch
  mkdir -p "$BUILD_DIR"
  . "$root/scripts/prepare-prefix.sh"
  trap '"$WINESERVER" -k >/dev/null 2>&1 || true' EXIT
  cd "$work"
  LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 "$WINE" OPCLumbra.exe /Import demo.csv >import.log 2>&1 \
    || { cat import.log >&2; echo "package.sh: the demo tree could not be imported" >&2; exit 1; }
)
cp "$work/OPCLumbra.dat" "$stage/"

# wixl takes the files' paths relative to where it runs.
(cd "$out" && wixl -a "$platform" -D Version="$version" -D Stage="$name" -D Platform="$platform" \
                -o "$name.msi" "$root/package/OPCLumbra.wxs")
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "$out/$name.msi"
echo "$out/$name.zip"
