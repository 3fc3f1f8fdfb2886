#!/usr/bin/env python3
"""What the lumarin command writes and says about its output: the
resolution the files state, standard output to a reader that has gone,
output folders checked before drawing, -o given twice.
Usage: output_test.py LUMARIN"""
import struct
import sys
import tempfile

from PIL import Image

from cli_test import Tool, check, failures


def png_phys(data):
    """pHYs's (x, y, unit), or None."""
    at = 8
    while at + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"pHYs":
            return struct.unpack(">IIB", data[at + 8:at + 17])
        at += 12 + length
    return None


def test_resolution(tool):
    """--dpi reaches the file: 203 dpi is 7992 pixels a metre."""
    for extra in ([], ["--mono"]):
        r, png = tool.render("Hx\n", "--dpi", "203", *extra, name="r203.png")
        check(r.returncode == 0 and png_phys(png.read_bytes()) == (7992, 7992, 1),
              f"PNG {extra} at --dpi 203: pHYs {png_phys(png.read_bytes())}")
        with Image.open(png) as im:
            check(all(abs(d - 203) < 0.01 for d in im.info.get("dpi", (0, 0))), f"Pillow reads {im.info.get('dpi')}")
        r, bmp = tool.render("Hx\n", "--dpi", "203", *extra, name="r203.bmp")
        check(r.returncode == 0 and struct.unpack("<ii", bmp.read_bytes()[38:46]) == (7992, 7992),
              f"BMP {extra} at --dpi 203: {struct.unpack('<ii', bmp.read_bytes()[38:46])}")
        with Image.open(bmp) as im:
            check(all(abs(d - 203) < 0.01 for d in im.info.get("dpi", (0, 0))), f"Pillow reads {im.info.get('dpi')}")
    r, png = tool.render("Hx\n", name="r96.png")
    check(png_phys(png.read_bytes()) == (3780, 3780, 1), "without --dpi, 96 dpi as before")
    r = tool.run("-o", "-", "--format", "png", "--dpi", "300", stdin=b"Hx\n")
    check(r.returncode == 0 and png_phys(r.stdout) == (11811, 11811, 1), "standard output states --dpi too")


def main() -> int:
    exe = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        tool = Tool(exe, tmp)
        test_resolution(tool)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
