#!/usr/bin/env python3
"""Receipt documents through the command: how a document is chosen, its
pages as files, the printer's bytes with a cut after each page (decoded by
tests/printer_decode.py and compared dot for dot with the pictures),
warnings, refusals, and codes and images read back by independent
readers (zbarimg, Pillow).
Usage: receipt_test.py LUMARIN"""
import base64
import io
import pathlib
import shutil
import subprocess
import sys

from PIL import Image

import cli_test
from cli_test import run_all

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from printer_decode import decode  # noqa: E402

DOC = """^^^ RECEIPT
03/18/2019, 12:34:56
Asparagus | 1| 1.00
Broccoli | 2| 2.00
---
^TOTAL | ^3.00
"""


def check(ok, what):
    cli_test.check(bool(ok), what)
    return bool(ok)


def one_line(r):
    return r.stderr.count(b"\n") == 1


def black_rows(im):
    """A picture's rows as integers, bit x set where pixel x is not white."""
    rgb = im.convert("RGB")
    w, h = rgb.size
    px = rgb.load()
    return [sum(1 << x for x in range(w) if px[x, y] != (255, 255, 255)) for y in range(h)]


def test_choosing_and_pages(tool):
    """--receipt or a .receipt name; one picture a page; 576 px at 203 dpi."""
    doc = tool.tmp / "sale.receipt"
    doc.write_text(DOC + "=\nsecond page\n", encoding="utf-8")
    r = tool.run(doc, "-o", tool.tmp / "sale.png")
    first, second = tool.tmp / "sale-1.png", tool.tmp / "sale-2.png"
    if check(r.returncode == 0 and first.exists() and second.exists() and not (tool.tmp / "sale.png").exists(),
             f"a document with a cut writes sale-1.png and sale-2.png ({r.returncode} {r.stderr!r})"):
        with Image.open(first) as im:
            check(im.size[0] == 576 and round(im.info.get("dpi", (0, 0))[0]) == 203,
                  f"576 pixels wide at 203 dpi ({im.size} {im.info.get('dpi')})")
            check(im.size[1] == 6 * 24 + 24, f"six lines, one of them three cells high ({im.size[1]})")
    r = tool.run(doc, "-o", tool.tmp / "page%d.bmp")
    check(r.returncode == 0 and (tool.tmp / "page1.bmp").exists() and (tool.tmp / "page2.bmp").exists(),
          f"%d in the name numbers the pages ({r.stderr!r})")
    r = tool.run("--receipt", "-o", "-", "--format", "png", stdin=DOC.encode())
    check(r.returncode == 0 and r.stdout.startswith(b"\x89PNG"), f"one page to standard output ({r.stderr!r})")
    r = tool.run(doc, "-o", "-", "--format", "png")
    check(r.returncode == 3 and one_line(r) and b"2 pages" in r.stderr and not r.stdout,
          f"two pages refused on standard output ({r.returncode} {r.stderr!r})")
    r = tool.run("--receipt", "--cpl", "32", "--width", "384", "-o", tool.tmp / "narrow.png", stdin=b"|a\n")
    with Image.open(tool.tmp / "narrow.png") as im:
        check(r.returncode == 0 and im.size[0] == 384 and (cli_test.ink_box(im) or (99,))[0] < 12,
              f"--cpl 32 on 384 pixels: 12-pixel cells ({r.stderr!r})")


def test_printer(tool):
    """Each page is a job ending in the printer's cut, and prints its picture."""
    doc = DOC + "=\n\"last\" page\n"
    for fmt, profile in (("escpos", "58mm"), ("star", "star-576")):
        r = tool.run("--receipt", "--printer", profile, "--format", fmt, "-o", "-", stdin=doc.encode())
        pages = decode(r.stdout, fmt) if r.returncode == 0 else []
        check(len(pages) == 2 and all(p.cut is not None for p in pages),
              f"[{fmt}] two pages, each cut ({r.returncode} {r.stderr!r} {[p.cut for p in pages]})")
        r = tool.run("--receipt", "--printer", profile, "-o", tool.tmp / f"{fmt}.png", stdin=doc.encode())
        for n, page in enumerate(pages, 1):
            with Image.open(tool.tmp / f"{fmt}-{n}.png") as im:
                rows = black_rows(im)
                printed = page.rows[:len(rows)]
                check(printed == rows and not any(page.rows[len(rows):]),
                      f"[{fmt}] page {n} prints its picture dot for dot ({len(page.rows)} rows, {len(rows)})")


def test_warnings_and_refusals(tool):
    r = tool.run("--receipt", "-o", tool.tmp / "w.png",
                 stdin=b"{width: 3 x; colour: red}\nok\n{width 3}\n")
    lines = r.stderr.decode().splitlines()
    check(r.returncode == 0 and len(lines) == 3 and lines[0].startswith("lumarin: warning: line 1, column 2:")
          and "line 1, column 14: unknown property 'colour'" in lines[1] and "line 3" in lines[2],
          f"one warning a line, naming line and column ({r.returncode} {lines})")
    for args, words in ((["--cpl", "40"], b"--receipt"), (["--receipt", "--wrap"], b"--wrap"),
                        (["--receipt", "--column-order", "up"], b"--column-order"),
                        (["--receipt", "--compat"], b"--compat")):
        r = tool.run(*args, "-o", tool.tmp / "x.png", stdin=b"a\n")
        check(r.returncode == 2 and one_line(r) and words in r.stderr, f"{args} refused ({r.returncode} {r.stderr!r})")
    r = tool.run("--receipt", "-o", tool.tmp / "none.png", stdin=b"=\n{width: 4}\n")
    check(r.returncode == 3 and one_line(r) and b"nothing to draw" in r.stderr and
          not (tool.tmp / "none.png").exists(), f"a document with nothing to draw ({r.returncode} {r.stderr!r})")


def main():
    return run_all(sys.argv[1], test_choosing_and_pages, test_printer, test_warnings_and_refusals)


if __name__ == "__main__":
    sys.exit(main())
