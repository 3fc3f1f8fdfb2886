#!/usr/bin/env bash
# What Lumarin.dll shows to the loader, read from the file without running
# it, so that it holds for the 32-bit DLL on machines that cannot run it:
# its machine, that it is a DLL, exactly the four entry points undecorated,
# and imports from Windows' own libraries only (a MinGW runtime DLL would
# be missing on a user's machine).
#   pe_check.sh 32|64 DLL
set -uo pipefail
bits=$1 dll=$2
objdump=${LUMARIN_OBJDUMP:-x86_64-w64-mingw32-objdump}  # reads both bitnesses
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! dump=$("$objdump" -p "$dll"); then
  echo "FAIL: $objdump -p $dll"
  exit 1
fi

format=$(sed -n 's/.*file format //p' <<<"$dump" | head -n1)
want_format=$([ "$bits" = 64 ] && echo pei-x86-64 || echo pei-i386)
[ "$format" = "$want_format" ] || fail "file format $format, expected $want_format"

# IMAGE_FILE_DLL in the file header's characteristics.
characteristics=$(awk '$1 == "Characteristics" { print $2; exit }' <<<"$dump")
(( characteristics & 0x2000 )) || fail "Characteristics $characteristics lacks IMAGE_FILE_DLL"

exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
  sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
want_exports='DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer '
[ "$exports" = "$want_exports" ] || fail "exports '$exports', expected '$want_exports'"

imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || fail "no imports found"
for need in gdi32.dll ole32.dll oleaut32.dll; do
  grep -qx "$need" <<<"$imports" || fail "does not import $need"
done
system='advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll usp10.dll'
for dllname in $imports; do
  [[ " $system " == *" $dllname "* ]] || fail "imports $dllname, which is not part of Windows"
done

echo "$dll: $format, exports: $exports"
echo "imports: $(echo $imports)"
echo "PE checks ($bits-bit): $failures failure(s)"
[ "$failures" -eq 0 ]
