#!/usr/bin/env bash
# Runs a VBScript under Wine's cscript. Wine's cscript exits 0 without a
# word on an uncaught script error, so a script passes only when it exits 0
# and printed its last line, "LUMARIN-DONE".
#   cscript.sh BITS SCRIPT [ARGS...]
set -uo pipefail
bits=$1 script=$2
shift 2
if [ "$bits" = 64 ]; then
  out=$(/usr/lib/wine/wine64 'C:\windows\system32\cscript.exe' //nologo "Z:${script//\//\\}" "$@")
else
  out=$(/usr/lib/wine/wine 'C:\windows\syswow64\cscript.exe' //nologo "Z:${script//\//\\}" "$@")
fi
rc=$?
printf '%s\n' "$out"
if [ "$rc" -ne 0 ]; then
  echo "cscript exited with $rc"
  exit 1
fi
tr -d '\r' <<<"$out" | grep -qx LUMARIN-DONE || { echo "the script stopped early (no LUMARIN-DONE)"; exit 1; }
