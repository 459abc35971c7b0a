#!/usr/bin/env bash
# Prints the include edges between the toolkit's folders and fails when one
# goes the wrong way: each folder may include only headers of its own and of
# the folders below it, in this order from the bottom:
#   include (the host's header), base, com, address_space, group, server, api
# A cycle needs an upward edge, so none can pass. Headers are included by
# name, found through the targets' include paths, never by a path into
# another folder ("../x/y.h").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root/toolkit"
layers=(include base com address_space group server api)

declare -A rank home
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done
status=0
for folder in "${layers[@]}"; do
  for header in "$folder"/*.h; do
    [ -e "$header" ] || continue
    name=${header#*/}
    if [ -n "${home[$name]:-}" ]; then
      echo "layers: $name is in both ${home[$name]} and $folder" >&2
      status=1
    fi
    home[$name]=$folder
  done
done

declare -A edges
for folder in "${layers[@]}"; do
  for file in "$folder"/*.h "$folder"/*.cpp; do
    [ -e "$file" ] || continue
    while IFS= read -r included; do
      case $included in
        */*)
          echo "layers: $file includes \"$included\" by a path; include headers by name" >&2
          status=1
          continue ;;
      esac
      target=${home[$included]:-}
      [ -n "$target" ] || continue  # a header from outside the toolkit (interfaces, system)
      [ "$target" = "$folder" ] && continue
      edges["$folder -> $target"]=$((${edges["$folder -> $target"]:-0} + 1))
      if [ "${rank[$target]}" -gt "${rank[$folder]}" ]; then
        echo "layers: $file includes $included of $target, a layer above $folder" >&2
        status=1
      fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
  done
done

for edge in "${!edges[@]}"; do echo "$edge (${edges[$edge]})"; done | sort
[ $status -eq 0 ] && echo "layers: every edge goes down; no cycle"
exit $status
