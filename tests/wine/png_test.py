#!/usr/bin/env python3
"""PNGs written by the Windows build (WIC's encoder, under Wine), read back
by Pillow: the same pixels as the BMPs the same build writes, in colour and
in one bit on a light and a dark background; the header, the stated
resolution and the chunk CRCs as png.cpp writes them; and the command's
--format png to a file and to standard output.
Usage: png_test.py WINE WRITE_PICTURES_EXE LUMARIN_EXE SAMPLE OUT-FOLDER"""
import pathlib
import struct
import subprocess
import sys
import zlib

from PIL import Image


def chunks(path):
    """(type, data) of each chunk, or None where a CRC is wrong."""
    data = pathlib.Path(path).read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    out, at = [], 8
    while at + 12 <= len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + length]
        (crc,) = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        if zlib.crc32(kind + body) != crc:
            return None
        out.append((kind.decode("latin-1"), body))
        at += 12 + length
    return out


def header_and_resolution(path):
    """(bit depth, colour type, interlace) and pixels per metre of pHYs."""
    found = chunks(path)
    if not found or found[0][0] != "IHDR":
        return None, None
    ihdr = found[0][1]
    pixels = next((i for i, (kind, _) in enumerate(found) if kind == "IDAT"), len(found))
    phys = [body for kind, body in found[:pixels] if kind == "pHYs"]
    ppm = None
    if phys and phys[0][8] == 1:
        x, y = struct.unpack(">II", phys[0][:8])
        ppm = x if x == y else (x, y)
    return (ihdr[8], ihdr[9], ihdr[12]), ppm


def rgb(path):
    with Image.open(path) as im:
        return im.convert("RGB").tobytes()


def main() -> int:
    wine, write_pictures, lumarin, sample, out = sys.argv[1:6]
    out = pathlib.Path(out)
    out.mkdir(parents=True, exist_ok=True)
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)
        print(("ok   " if ok else "FAIL ") + what)

    # One image saved by the library in every format: blue on white, and
    # yellow on dark red, where the 1-bit files have white ink on black.
    for fore, back in ((0x0000FF, 0xFFFFFF), (0xFFFF00, 0x800000)):
        scheme = f"{fore:06x} on {back:06x}"
        prefix = out / f"{fore:06x}-{back:06x}"
        run = subprocess.run([wine, write_pictures, sample, f"{fore:06x}", f"{back:06x}", str(prefix)])
        check(run.returncode == 0, f"{scheme}: write_pictures.exe exits 0 ({run.returncode})")
        if run.returncode != 0:
            continue
        names = (".bmp", "-mono.bmp", ".png", "-mono.png", ".pbm")
        files = {name: pathlib.Path(f"{prefix}{name}") for name in names}
        for name, mode, header in ((".png", "RGB", (8, 2, 0)), ("-mono.png", "1", (1, 0, 0))):
            with Image.open(files[name]) as im:
                im.verify()  # Pillow's own check of the stream
            with Image.open(files[name]) as im:
                check(im.format == "PNG" and im.mode == mode,
                      f"{scheme}: Pillow reads {name} as PNG {mode} ({im.format} {im.mode})")
            got_header, ppm = header_and_resolution(files[name])
            check(got_header == header, f"{scheme}: {name} bit depth, colour type, interlace {got_header}, CRCs right")
            check(ppm == 3780, f"{scheme}: {name} states 96 dpi as 3780 a metre ({ppm})")
        pixels = {name: rgb(path) for name, path in files.items()}
        check(pixels[".png"] == pixels[".bmp"], f"{scheme}: the PNG has the BMP's pixels")
        check(pixels["-mono.png"] == pixels["-mono.bmp"], f"{scheme}: the 1-bit PNG has the 1-bit BMP's pixels")
        check(pixels["-mono.png"] == pixels[".pbm"], f"{scheme}: the 1-bit PNG has the PBM's pixels")
        colour = pixels[".png"]
        ink = sum(1 for i in range(0, len(colour), 3) if colour[i:i + 3] != back.to_bytes(3, "big"))
        check(ink > 200, f"{scheme}: the picture has ink ({ink} pixels)")

    # The command: PNG and BMP of the same job, at a stated resolution.
    def command(*args, **kwargs):
        return subprocess.run([wine, lumarin, *args], **kwargs)

    for name, options, ppm in (("receipt", [], 3780), ("receipt-mono", ["--mono", "--dpi", "203"], 7992)):
        png, bmp = out / f"{name}.png", out / f"{name}.bmp"
        a = command(*options, sample, "-o", str(png))
        b = command(*options, sample, "-o", str(bmp))
        check(a.returncode == 0 and b.returncode == 0,
              f"lumarin.exe {' '.join(options)} writes PNG and BMP ({a.returncode}, {b.returncode})")
        if a.returncode or b.returncode:
            continue
        check(rgb(png) == rgb(bmp), f"lumarin.exe {name}: the PNG has the BMP's pixels")
        stated = header_and_resolution(png)[1]
        check(stated == ppm, f"lumarin.exe {name}: pHYs {stated} == {ppm}")
    piped = command(sample, "--format", "png", "-o", "-", capture_output=True)
    check(piped.returncode == 0 and piped.stdout == (out / "receipt.png").read_bytes(),
          f"--format png -o - writes the file's bytes ({piped.returncode}, {len(piped.stdout)} bytes)")

    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
