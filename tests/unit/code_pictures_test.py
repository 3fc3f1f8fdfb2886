#!/usr/bin/env python3
"""Codes drawn by code_pictures, read back by zbarimg to the data given:
every barcode symbology (EAN and UPC with and without their check digit)
and QR codes at every error correction level, with UTF-8 text among them.
Exits 77 (skipped) when zbarimg is missing.
Usage: code_pictures_test.py CODE_PICTURES"""
import shutil
import subprocess
import sys
import tempfile

# name, symbology, QR level, data, what zbarimg reads (the data when None)
CASES = [
    ("upca", "upc", "L", "03600029145", "036000291452"),
    ("upca_check", "upc", "L", "036000291452", None),
    ("upce", "upc", "L", "0123456", "01234565"),
    ("upce_six", "upc", "L", "123456", "01234565"),
    ("upce_check", "upc", "L", "01234565", None),
    ("ean13", "ean", "L", "490123456789", "4901234567894"),
    ("ean13_check", "ean", "L", "4901234567894", None),
    ("ean8", "ean", "L", "4901234", "49012347"),
    ("ean8_check", "ean", "L", "49012347", None),
    ("code39", "code39", "L", "LUMARIN-39 $/+%", None),
    ("itf", "itf", "L", "0123456789", None),
    ("codabar", "codabar", "L", "A40156-$:/.+B", None),
    ("code93", "code93", "L", "Code 93 mixed case!", None),
    ("code128", "code128", "L", "Receipt #0042, total 12.50", None),
    ("code128_digits", "code128", "L", "123456789012", None),
]
QR_TEXTS = ["https://example.invalid/receipt?id=42", "שלום, 日本語のレシート 123"]
for level in "LMQH":
    for i, text in enumerate(QR_TEXTS):
        CASES.append((f"qr_{level}{i}", "qr", level, text, None))
CASES.append(("qr_long", "qr", "M", "0123456789abcdef" * 40, None))


def main():
    zbarimg = shutil.which("zbarimg")
    if not zbarimg:
        print("zbarimg is missing (Debian's zbar-tools): no decoder to read the codes with")
        return 77
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        lines = "".join(f"{name}\t{kind}\t{level}\t{data}\n" for name, kind, level, data, _ in CASES)
        run = subprocess.run([sys.argv[1], folder], input=lines.encode(), capture_output=True, check=True)
        hri = dict(line.split("\t", 1) for line in run.stdout.decode().splitlines())
        for name, kind, level, data, read in CASES:
            expected = data if read is None else read
            if hri[name].startswith("!"):
                failures.append(f"{name}: refused: {hri[name]}")
                continue
            # UPC reads as EAN-13 unless asked for; the bytes as they are.
            r = subprocess.run([zbarimg, "--nodbus", "--raw", "-q", "-Supca.enable", "-Supce.enable",
                                f"{folder}/{name}.pbm"], capture_output=True)
            got = r.stdout.decode("utf-8", "replace").rstrip("\n")
            if got != expected:
                failures.append(f"{name} ({kind} {level}): zbarimg read {got!r}, expected {expected!r}")
            # Check digits are added to what the caller prints under the bars.
            if kind in ("upc", "ean") and hri[name] != expected:
                failures.append(f"{name}: human-readable text {hri[name]!r}, expected {expected!r}")
    for f in failures:
        print("FAIL " + f)
    print(f"{len(CASES)} codes, {len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
