#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine, printing what each measures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
if "$root/scripts/can-run-x86-32.sh"; then ARCH=i686; else ARCH=x86_64; fi
BUILD_DIR="$root/build/$ARCH"
. "$root/scripts/build.sh"
configure_tree "$ARCH"
build_tree "$ARCH" update_tag_bench com_bench item_calls_bench browse_bench quillon_ps
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
echo "== The per-item calls of a group, sync IO, and a write to another process's subscription ($ARCH)"
# The program ends itself after about seven minutes.
timeout 480 "$WINE" "$BUILD_DIR/bin/item_calls_bench.exe"
echo
echo "== Browsing a large address space through out-of-process COM ($ARCH)"
# The program ends itself after eight minutes.
timeout 540 "$WINE" "$BUILD_DIR/bin/browse_bench.exe"
echo
echo "== Soak: 10,000 client sessions and 1,000 killed subscribers against the test host ($ARCH)"
# Prints the host's handles, private bytes and windows as it goes and their slope per cycle.
build_tree "$ARCH" soak_bench
timeout 5400 "$WINE" "$BUILD_DIR/bin/soak_bench.exe" "${SOAK_SESSIONS:-10000}" "${SOAK_KILLS:-1000}" 2>/dev/null || true
echo
echo "== Another client's latency beside a client sleeping 1 s in every callback ($ARCH)"
build_tree "$ARCH" slow_client_bench
timeout 900 "$WINE" "$BUILD_DIR/bin/slow_client_bench.exe" 1000 40 2>/dev/null || true
echo
echo "== OPCLumbra: 10,000 clients leaving last with the one Exit prompt open; 2,000 sessions and 200 killed subscribers ($ARCH)"
# The GUI tests of the single Exit prompt, run as a soak on a virtual display
# of their own: they print the program's working set before, during and after.
build_tree "$ARCH" gui_tests OPCLumbra
. "$root/scripts/virtual-display.sh"
start_virtual_display
"$WINESERVER" -p 2>/dev/null || true
trap '"$WINESERVER" -k >/dev/null 2>&1 || true; kill "$XVFB_PID" 2>/dev/null || true' EXIT
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
# Through ctest, which also holds Wine's desktop for them; into a file, not
# a pipe, which that desktop process would keep open.
soak_log="$BUILD_DIR/exit_prompt_soak.log"
(cd "$BUILD_DIR" && LUMBRA_EXIT_CYCLES="${LUMBRA_EXIT_CYCLES:-10000}" LUMBRA_SESSIONS="${LUMBRA_SESSIONS:-2000}" \
  LUMBRA_KILLS="${LUMBRA_KILLS:-200}" \
  ctest -L soak -V >"$soak_log" 2>&1) || true
grep -E '\[ figures|\[  (PASSED|FAILED)|watchdog|tests passed' "$soak_log" || cat "$soak_log"
echo
echo "== Hostile client: 10^6 seeded calls with hostile arguments against one host ($ARCH)"
# One host serves every seed, so that its figures before and after compare.
# Into a file, not a pipe, which Wine's desktop process would keep open.
build_tree "$ARCH" hostile_tests
hostile_log="$BUILD_DIR/hostile_soak.log"
timeout 10800 "$WINE" "$BUILD_DIR/bin/hostile_client.exe" --seed 100000 --seeds 500 --calls 2000 --shared-host \
  >"$hostile_log" 2>&1 || true
grep -E '^hostile: (server|seeds|CRASH|HANG)' "$hostile_log" || tail -n 20 "$hostile_log"
echo "failure lines: $(grep -c '^hostile: FAIL' "$hostile_log") (in $hostile_log)"
