#!/usr/bin/env bash
# The same jobs through Lumarin.dll under Wine and through the Linux
# library, then their 1-bit pictures compared line by line.
#   parity_test.sh WINE PARITY_WINE_EXE DLL PARITY_LINUX OUT-FOLDER
set -euo pipefail
wine=$1 wine_job=$2 dll=$3 linux_job=$4 out=$5
here=$(dirname "$0")
rm -rf "$out/wine" "$out/linux"
mkdir -p "$out"
"$wine" "$wine_job" "$dll" "$out/wine"
"$linux_job" "$out/linux"
/usr/bin/python3 "$here/compare.py" "$out/linux" "$out/wine" --report "$out/report.txt"
