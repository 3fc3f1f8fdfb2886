#!/usr/bin/env bash
# Self-registration through regsvr32 and what it leaves in the registry.
#   register.sh register|unregister BITS DLL [OTHER_DLL]
# BITS is 64 or 32, the DLL's own. With OTHER_DLL (the build of the other
# bitness) unregistering also checks that the two registry views keep
# each other's shared keys.
set -uo pipefail
mode=$1 bits=$2 dll=$3 other=${4:-}
clsid='{BEDCD68F-89F6-4240-99F1-9DE4619B0DC0}'
libid='{E2E50B3F-C7D9-48C9-A6AA-D0B0D613AF82}'
failures=0

winpath() { echo "Z:${1//\//\\}"; }
loader() { if [ "$1" = 64 ]; then echo /usr/lib/wine/wine64; else echo /usr/lib/wine/wine; fi; }
sysdir() { if [ "$1" = 64 ]; then echo 'C:\windows\system32'; else echo 'C:\windows\syswow64'; fi; }
platform() { if [ "$1" = 64 ]; then echo win64; else echo win32; fi; }
other_bits() { if [ "$1" = 64 ]; then echo 32; else echo 64; fi; }

regsvr() {  # BITS DLL [/u]
  local b=$1 d=$2
  shift 2
  if ! "$(loader "$b")" "$(sysdir "$b")\\regsvr32.exe" "$@" /s "$(winpath "$d")"; then
    echo "FAIL: regsvr32 $* ($b-bit) $d"
    failures=$((failures + 1))
  fi
}

# expect present|absent VIEW KEY [TEXT]: the key in that registry view.
expect() {
  local want=$1 view=$2 key=$3 text=${4:-} out
  if out=$(/usr/lib/wine/wine64 reg query "$key" "/reg:$view" 2>/dev/null) &&
     { [ -z "$text" ] || grep -qiF "$text" <<<"$out"; }; then
    got=present
  else
    got=absent
  fi
  if [ "$got" != "$want" ]; then
    echo "FAIL: $key ($view-bit view) is $got, expected $want${text:+ with $text}"
    failures=$((failures + 1))
  fi
}

expect_class() {  # present|absent BITS [DLL]
  local dllname=${3:+$(basename "$3")}
  expect "$1" "$2" "HKCR\\CLSID\\$clsid\\InprocServer32" "${dllname:-}"
  expect "$1" "$2" "HKCR\\CLSID\\$clsid\\ProgID" Lumarin.synapse
  expect "$1" "$2" "HKCR\\CLSID\\$clsid\\TypeLib" "$libid"
}

# The ProgID and the type library are shared keys: both bitnesses write
# them to the 64-bit view.
expect_shared() {  # present|absent
  expect "$1" 64 'HKCR\Lumarin.synapse\CLSID' "$clsid"
  expect "$1" 64 "HKCR\\TypeLib\\$libid\\1.0"
}

ob=$(other_bits "$bits")
case "$mode" in
register)
  regsvr "$bits" "$dll"
  expect_class present "$bits" "$dll"
  expect_shared present
  expect present 64 "HKCR\\TypeLib\\$libid\\1.0\\409\\$(platform "$bits")"
  # ThreadingModel is Apartment.
  expect present "$bits" "HKCR\\CLSID\\$clsid\\InprocServer32" Apartment
  ;;
unregister)
  single="no build of the other bitness"
  [ -n "$other" ] && [ -f "$other" ] || other=
  # The 32-bit side of the cross-view check needs 32-bit programs to run.
  if [ -n "$other" ] && [ "$ob" = 32 ] && ! single=$(bash "$(dirname "$0")/run32.sh" --probe); then
    other=
  fi
  if [ -n "$other" ]; then
    regsvr "$ob" "$other"
    expect_class present "$ob" "$other"
    expect_class present "$bits" "$dll"
    regsvr "$bits" "$dll" /u
    # Ours is gone; the other view's class, the ProgID and its type
    # library entry stay.
    expect_class absent "$bits"
    expect_class present "$ob" "$other"
    expect_shared present
    expect absent 64 "HKCR\\TypeLib\\$libid\\1.0\\409\\$(platform "$bits")"
    expect present 64 "HKCR\\TypeLib\\$libid\\1.0\\409\\$(platform "$ob")"
    regsvr "$ob" "$other" /u
    expect_class absent "$ob"
  else
    echo "note: $single; single-view check only"
    regsvr "$bits" "$dll" /u
  fi
  expect_class absent "$bits"
  expect_shared absent
  ;;
esac
echo "registration checks ($mode, $bits-bit): $failures failure(s)"
[ "$failures" -eq 0 ]
