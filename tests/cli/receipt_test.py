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


def zbar(path):
    """Every code zbarimg reads in a picture, as text; None without zbarimg."""
    zbarimg = shutil.which("zbarimg")
    if not zbarimg:
        return None
    r = subprocess.run([zbarimg, "--nodbus", "--raw", "-q", "-Supca.enable", "-Supce.enable", str(path)],
                       capture_output=True)
    return set(r.stdout.decode("utf-8", "replace").splitlines())


CODES = [("upc", "036000291452"), ("ean", "4901234567894"), ("jan", "49012347"), ("code39", "LUMARIN-39"),
         ("itf", "0123456789"), ("nw7", "A40156B"), ("code93", "Code 93"), ("code128", "Total 12.50")]
QR = ["https://example.invalid/r/42", "שלום, 日本語のレシート"]


def test_codes(tool):
    """Every symbology and QR level in one receipt, read back by zbarimg."""
    doc = "Codes\n\n"
    for name, data in CODES:
        doc += f"{{code: {data}; option: {name} 2 48 hri}}\n\n"
    for level, text in zip("lmqh", QR * 2):
        doc += f"{{code: {text}; option: qrcode 4 {level}}}\n\n"
    out = tool.tmp / "codes.png"
    r = tool.run("--receipt", "--mono", "-o", out, stdin=doc.encode())
    if not check(r.returncode == 0, f"a receipt of codes draws ({r.returncode} {r.stderr!r})"):
        return
    # One code a picture: zbarimg reads a page of many less reliably.
    with Image.open(out) as im:
        bands, band = [], None
        for y, row in enumerate(black_rows(im)):
            if row and band is None:
                band = y
            elif not row and band is not None:
                bands.append((band, y))
                band = None
        crops = []
        for i, (top, bottom) in enumerate(bands[1:]):
            crop = tool.tmp / f"code{i}.png"
            im.crop((0, max(0, top - 12), im.size[0], bottom + 12)).save(crop)
            crops.append(crop)
    read = [zbar(c) for c in crops]
    if read and read[0] is None:
        print("skip: zbarimg is missing (Debian's zbar-tools)")
        return
    wanted = [data for _, data in CODES] + (QR * 2)
    # A barcode's text underneath is a band of its own, read with its bars.
    got = [codes for i, codes in enumerate(read) if codes and (i == 0 or codes != read[i - 1])]
    check(got == [{w} for w in wanted], f"zbarimg reads every code as given ({got} {wanted})")
    r = tool.run("--receipt", "-o", tool.tmp / "bad.png", stdin=b"fine\n\n{code: 12345; option: ean}\n")
    check(r.returncode == 3 and one_line(r) and r.stderr.startswith(b"lumarin: line 3: EAN") and
          not (tool.tmp / "bad.png").exists(), f"data EAN cannot encode: line 3 named, nothing written ({r.stderr!r})")
    r = tool.run("--receipt", "-o", tool.tmp / "wide.png", stdin=("{code: " + "x" * 50 + "; option: code128 4}\n").encode())
    check(r.returncode == 3 and one_line(r) and b"line 1" in r.stderr and b"wide" in r.stderr,
          f"a code wider than the paper ({r.stderr!r})")


def png_base64(im):
    buf = io.BytesIO()
    im.save(buf, "PNG")
    return base64.b64encode(buf.getvalue()).decode()


def test_images(tool):
    """A grey logo dithered in proportion; the text beside it as drawn; a
    logo wider than the paper fitted; bad data named by its line."""
    greys = (0x40, 0x80, 0xC0)
    logo = Image.new("L", (300, 60), 255)
    for i, g in enumerate(greys):
        logo.paste(g, (i * 100, 0, i * 100 + 100, 60))
    doc = f"{{image: {png_base64(logo)}}}\nText beside a logo | 12.50\n"
    mono, colour = tool.tmp / "logo-mono.png", tool.tmp / "logo-colour.png"
    r1 = tool.run("--receipt", "--mono", "-o", mono, stdin=doc.encode())
    r2 = tool.run("--receipt", "-o", colour, stdin=doc.encode())
    if not check(r1.returncode == 0 and r2.returncode == 0, f"a receipt with a logo ({r1.stderr!r} {r2.stderr!r})"):
        return
    with Image.open(mono) as m, Image.open(colour) as c:
        check(m.mode == "1" and m.size == (576, 60 + 24), f"1-bit, the logo and a line ({m.mode} {m.size})")
        px = m.convert("L").load()
        left = (576 - 300) // 2
        for i, g in enumerate(greys):
            black = sum(px[x, y] == 0 for x in range(left + i * 100 + 2, left + i * 100 + 98) for y in range(60))
            share = black / (96 * 60)
            check(abs(share - (1 - g / 255)) < 0.04, f"grey {g:#x} dithered to {share:.3f} black ({1 - g / 255:.3f})")
        crgb = c.convert("RGB")
        text_colours = set(crgb.crop((0, 60, 576, 84)).getdata())
        check(text_colours <= {(0, 0, 0), (255, 255, 255)}, f"the text has no grey edges ({len(text_colours)} colours)")
        check(list(m.crop((0, 60, 576, 84)).convert("L").getdata()) == list(crgb.crop((0, 60, 576, 84)).convert("L").getdata()),
              "the text in 1 bit is the text in colour, pixel for pixel")
    wide = Image.new("L", (800, 100), 0)
    r = tool.run("--receipt", "-o", tool.tmp / "wide.png", stdin=f"{{image: {png_base64(wide)}}}\n".encode())
    with Image.open(tool.tmp / "wide.png") as im:
        check(r.returncode == 0 and im.size == (576, 72) and cli_test.ink_box(im) == (0, 0, 576, 72),
              f"an 800 x 100 logo fitted to 576 x 72 ({r.stderr!r} {im.size})")
    for data, words in (("not base64!", b"line 2"), (base64.b64encode(b"not a png").decode(), b"line 2")):
        out = tool.tmp / "badimage.png"
        r = tool.run("--receipt", "-o", out, stdin=f"ok\n{{image: {data}}}\n".encode())
        check(r.returncode == 3 and one_line(r) and words in r.stderr and b"481" in r.stderr and not out.exists(),
              f"a bad image named by its line, nothing written ({r.returncode} {r.stderr!r})")


def test_colour_glyphs_dithered(tool):
    """An emoji in 1 bit is dithered, not a solid blob."""
    fonts = subprocess.run(["fc-list", ":charset=1f600", "family"], capture_output=True, text=True).stdout
    if "Color Emoji" not in fonts:
        print("skip: no colour emoji font installed (fonts-noto-color-emoji)")
        return
    out = tool.tmp / "emoji.png"
    r = tool.run("--receipt", "--mono", "-o", out, stdin="^^^^\U0001F600\n".encode())
    with Image.open(out) as im:
        box = cli_test.ink_box(im)
        values = list(im.convert("L").crop(box).getdata()) if box else []
        white = values.count(255) / max(1, len(values))
        check(r.returncode == 0 and box and 0.2 < white < 0.8, f"the emoji's box is part white ({white:.2f})")


def main():
    return run_all(sys.argv[1], test_choosing_and_pages, test_printer, test_warnings_and_refusals, test_codes,
                   test_images, test_colour_glyphs_dithered)


if __name__ == "__main__":
    sys.exit(main())
