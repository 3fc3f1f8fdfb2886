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

run "$out/no-such-input.txt" -o "$out/x.bmp" 2>"$out/err.txt"
status=$?
check "a missing input: exit 4 (got $status: $(cat "$out/err.txt"))" test "$status" -eq 4

# Code pages: the same image as the text in UTF-8; a name no code page has
# is a usage error.
printf 'caf\xc3\xa9 \xe2\x82\xac5\n' >"$out/utf8.txt"
printf 'caf\xe9 \x805\n' >"$out/cp1252.txt"
run "$out/utf8.txt" -o "$out/utf8.bmp"
run --encoding CP1252 "$out/cp1252.txt" -o "$out/cp1252.bmp"
check "--encoding CP1252 draws as UTF-8 does" cmp -s "$out/utf8.bmp" "$out/cp1252.bmp"
run --encoding KLINGON-8 "$out/utf8.txt" -o "$out/x.bmp" 2>"$out/err.txt"
status=$?
check "an unknown --encoding: exit 2 naming it (got $status: $(cat "$out/err.txt"))" \
  grep -q "^lumarin: --encoding 'KLINGON-8'" "$out/err.txt"
run "$out/cp1252.txt" -o "$out/x.bmp" 2>"$out/err.txt"
check "CP1252 read as UTF-8: line and byte named ($(cat "$out/err.txt"))" \
  grep -q "^lumarin: line 1, byte 4 (byte 4 of the input): not valid UTF-8" "$out/err.txt"

# A reader that has gone: said so, not as a full disk or a bad argument.
seq 1 2000 >"$out/many.txt"
run "$out/many.txt" --format bmp -o - 2>"$out/err.txt" | head -c 100 >/dev/null
status=${PIPESTATUS[0]}
check "a reader that has gone: exit 4 (got $status: $(cat "$out/err.txt"))" \
  test "$status" -eq 4 -a "$(tr -d '\r' <"$out/err.txt")" = "lumarin: cannot write standard output (the reader has gone)"

# Tab stops and wrapping: the same positions from both commands, on a table
# of cases in the same face (Courier New, Liberation Mono's metrics on
# Linux), compared by where each line's runs of ink start and end.
layout_cases=(
  "tabs-end|Coffee\t3.50\nBagel with cream cheese\t12.25\nTotal\t115.75|--width 384 --tabs r:end"
  "tabs-default|a\tbb\tccc\tdddd\nxxxxxxxxx\ty|"
  "tabs-kinds|Item\tQty\tPrice\nTea\t2\t1.5\nCake\t12\t13.25|--tabs c:14,d:26"
  "wrap-words|The quick brown fox jumps over the lazy dog and keeps running far away|--width 200 --wrap"
  "wrap-long-word|abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz|--width 150 --wrap"
  "wrap-and-tabs|Total due today for everything\t1,234.56|--width 240 --wrap --tabs r:end"
)
for case in "${layout_cases[@]}"; do
  IFS='|' read -r name text opts <<<"$case"
  # shellcheck disable=SC2086
  printf '%b\n' "$text" | "$linux" --mono --font "Courier New" $opts -o "$out/$name-linux.bmp" 2>/dev/null
  # shellcheck disable=SC2086
  printf '%b\n' "$text" | run --mono --font "Courier New" $opts -o "$out/$name-wine.bmp"
done
/usr/bin/python3 - "$out" "${layout_cases[@]}" <<'PY' || failures=$((failures + 1))
import sys
from PIL import Image
out, cases = sys.argv[1], [c.split("|")[0] for c in sys.argv[2:]]

def runs(path):
    """Per band of ink rows: the (start, end) of its runs of ink columns,
    runs closer than 6 px joined."""
    im = Image.open(path).convert("L")
    w, h = im.size
    px = im.load()
    rows = [y for y in range(h) if any(px[x, y] < 128 for x in range(w))]
    bands = []
    for y in rows:
        if bands and bands[-1][-1] == y - 1:
            bands[-1].append(y)
        else:
            bands.append([y])
    result = []
    for band in bands:
        cols = [x for x in range(w) if any(px[x, y] < 128 for y in band)]
        spans = []
        for x in cols:
            if spans and x - spans[-1][1] <= 6:
                spans[-1][1] = x
            else:
                spans.append([x, x])
        result.append(spans)
    return im.size, result

ok = True
for name in cases:
    (ls, lin), (ws, win) = runs(f"{out}/{name}-linux.bmp"), runs(f"{out}/{name}-wine.bmp")
    same = ls == ws and len(lin) == len(win) and all(
        len(a) == len(b) and all(abs(p - q) <= 1 for sa, sb in zip(a, b) for p, q in zip(sa, sb))
        for a, b in zip(lin, win))
    print(("ok   " if same else "FAIL ") + f"layout {name}: {len(win)} lines, runs {win} against Linux {lin}")
    ok = ok and same
sys.exit(0 if ok else 1)
PY

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
