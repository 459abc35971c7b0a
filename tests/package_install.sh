#!/usr/bin/env bash
# The Windows package as an integrator meets it: installed into a fresh Wine
# prefix with msiexec, a client connects by ProgID and reads and writes demo
# tags and finds the server through the server list service; removed again,
# nothing of it is left, neither keys nor files; and beside another vendor's
# proxies and server list service, it leaves theirs alone.
#   package_install.sh ROOT ARCH MSI WORK_DIR
set -euo pipefail
root=$1 arch=$2 msi=$3 work=$4
[ -f "$msi" ] || { echo "no package $msi (scripts/package.sh makes it)" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work"
. "$root/scripts/wine-env.sh" "$arch" "$work/prefix"
unset WINEDLLOVERRIDES
"$WINE" wineboot -i >/dev/null 2>&1 || true
"$WINESERVER" -w
trap '"$WINESERVER" -k >/dev/null 2>&1 || true' EXIT
"$WINE" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
key_exists() { "$WINE" reg query "$1" >/dev/null 2>&1; }
# reg prints in the code page of the locale (936): bytes, not UTF-8, to sed.
default_value() { "$WINE" reg query "$1" /ve 2>/dev/null | tr -d '\r' | LC_ALL=C sed -n 's/.*REG_SZ[[:space:]]*//p'; }

class='{41862EE6-6750-461D-8725-12529099E546}' prog_id=OPC.Lumbra.1
list_class='{13486D51-4821-11D2-A494-3CB306C10000}'
da_interface='HKCR\Interface\{39C13A4D-011E-11D0-9675-0020AFD8ADB3}'
our_proxies='{1D29B22B-C1ED-4D7C-B286-80E57C4A4AAC}'
dir="$WINEPREFIX/drive_c/Program Files/OPCLumbra"
files=(OPCLumbra.exe Quillon.dll QuillonPS.dll opcclient.exe OPCServerList.exe OPCServerListPS.dll README.md
       demo.csv OPCLumbra.dat x64/Quillon.dll x64/QuillonPS.dll x64/quillon.h)
msi_w=$("$WINE" winepath -w "$msi")

"$WINE" msiexec /i "$msi_w" /qn || { echo "FAILED: msiexec /i answered $?" >&2; exit 1; }
for f in "${files[@]}"; do [ -f "$dir/$f" ] || fail "not installed: $f"; done
[ "$(default_value "HKCR\\$prog_id\\CLSID")" = "$class" ] || fail "ProgID $prog_id does not name $class"
default_value "HKCR\\CLSID\\$class\\LocalServer32" | grep -qi 'Program Files\\OPCLumbra\\OPCLumbra.exe' \
  || fail "the class does not start the installed program"
key_exists "HKCR\\CLSID\\$class\\Implemented Categories\\{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}" \
  || fail "the class is not in the DA 2.0 category"
[ "$(default_value "$da_interface\\ProxyStubClsid32")" = "$our_proxies" ] || fail "QuillonPS.dll is not registered"
default_value "HKCR\\CLSID\\$list_class\\LocalServer32" | grep -qi 'OPCLumbra\\OPCServerList.exe' \
  || fail "the server list service is not registered"

client() { (cd "$dir" && "$WINE" opcclient.exe "$@"); }
read_line=$(client read "$prog_id" Plant.Line1.Speed Plant.Line1.Product) || fail "read answered $?"
printf '%s\n' "$read_line" | grep -q "^Plant.Line1.Speed	12.5	VT_R8	" || fail "read: $read_line"
printf '%s\n' "$read_line" | grep -q "^Plant.Line1.Product	钢管 A型	VT_BSTR	" || fail "read: $read_line"
client write "$prog_id" Setpoints.Target 55 >/dev/null || fail "write answered $?"
client read "$prog_id" Setpoints.Target | grep -q "^Setpoints.Target	55	VT_R8	" || fail "the written value is not read back"
client list --server-list | grep -q "^$class	$prog_id	" || fail "the server list service does not list $prog_id"
# The program stays behind its tray icon when its clients are gone.
"$WINE" taskkill /f /im OPCLumbra.exe >/dev/null 2>&1 || true
sleep 1

"$WINE" msiexec /x "$msi_w" /qn || fail "msiexec /x answered $?"
for k in "HKCR\\$prog_id" "HKCR\\CLSID\\$class" "HKCR\\CLSID\\$list_class" "HKCR\\OPC.ServerList.1" \
         "HKCR\\OPC.ServerList" "$da_interface" 'HKCR\Interface\{13486D50-4821-11D2-A494-3CB306C10000}'; do
  key_exists "$k" && fail "left after uninstall: $k"
done
[ -e "$dir" ] && fail "left after uninstall: $(cd "$dir" && find . | tr '\n' ' ')"

# Where another vendor's proxies and server list service are registered, the
# package neither replaces nor removes them.
foreign_proxies='{0BADF00D-1234-4321-ABCD-0123456789AB}'
notepad='C:\windows\system32\notepad.exe'
"$WINE" reg add "$da_interface\\ProxyStubClsid32" /ve /d "$foreign_proxies" /f >/dev/null
"$WINE" reg add "HKCR\\CLSID\\$list_class\\LocalServer32" /ve /d "$notepad" /f >/dev/null
"$WINE" msiexec /i "$msi_w" /qn || fail "msiexec /i beside another vendor's registrations answered $?"
[ "$(default_value "$da_interface\\ProxyStubClsid32")" = "$foreign_proxies" ] || fail "the install replaced other proxies"
[ "$(default_value "HKCR\\CLSID\\$list_class\\LocalServer32")" = "$notepad" ] \
  || fail "the install replaced another server list service"
[ "$(default_value "HKCR\\$prog_id\\CLSID")" = "$class" ] || fail "the server class is not registered beside them"
"$WINE" msiexec /x "$msi_w" /qn || fail "msiexec /x beside another vendor's registrations answered $?"
[ "$(default_value "$da_interface\\ProxyStubClsid32")" = "$foreign_proxies" ] || fail "the removal took other proxies"
[ "$(default_value "HKCR\\CLSID\\$list_class\\LocalServer32")" = "$notepad" ] \
  || fail "the removal took another server list service"
key_exists "HKCR\\$prog_id" && fail "left after the second removal: HKCR\\$prog_id"
[ -e "$dir" ] && fail "left after the second removal: $dir"
[ $failures -eq 0 ] || exit 1
echo "installed, used and removed: $(basename "$msi")"
