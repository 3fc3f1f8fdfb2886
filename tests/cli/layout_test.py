#!/usr/bin/python3
"""The measured layout over sizes and scripts: each PNG the command draws
keeps every glyph whole and ends where its text ends.

For each script and size the image must have
- no ink in its outermost column or row (the margins are 4 px);
- an ink width within 2 px of pango-view's for the same text, font and
  size (the em in whole pixels, as both drawers take it) at 96 dpi;
- at most the bottom margin plus 2 px of blank rows below the last ink.

Needs the Noto fonts (fonts-noto-core, fonts-noto-cjk,
fonts-noto-color-emoji) and pango-view; exits 77 (skipped) without them.
Usage: layout_test.py LUMARIN"""
import os
import subprocess
import sys
import tempfile

from PIL import Image

SKIP = 77
MARGIN = 4
SIZES = (6, 8, 10, 12, 16, 20, 24, 32, 40, 48)
SCRIPTS = [
    ("Latin", "Noto Sans", "Sphinx of black quartz, judge my vow"),
    ("Chinese", "Noto Sans CJK SC", "中文：你好，世界！欢迎使用"),
    ("Japanese", "Noto Sans CJK JP", "日本語のテキスト、ひらがなとカタカナ"),
    ("Arabic", "Noto Sans Arabic", "مرحبا بالعالم، كيف حالك؟"),
    ("Hebrew", "Noto Sans Hebrew", "שלום עולם, מה שלומך היום?"),
    ("Devanagari", "Noto Sans Devanagari", "नमस्ते दुनिया, आप कैसे हैं?"),
    ("combining", "Noto Sans", "Be\u0301la\u0300 go\u0302 n\u0303y\u0308 q\u0323u\u0307"),
    ("emoji", "Noto Color Emoji", "\U0001F600\U0001F389\U0001F44D\U0001F3FD\U0001F1EC\U0001F1E7"),
]


def em_pixels(points):
    """Points at 96 dpi in whole pixels, halves to even (Python's round)."""
    return max(1, round(points * 96 / 72))


def ink_box(path):
    """(left, top, right, bottom), exclusive, of pixels unlike the corner's."""
    im = Image.open(path).convert("RGB")
    background = im.getpixel((0, 0))
    px = im.load()
    xs = [x for x in range(im.width) for y in range(im.height) if px[x, y] != background]
    ys = [y for y in range(im.height) for x in range(im.width) if px[x, y] != background]
    if not xs:
        return None, im.size
    return (min(xs), min(ys), max(xs) + 1, max(ys) + 1), im.size


def missing_prerequisites():
    try:
        families = subprocess.run(["fc-list", ":", "family"], capture_output=True, text=True).stdout
    except OSError:
        return "fc-list is not installed"
    for _, family, _ in SCRIPTS:
        if not any(family == name.strip() for line in families.splitlines() for name in line.split(",")):
            return f"the font {family} is not installed (tools/setup-debian all installs it)"
    if subprocess.run(["sh", "-c", "command -v pango-view"], capture_output=True).returncode != 0:
        return "pango-view is not installed"
    return None


def main():
    lumarin = sys.argv[1]
    why = missing_prerequisites()
    if why:
        print(f"SKIP: {why}")
        return SKIP
    failures = []
    rows = []
    with tempfile.TemporaryDirectory() as tmp:
        for script, family, text in SCRIPTS:
            for size in SIZES:
                out = os.path.join(tmp, f"{script}-{size}.png")
                r = subprocess.run([lumarin, "--font", family, "--size", str(size), "-o", out],
                                   input=(text + "\n").encode(), capture_output=True)
                reference = os.path.join(tmp, "reference.png")
                subprocess.run(["pango-view", "--font", f"{family} {em_pixels(size)}px", "--antialias=none",
                                "--hinting=full", "--hint-metrics=on", "--dpi", "96", "--margin", "0", "-q",
                                "-o", reference, "-t", text], check=True)
                problems = []
                if r.returncode != 0:
                    problems.append(f"exit {r.returncode}: {r.stderr.decode(errors='replace').strip()}")
                    rows.append((script, size, "-", "-", "-", problems))
                    failures.append((script, size))
                    continue
                box, (width, height) = ink_box(out)
                ref_box, _ = ink_box(reference)
                if box is None or ref_box is None:
                    problems.append("no ink")
                    rows.append((script, size, "-", "-", "-", problems))
                    failures.append((script, size))
                    continue
                if box[0] == 0 or box[1] == 0 or box[2] == width or box[3] == height:
                    problems.append(f"ink at the edge: {box} in {width}x{height}")
                ours, theirs = box[2] - box[0], ref_box[2] - ref_box[0]
                if abs(ours - theirs) > 2:
                    problems.append(f"ink {ours} px wide, pango-view's {theirs}")
                blank = height - box[3]
                if blank > MARGIN + 2:
                    problems.append(f"{blank} blank rows below the ink")
                rows.append((script, size, ours, theirs, blank, problems))
                if problems:
                    failures.append((script, size))
    print(f"{'script':<11} {'pt':>3} {'ink':>5} {'pango':>5} {'tail':>4}  problems")
    for script, size, ours, theirs, blank, problems in rows:
        print(f"{script:<11} {size:>3} {ours:>5} {theirs:>5} {blank:>4}  {'; '.join(problems)}")
    print(f"{len(failures)} of {len(rows)} renders miss the checks")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
