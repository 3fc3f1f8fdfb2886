#!/usr/bin/env python3
"""The files the renderer writes, opened by independent readers: Pillow and
ImageMagick's identify. Usage: readers_test.py RENDER_LINES SAMPLE.txt"""
import pathlib
import subprocess
import sys
import tempfile

from PIL import Image


def main() -> int:
    render_lines, sample = sys.argv[1], sys.argv[2]
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)
        print(("ok   " if ok else "FAIL ") + what)

    lines = pathlib.Path(sample).read_text(encoding="utf-8").splitlines()
    longest = max(len(line.encode("utf-16-le")) // 2 for line in lines)
    width = longest * 8 + 8
    height = 1 + 24 + 26 * len(lines)

    with tempfile.TemporaryDirectory() as tmp:
        colour = pathlib.Path(tmp, "colour.bmp")
        mono = pathlib.Path(tmp, "mono.bmp")
        subprocess.run([render_lines, sample, str(colour), str(mono)], check=True)

        with Image.open(colour) as im:
            check(im.format == "BMP" and im.mode == "RGB", f"Pillow reads a 24-bit colour BMP ({im.mode})")
            check(im.size == (width, height), f"colour size {im.size} == {(width, height)}")
            im.load()
            check(im.getpixel((0, 0)) == (255, 255, 255), "background is white")
            blue = sum(1 for p in im.getdata() if p[2] > 200 and p[0] < 60 and p[1] < 60)
            check(blue > 200, f"the text is blue ({blue} blue pixels)")

        with Image.open(mono) as im:
            check(im.mode in ("1", "P") and im.size == (width, height), f"Pillow reads a 1-bit BMP {im.mode} {im.size}")
            im = im.convert("L")
            values = set(im.getdata())
            check(values <= {0, 255}, f"only black and white ({sorted(values)[:4]})")
            black = sum(1 for p in im.getdata() if p == 0)
            check(200 < black < width * height // 4, f"some text is black ({black} pixels)")

        for path, depth in ((colour, "8-bit"), (mono, "1-bit")):
            out = subprocess.run(["identify", str(path)], capture_output=True, text=True)
            check(out.returncode == 0 and f"{width}x{height}" in out.stdout and depth in out.stdout,
                  f"identify {path.name}: {out.stdout.strip()} {out.stderr.strip()}")
        check(mono.stat().st_size == 62 + height * ((width + 31) // 32 * 4), "mono file is exactly its bitmap")

    print(f"{8 - len(failures) if len(failures) <= 8 else 0} checks passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
