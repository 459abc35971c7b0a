#!/bin/sh
# Writes the import library of the 32-bit Quillon.dll: its exports carry no
# stdcall decoration, while the callers' compilers ask for CreateServer@8 and
# the like, so the library maps each decorated name to the plain export.
#   make_import_lib.sh NM DLLTOOL CORE_LIBRARY EXPORTS_DEF OUTPUT
set -e
nm=$1 dlltool=$2 core=$3 def=$4 out=$5
names=$(sed -n 's/^  \([A-Za-z]*\) @[0-9]*$/\1/p' "$def")
symbols=$("$nm" -g --defined-only "$core")
{
  echo "LIBRARY Quillon.dll"
  echo "EXPORTS"
  for name in $names; do
    echo "$symbols" | sed -n "s/^[0-9a-f]* T _\($name@[0-9]*\)\$/  \1/p" | head -n 1
  done
} > "$out.def"
"$dlltool" --kill-at --def "$out.def" --dllname Quillon.dll --output-lib "$out"
