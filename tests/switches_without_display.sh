#!/bin/sh
# OPCLumbra's CSV switches with no display at all: the demo tree imported
# into a fresh copy of the program and exported again gives the same bytes.
#   switches_without_display.sh WINE_RUN ARCH PREFIX BIN_DIR DEMO_CSV WORK_DIR
set -eu
wine_run=$1 arch=$2 prefix=$3 bin=$4 demo=$5 work=$6
rm -rf "$work"
mkdir -p "$work"
cp "$bin/OPCLumbra.exe" "$bin/Quillon.dll" "$work/"
cp "$demo" "$work/demo.csv"
cd "$work"
unset DISPLAY WAYLAND_DISPLAY
LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
export LANG LC_ALL
"$wine_run" "$arch" "$prefix" OPCLumbra.exe /Import demo.csv
[ -f OPCLumbra.dat ] || { echo "no configuration was written" >&2; exit 1; }
"$wine_run" "$arch" "$prefix" OPCLumbra.exe /Export again.csv
cmp demo.csv again.csv
# A file with a problem: exit code 1 and the configuration untouched.
cp OPCLumbra.dat before.dat
printf 'ClassID,ProgID,Description,UpdateRate\r\n' > bad.csv
if "$wine_run" "$arch" "$prefix" OPCLumbra.exe /Import bad.csv 2> bad.txt; then
  echo "a bad file was imported" >&2
  exit 1
fi
grep -q "line 2" bad.txt
cmp OPCLumbra.dat before.dat
