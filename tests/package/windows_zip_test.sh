#!/usr/bin/env bash
# The Windows zip as a user unpacks it: both DLLs, each of its own machine
# and entry points, both commands, beside the text on registering them.
#   windows_zip_test.sh SOURCE-FOLDER
set -uo pipefail
source=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$source/tools/package-windows" "$scratch" || exit 1
zip=$(ls "$scratch"/Lumarin-*-windows.zip)
/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$scratch/unpacked" ||
  fail "the zip does not unpack"
top=$(ls -d "$scratch"/unpacked/Lumarin-*-windows)
bash "$source/tests/wine/pe_check.sh" 64 "$top/x64/Lumarin.dll" >/dev/null || fail "x64/Lumarin.dll is no 64-bit Lumarin.dll"
bash "$source/tests/wine/pe_check.sh" 32 "$top/x86/Lumarin.dll" >/dev/null || fail "x86/Lumarin.dll is no 32-bit Lumarin.dll"
grep -q 'SysWOW64\\regsvr32.exe "%CD%\\x86\\Lumarin.dll"' "$top/README.txt" || fail "README.txt does not say how to register"
[ -f "$top/typical_job.vbs" ] || fail "the example script is missing"
for arch in x64 x86; do
  head -c 2 "$top/$arch/lumarin.exe" 2>/dev/null | grep -q MZ || fail "$arch/lumarin.exe is missing"
done
echo "$(basename "$zip"): $(cd "$scratch/unpacked" && find . -type f | sort | tr '\n' ' ')"
echo "Windows zip checks: $failures failure(s)"
[ "$failures" -eq 0 ]
