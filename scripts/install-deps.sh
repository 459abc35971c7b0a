#!/usr/bin/env bash
# Installs, idempotently and quietly, what building and testing needs on Debian:
# the mingw-w64 i686 cross toolchain, widl with Wine's IDL imports, Debian's
# googletest sources, wine32, Xvfb, the GUI helpers and wixl for the package.
set -euo pipefail

packages=(
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libwine-dev cmake make googletest
  wine wine32:i386 wine64 xvfb xauth fonts-wine fonts-wqy-microhei imagemagick xdotool
  locales-all binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wixl msitools
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "installing: ${missing[*]}" >&2
# A mirror caught mid-sync serves an index that does not match its release
# file; apt ignores it and the i386 packages then cannot be resolved. Such a
# state passes within minutes, so try again before giving up.
for attempt in 1 2 3 4 5 6; do
  $SUDO apt-get update -qq >/dev/null 2>&1 || true
  if $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    exit 0
  fi
  [ "$attempt" -eq 6 ] && break
  echo "install failed (attempt $attempt); trying again in $((attempt * 30)) s" >&2
  sleep $((attempt * 30))
done
echo "could not install: ${missing[*]}" >&2
exit 1
