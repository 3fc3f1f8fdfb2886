#!/usr/bin/env bash
# lumarin.exe under Wine: the sample as a colour and a 1-bit BMP, the same
# image as the Linux command's, standard output in binary, and errors with
# their exit statuses.
#   command_test.sh WINE LUMARIN_EXE SAMPLE LINUX_LUMARIN OUT-FOLDER
set -uo pipefail
wine=$1 exe=$2 sample=$3 linux=$4 out=$5
rm -rf "$out" && mkdir -p "$out"
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
run() { "$wine" "$exe" "$@"; }

run "$sample" -o "$out/receipt.bmp"
check "the sample renders (exit $?)" test -s "$out/receipt.bmp"
run --mono "$sample" -o "$out/receipt-mono.bmp"
check "--mono renders (exit $?)" test -s "$out/receipt-mono.bmp"
run "$sample" -o - --format bmp >"$out/stdout.bmp"
check "standard output carries the same bytes, untranslated" cmp -s "$out/receipt.bmp" "$out/stdout.bmp"

"$linux" "$sample" -o "$out/linux.bmp"
"$linux" --mono "$sample" -o "$out/linux-mono.bmp"
/usr/bin/python3 - "$out" <<'PY' || failures=$((failures + 1))
import sys
from PIL import Image
out = sys.argv[1]
ok = True
for name, mode in (("receipt", "RGB"), ("receipt-mono", "1")):
    win = Image.open(f"{out}/{name}.bmp")
    lin = Image.open(f"{out}/{name.replace('receipt', 'linux')}.bmp")
    black = lambda im: {(x, y) for y in range(im.height) for x in range(im.width)
                        if im.convert("L").getpixel((x, y)) < 128}
    a, b = black(win), black(lin)
    iou = len(a & b) / len(a | b)
    good = win.mode == mode and win.size == lin.size and iou >= 0.9
    print(("ok   " if good else "FAIL ") + f"{name}: {win.mode} {win.size} against Linux {lin.size}, ink agreement {iou:.3f}")
    ok = ok and good
sys.exit(0 if ok else 1)
PY

run --fg purple "$sample" -o "$out/x.bmp" 2>"$out/err.txt"
status=$?
check "an unknown colour: exit 2, one line (got $status)" \
  test "$status" -eq 2 -a "$(wc -l <"$out/err.txt")" -eq 1
run "$sample" -o 'Z:\no\such\folder\x.bmp' 2>"$out/err.txt"
status=$?
check "a missing folder: exit 4 (got $status: $(cat "$out/err.txt"))" test "$status" -eq 4

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
