#!/usr/bin/env python3
"""The files the renderer writes, opened by independent readers: Pillow and
ImageMagick. The BMPs of a typical job; then one image saved as BMP, PNG
and PBM, in colour and in one bit, which both readers must see as the same
pixels. Usage: readers_test.py RENDER_LINES SAMPLE.txt WRITE_PICTURES"""
import pathlib
import subprocess
import sys
import tempfile

from PIL import Image


def pillow_rgb(path):
    with Image.open(path) as im:
        return im.convert("RGB").tobytes()


def magick_rgb(path):
    out = subprocess.run(["convert", str(path), "-depth", "8", "rgb:-"], capture_output=True, check=True)
    return out.stdout


def count_other(rgb, pixel):
    """Pixels of packed RGB bytes that are not `pixel`."""
    return sum(1 for i in range(0, len(rgb), 3) if rgb[i:i + 3] != pixel)


def check_formats(write_pictures, sample, fore, back, folder, check):
    """One image in every format: the same pixels to both readers, and
    the 1-bit files keep every pixel of ink."""
    scheme = f"{fore:06x} on {back:06x}"
    prefix = pathlib.Path(folder, f"{fore:06x}-{back:06x}")
    subprocess.run([write_pictures, sample, f"{fore:06x}", f"{back:06x}", str(prefix)], check=True)
    files = {name: pathlib.Path(f"{prefix}{name}") for name in (".bmp", "-mono.bmp", ".png", "-mono.png", ".pbm")}

    for name, (fmt, mode) in {".png": ("PNG", "RGB"), "-mono.png": ("PNG", "1"), ".pbm": ("PPM", "1")}.items():
        with Image.open(files[name]) as im:
            dpi = im.info.get("dpi")
            check(im.format == fmt and im.mode == mode, f"{scheme}: Pillow reads {name} as {fmt} {mode} ({im.format} {im.mode})")
            if fmt == "PNG":
                check(dpi is not None and round(dpi[0]) == round(dpi[1]) == 96, f"{scheme}: {name} is 96 dpi ({dpi})")
    for name, wanted in {".png": "8 2", "-mono.png": "1 0"}.items():
        out = subprocess.run(["identify", "-format", "%[png:IHDR.bit-depth-orig] %[png:IHDR.color-type-orig]",
                              str(files[name])], capture_output=True, text=True)
        check(out.stdout.strip() == wanted, f"{scheme}: identify {name}: bit depth and colour type {out.stdout.strip()!r}")
    out = subprocess.run(["identify", str(files[".pbm"])], capture_output=True, text=True)
    check(" PBM " in out.stdout and "1-bit" in out.stdout, f"{scheme}: identify .pbm: {out.stdout.strip()}")

    for reader, read in (("Pillow", pillow_rgb), ("ImageMagick", magick_rgb)):
        pixels = {name: read(path) for name, path in files.items()}
        check(pixels[".png"] == pixels[".bmp"], f"{scheme}: {reader}: the PNG has the BMP's pixels")
        check(pixels["-mono.png"] == pixels["-mono.bmp"], f"{scheme}: {reader}: the 1-bit PNG has the 1-bit BMP's pixels")
        check(pixels[".pbm"] == pixels["-mono.bmp"], f"{scheme}: {reader}: the PBM has the 1-bit BMP's pixels")

    # Text is drawn without antialiasing: every pixel other than the
    # background is ink, and the 1-bit files show each one opposite the
    # background's entry, which the margin at (0, 0) shows.
    colour, mono = pillow_rgb(files[".png"]), pillow_rgb(files[".pbm"])
    ink = count_other(colour, back.to_bytes(3, "big"))
    mono_ink = count_other(mono, mono[0:3])
    check(ink > 200 and mono_ink == ink, f"{scheme}: the 1-bit files keep every pixel of ink ({mono_ink} of {ink})")


def main() -> int:
    render_lines, sample, write_pictures = sys.argv[1], sys.argv[2], sys.argv[3]
    failures = []
    checks = 0

    def check(ok, what):
        nonlocal checks
        checks += 1
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

        # Blue on white, and yellow on dark red, where the 1-bit files are
        # white ink on black.
        for fore, back in ((0x0000FF, 0xFFFFFF), (0xFFFF00, 0x800000)):
            check_formats(write_pictures, sample, fore, back, tmp, check)

    print(f"{checks - len(failures)} checks passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
