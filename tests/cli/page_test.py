#!/usr/bin/env python3
"""What the page layout gives a receipt, a label and a sign through the
command: tab stops, columns, line boxes, trailing spaces, the direction of
a line, wrapping where the language allows, grey edges in colour only.
Pictures are read back with Pillow.
Usage: page_test.py LUMARIN"""
import sys

from PIL import Image

from cli_test import check, run_all

_count = 0


def render(tool, text, *args):
    """Draws `text` into a PNG of its own; the result and the picture (None on failure)."""
    global _count
    _count += 1
    r, out = tool.render(text, *map(str, args), name=f"page{_count}.png")
    return r, Image.open(out).convert("RGB") if r.returncode == 0 else None


def rows_of_ink(im):
    """For each row with ink: (top, left, right) of its non-white pixels, right exclusive."""
    w, h = im.size
    px = im.load()
    out = []
    for y in range(h):
        xs = [x for x in range(w) if px[x, y] != (255, 255, 255)]
        if xs:
            out.append((y, min(xs), max(xs) + 1))
    return out


def line_bands(im):
    """Ink rows grouped into lines: [(left, right)] of each band of rows."""
    bands, last = [], None
    for y, left, right in rows_of_ink(im):
        if last is not None and y == last + 1:
            bands[-1] = (min(bands[-1][0], left), max(bands[-1][1], right))
        else:
            bands.append((left, right))
        last = y
    return bands


def test_receipt_lines(tool):
    # The item/price line: every price ends at the same column, the text
    # area's right edge, whatever the item's length.
    receipt = "Coffee\t3.50\nBagel with cream cheese\t12.25\nTotal\t115.75\n"
    r, im = render(tool, receipt, "--width", 576, "--dpi", 203, "--columns", 48, "--tabs", "r:end", "--no-antialias")
    check(r.returncode == 0, f"a receipt with --tabs r:end ({r.stderr!r})")
    if im:
        rights = [right for _, right in line_bands(im)]
        check(len(rights) == 3 and max(rights) - min(rights) <= 1 and 576 - 4 - max(rights) <= 2,
              f"prices end flush right ({rights})")
    # Default stops every 8 cells: a tab is not one space.
    r1, tabbed = render(tool, "a\tb\n", "--no-antialias")
    r2, spaced = render(tool, "a b\n", "--no-antialias")
    check(r1.returncode == 0 and tabbed.width > spaced.width + 5 * 6,
          f"a tab goes to the next stop ({tabbed.size if tabbed else r1.stderr} against {spaced.size})")
    # 48 columns fill 576 dots (12 a cell, without side margins): 48 cells
    # on one line, 49 wrap onto two.
    r, im48 = render(tool, "0" * 48 + "\n", "--width", 576, "--side", 0, "--columns", 48, "--wrap")
    r2, im49 = render(tool, "0" * 49 + "\n", "--width", 576, "--side", 0, "--columns", 48, "--wrap")
    check(r.returncode == 0 and r2.returncode == 0 and len(line_bands(im48)) == 1 and len(line_bands(im49)) == 2,
          "--columns 48 puts 48 cells on a line of 576 pixels")


def test_label_heights(tool):
    # With --line-box, labels with the same options are the same height.
    heights = set()
    for text in ("ace", "ABC", "gyp"):
        r, im = render(tool, text + "\n", "--line-box")
        heights.add(im.height if im else None)
    check(len(heights) == 1 and None not in heights, f"--line-box gives one height ({heights})")
    heights = {render(tool, text + "\n")[1].height for text in ("ace", "gyp")}
    check(len(heights) == 2, "without it the margins follow the ink")


def test_trailing_spaces_and_direction(tool):
    # Trailing spaces draw nothing and neither move a centred line nor make
    # a padded line too wide.
    _, plain = render(tool, "centre\n", "--width", 200, "--align", "center")
    _, padded = render(tool, "centre" + " " * 40 + "\n", "--width", 200, "--align", "center")
    check(plain is not None and padded is not None and plain.tobytes() == padded.tobytes(),
          "trailing spaces leave a centred line where it was")
    r, _ = render(tool, "x" + " " * 300 + "\n", "--width", 100)
    check(r.returncode == 0, f"a padded line fits without --wrap ({r.stderr!r})")
    # A byte-order mark has no direction: the line stays on the left.
    # (On the second line: the reader drops a byte-order mark that starts
    # the input.)
    _, bom = render(tool, "x\n\ufeffabc\n", "--width", 200)
    _, plain = render(tool, "x\nabc\n", "--width", 200)
    check(bom is not None and line_bands(bom) == line_bands(plain), "U+FEFF does not make a line right to left")


def test_messages_and_sizes(tool):
    # A width too narrow for one character, with --wrap: not "give --wrap".
    r, _ = render(tool, "abc\n", "--width", 9, "--wrap")
    check(r.returncode == 3 and b"holds a character" in r.stderr and b"larger width" in r.stderr
          and b"wrap it" not in r.stderr, f"--width 9 --wrap names the width ({r.stderr!r})")
    # A 360 pt sign at 300 dpi is drawn (an em of 1,500 px).
    r, sign = render(tool, "SIGN\n", "--size", 360, "--dpi", 300)
    check(r.returncode == 0 and sign is not None and sign.height > 1000, f"a 360 pt sign at 300 dpi ({r.stderr!r})")
    # fontconfig's own aliases are installed names: no warning.
    for alias in ("Sans", "monospace"):
        r, _ = render(tool, "x\n", "--font", alias)
        check(r.returncode == 0 and r.stderr == b"", f"--font {alias} draws without a warning ({r.stderr!r})")


def test_antialias(tool):
    def greys(im):
        return sum(1 for p in im.getdata() if p not in ((0, 0, 0), (255, 255, 255)))

    _, colour = render(tool, "Receipt\n", "--size", 16)
    _, whole = render(tool, "Receipt\n", "--size", 16, "--no-antialias")
    _, mono = render(tool, "Receipt\n", "--size", 16, "--mono")
    check(greys(colour) > 0 and greys(whole) == 0 and greys(mono) == 0,
          "colour output has grey edges by default; --no-antialias and --mono have none")


def main() -> int:
    return run_all(sys.argv[1], test_receipt_lines, test_label_heights, test_trailing_spaces_and_direction,
                   test_messages_and_sizes, test_antialias)


if __name__ == "__main__":
    sys.exit(main())
