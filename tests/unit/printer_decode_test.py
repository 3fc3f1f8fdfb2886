#!/usr/bin/env python3
"""The printer decoder (tests/printer_decode.py) on jobs assembled by hand
from the command references: the dots, feeds and cuts it rebuilds, and the
bytes it refuses, with their offsets. The encoder's own tests trust it, so
it is checked against bytes the encoder did not write.
Usage: printer_decode_test.py"""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from printer_decode import DecodeError, decode  # noqa: E402

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    print(("ok   " if ok else "FAIL ") + what)


def ink(page):
    """The set of (x, y) that print."""
    return {(x, y) for y, row in enumerate(page.rows) for x in range(row.bit_length()) if (row >> x) & 1}


def refused(data, command_set, offset, words, **kw):
    """`data` is refused at `offset` with a message holding `words`."""
    try:
        pages = decode(data, command_set, **kw)
    except DecodeError as e:
        ok = e.offset == offset and all(w in e.reason for w in words)
        check(ok, f"refused at {offset} ({words}): {e}")
        return
    check(False, f"refused at {offset} ({words}), but decoded {pages}")


INIT = b"\x1b@\x1dP\xcb\xcb"  # ESC @, GS P 203 203: one motion unit a dot at 203 dpi
CUT = b"\x1dVB\x00"           # GS V 66 0


def test_escpos_raster():
    # 9 dots across in 2 bytes, two rows; a 3-dot feed; one more row.
    job = INIT + b"\x1dv0\x00\x02\x00\x02\x00" + b"\x80\x80" + b"\x01\x00" + b"\x1bJ\x03" \
        + b"\x1dv0\x00\x01\x00\x01\x00\xff" + CUT
    pages = decode(job, "escpos", dpi=203, width=576)
    check(len(pages) == 1, f"one page ({pages})")
    p = pages[0]
    check(ink(p) == {(0, 0), (8, 0), (7, 1)} | {(x, 5) for x in range(8)}, f"GS v 0 dots, MSB leftmost ({ink(p)})")
    check(p.height == 6 and p.width == 16 and p.cut == "partial" and p.commands == {"GS v 0"},
          f"two rows, three fed, one row; a partial cut ({p})")
    check(p.dots()[1] == [0] * 7 + [1] + [0] * 8 and p.packed(0, 9) == b"\x80\x80", "dots() and packed()")

    # Motion units: GS P 180 at 203 dpi makes 9 units 10.15 dots, refused;
    # GS P 101 at 202 dpi makes 3 units 6 dots.
    refused(b"\x1b@\x1dP\xb4\xb4\x1bJ\x09", "escpos", 6, ["not whole dots"], dpi=203)
    p = decode(b"\x1b@\x1dPee\x1bJ\x03", "escpos", dpi=202)[0]
    check(p.height == 6 and p.cut is None and p.end == "data", f"ESC J in 1/101 inch units at 202 dpi ({p})")
    refused(b"\x1b@\x1bJ\x03", "escpos", 2, ["GS P"], dpi=203)
    refused(INIT + b"\x1bJ\x03\x1b@\x1bJ\x01", "escpos", 11, ["GS P"], dpi=203)  # ESC @ forgets the unit

    # A picture past the head, in declared width or in dots.
    row = INIT + b"\x1dv0\x00\x02\x00\x01\x00\x00\x40"
    refused(row, "escpos", 6, ["16 dots wide", "head of 8"], dpi=203, width=8)
    refused(row, "escpos", 6, ["column 9", "9 dots"], dpi=203, width=9)
    check(decode(row, "escpos", dpi=203, width=10)[0].height == 1, "a dot inside a 10-dot head")

    # Scaled modes, GS v 0 cut short, too many rows.
    refused(INIT + b"\x1dv0\x01\x01\x00\x01\x00\xff", "escpos", 6, ["mode 1"])
    refused(INIT + b"\x1dv0\x00\x02\x00\x02\x00\xff\xff\xff", "escpos", 6, ["cut short", "4 byte(s) needed, 3 left"])
    refused(INIT + b"\x1dv0\x00\x01\x00\x00\x09" + b"\x00" * 2304, "escpos", 6, ["2304 rows", "2303"])


def test_escpos_graphics():
    store = b"\x1d(L\x0e\x000p0\x01\x011\x09\x00\x02\x00" + b"\x80\x80\x00\x80"
    show = b"\x1d(L\x02\x0002"
    p = decode(INIT + store + show + CUT, "escpos-graphics", dpi=203)[0]
    check(ink(p) == {(0, 0), (8, 0), (8, 1)} and p.height == 2 and p.width == 9 and p.commands == {"GS ( L"},
          f"function 112 stores 9 by 2 dots, function 50 prints and feeds them ({ink(p)}, {p})")
    long_form = b"\x1d8L\x0e\x00\x00\x000p0\x01\x011\x09\x00\x02\x00" + b"\x80\x80\x00\x80"
    p = decode(INIT + long_form + show, "escpos-graphics", dpi=203)[0]
    check(ink(p) == {(0, 0), (8, 0), (8, 1)} and p.commands == {"GS 8 L"}, "GS 8 L with four length bytes")

    refused(INIT + store.replace(b"\x80\x80\x00\x80", b"\x80\xc0\x00\x80") + show, "escpos", 6, ["padding"])
    refused(INIT + b"\x1d(L\x0f\x00" + store[5:] + b"\x00" + show, "escpos", 6, ["15 parameter bytes", "take 14"])
    refused(INIT + show, "escpos", 6, ["no graphics stored"])
    refused(INIT + store + CUT, "escpos", 25, ["stored graphics"])
    refused(INIT + store, "escpos", 25, ["stored graphics"])  # never printed
    refused(INIT + store + store + show, "escpos", 25, ["earlier graphics"])
    refused(INIT + store.replace(b"\x011\x09", b"\x012\x09") + show, "escpos", 6, ["c=50"])
    tall = b"\x1d8L" + (10 + 1663).to_bytes(4, "little") + b"0p0\x01\x011\x01\x00\x7f\x06" + b"\x00" * 1663
    refused(INIT + tall + show, "escpos", 6, ["1662"])


def test_escpos_bit_image():
    # ESC 3 24; one line of two columns: column 0 has its top and bottom
    # dots, column 1 the ninth; LF prints it and feeds 24.
    line = b"\x1b*\x21\x02\x00" + b"\x80\x00\x01" + b"\x00\x80\x00" + b"\n"
    p = decode(INIT + b"\x1b3\x18" + line + line + CUT, "escpos-bitimage", dpi=203)[0]
    check(ink(p) == {(0, 0), (0, 23), (1, 8), (0, 24), (0, 47), (1, 32)} and p.height == 48,
          f"ESC * 33: three bytes a column, top dot first; LF feeds the spacing ({ink(p)})")
    # A short line: ESC 3 5 feeds 5, and a line with no dot below its fifth row is 5 rows high.
    short = b"\x1b*\x21\x01\x00\x88\x00\x00\n"
    p = decode(INIT + b"\x1b3\x05" + short + b"\x1b2" + CUT, "escpos-bitimage", dpi=203)[0]
    check(ink(p) == {(0, 0), (0, 4)} and p.height == 5, f"ESC 3 5 then a 5-row line ({p})")
    # Two ESC * before one LF sit side by side; ESC J prints the line too.
    p = decode(INIT + b"\x1b*\x21\x01\x00\x80\x00\x00\x1b*\x21\x01\x00\x80\x00\x00\x1bJ\x02", "escpos", dpi=203)[0]
    check(ink(p) == {(0, 0), (1, 0)} and p.height == 2, f"side by side, printed by ESC J 2 ({ink(p)})")

    refused(INIT + line, "escpos", 17, ["default line spacing"])
    refused(INIT + b"\x1b3\x18\x1b2" + line, "escpos", 22, ["default line spacing"])
    refused(INIT + b"\x1b*\x20\x01\x00\x00\x00\x00", "escpos", 6, ["mode 32"])
    refused(INIT + b"\x1b*\x21\x00\x04", "escpos", 6, ["1024 dots"])
    refused(INIT + b"\x1b3\x18\x1b*\x21\x01\x00\x80\x00\x00" + CUT, "escpos", 17, ["bit image line"])
    refused(INIT + b"\x1b*\x21\x01\x00\x80\x00\x00\x1dv0\x00\x01\x00\x01\x00\xff", "escpos", 14, ["bit image"])


def test_escpos_jobs_and_junk():
    job = INIT + b"\x1dv0\x00\x01\x00\x01\x00\x80" + CUT
    pages = decode(job + job, "escpos", dpi=203)
    check([(p.job, p.cut, p.height) for p in pages] == [(0, "partial", 1), (1, "partial", 1)],
          f"two jobs, two pages, each cut ({pages})")
    no_cut = INIT + b"\x1dv0\x00\x01\x00\x01\x00\x80\x1bJ\x05"
    pages = decode(no_cut + no_cut, "escpos", dpi=203)
    check([(p.cut, p.end, p.height) for p in pages] == [(None, "job", 6), (None, "data", 6)],
          f"without a cut a new job still starts a page ({pages})")
    cuts = [decode(INIT + c, "escpos", dpi=203)[0].cut for c in (b"\x1dV\x00", b"\x1dV1", b"\x1dVA\x10")]
    check(cuts == ["full", "partial", "full"], f"GS V 0, GS V 49, GS V 65 n ({cuts})")
    refused(INIT + b"\x1dVa\x00", "escpos", 6, ["GS V mode 97"])
    refused(INIT + b"A", "escpos", 6, ["0x41", "text"])
    refused(INIT + b"\x1b!\x00", "escpos", 6, ["ESC 0x21"])
    refused(INIT + b"\x1d(L\x02\x00\x301", "escpos", 6, ["function 49"])
    try:
        decode(b"", "nonesuch")
        check(False, "an unknown command set is refused")
    except ValueError as e:
        check("escpos" in str(e) and "star" in str(e), f"an unknown command set names the sets ({e})")


STAR_START = b"\x1b@\x1b*rA\x1b*rP0\x00\x1b*rE13\x00"
STAR_END = b"\x1b\x0c\x04\x1b*rB"


def test_star():
    body = b"b\x02\x00\x80\x01" + b"b\x01\x00\x40" + b"\x1b*rY3\x00" + b"b\x01\x00\x80"
    pages = decode(STAR_START + body + STAR_END, "star", width=16)
    p = pages[0]
    check(len(pages) == 1 and ink(p) == {(0, 0), (15, 0), (1, 1), (0, 5)} and p.height == 6,
          f"b rows of any length, one row each; ESC * r Y 3 feeds 3 ({ink(p)}, {p})")
    check(p.cut == "partial" and p.commands == {"b"}, f"EOT mode 13: a partial cut ({p})")
    tear = decode(STAR_START.replace(b"E13", b"E3") + body + STAR_END, "star")[0]
    check(tear.cut is None and tear.end == "tear bar" and tear.height == 6, f"EOT mode 3: the tear bar ({tear})")
    pages = decode((STAR_START + body + STAR_END) * 2, "star")
    check([(p.job, p.cut) for p in pages] == [(0, "partial"), (1, "partial")], f"two jobs ({pages})")
    blank = decode(STAR_START + b"\x1b*rY255\x00\x1b*rY45\x00" + STAR_END, "star")[0]
    check(blank.height == 300 and not blank.commands and blank.ink_count() == 0, f"feeds only ({blank})")

    refused(b"\x1b@b\x01\x00\x80", "star", 2, ["outside raster mode"])
    refused(b"\x1b@\x1b*rA" + STAR_END, "star", 6, ["ESC * r E"])
    refused(STAR_START + b"\x1b*rY0\x00" + STAR_END, "star", len(STAR_START), ["1 to 255"])
    refused(STAR_START + b"\x1b*rY256\x00" + STAR_END, "star", len(STAR_START), ["1 to 255"])
    refused(STAR_START + b"\x1b*rY1a\x00" + STAR_END, "star", len(STAR_START), ["not a decimal"])
    refused(STAR_START + b"\x1b*rY12", "star", len(STAR_START), ["no NUL"])
    refused(STAR_START + b"b\x00\x00" + STAR_END, "star", len(STAR_START), ["no data"])
    refused(STAR_START + b"b\x03\x00\x80", "star", len(STAR_START), ["cut short"])
    refused(STAR_START + b"b\x02\x00\x00\x01" + STAR_END, "star", len(STAR_START), ["column 15"], width=12)
    refused(STAR_START + b"\x1b*rP10\x00" + STAR_END, "star", len(STAR_START), ["continuous"])
    refused(STAR_START + b"\x1b*rE5\x00" + STAR_END, "star", len(STAR_START), ["EOT mode"])
    refused(STAR_START + b"\x1b\x0c\x00" + STAR_END, "star", len(STAR_START), ["ESC FF EOT"])
    refused(STAR_START + b"b\x01\x00\x80", "star", len(STAR_START) + 4, ["ESC * r B"])


def main():
    for test in (test_escpos_raster, test_escpos_graphics, test_escpos_bit_image, test_escpos_jobs_and_junk,
                 test_star):
        test()
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
