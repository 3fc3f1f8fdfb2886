#!/usr/bin/python3
"""Compares the 1-bit pictures of the parity jobs from two drawers.

For each job (size and style, see parity_jobs.hpp) both files must have
the same size; within each printed line, the boxes around the black pixels
must agree to 1 px on every edge, and the black pixels' intersection over
union must be at least 0.90. Prints a table of the figures and exits 1 when
any job misses them.

    compare.py LINUX-FOLDER WINE-FOLDER [--report FILE] [--pictures FOLDER]
"""
import argparse
import os
import sys

from PIL import Image

SIZES = (8, 10, 12, 24)
STYLES = ("regular", "bold", "italic", "underline", "strikethru")
LINES = 2
TOP = 4              # kTop
MIN_IOU = 0.90
MAX_EDGE = 1


def pitch(size):
    return 3 * size  # parity::pitch


def ink(image, rows):
    """The black pixels of the given rows, as a set of (x, y)."""
    width = image.width
    data = image.load()
    return {(x, y) for y in rows for x in range(width) if data[x, y] == 0}


def box(points):
    if not points:
        return None
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return (min(xs), min(ys), max(xs), max(ys))


def compare(linux_path, wine_path):
    """Rows of (line, iou, largest edge difference, problems)."""
    a = Image.open(linux_path).convert("L")
    b = Image.open(wine_path).convert("L")
    if a.size != b.size:
        return [(0, 0.0, None, f"sizes differ: {a.size} against {b.size}")]
    size = int(os.path.basename(linux_path).split("-")[0])
    results = []
    for k in range(1, LINES + 1):
        top = TOP + k * pitch(size)
        rows = range(top - size, min(a.height, top + 2 * size))
        ia, ib = ink(a, rows), ink(b, rows)
        union = ia | ib
        iou = len(ia & ib) / len(union) if union else 1.0
        ba, bb = box(ia), box(ib)
        problems = []
        edge = None
        if (ba is None) != (bb is None):
            problems.append("one drawer drew no ink")
        elif ba is not None:
            edge = max(abs(p - q) for p, q in zip(ba, bb))
            if edge > MAX_EDGE:
                problems.append(f"ink boxes differ by {edge} px: {ba} against {bb}")
        if not ia and not ib:
            problems.append("no ink from either drawer")
        if iou < MIN_IOU:
            problems.append(f"ink agreement {iou:.3f} below {MIN_IOU}")
        results.append((k, iou, edge, "; ".join(problems)))
    return results


def side_by_side(linux_path, wine_path, target):
    a = Image.open(linux_path).convert("RGB")
    b = Image.open(wine_path).convert("RGB")
    out = Image.new("RGB", (max(a.width, b.width), a.height + b.height + 4), (255, 0, 0))
    out.paste(a, (0, 0))
    out.paste(b, (0, a.height + 4))
    out.resize((out.width * 2, out.height * 2), Image.NEAREST).save(target)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("linux")
    parser.add_argument("wine")
    parser.add_argument("--report")
    parser.add_argument("--pictures", help="write LINUX-above-WINE PNGs here")
    args = parser.parse_args()

    lines = [f"{'job':<16} {'line':>4} {'IoU':>6} {'edge':>5}  problems"]
    failed = 0
    ious = []
    for size in SIZES:
        for style in STYLES:
            name = f"{size}-{style}.bmp"
            linux_path = os.path.join(args.linux, name)
            wine_path = os.path.join(args.wine, name)
            for path in (linux_path, wine_path):
                if not os.path.exists(path):
                    print(f"missing {path}", file=sys.stderr)
                    return 1
            for line, iou, edge, problems in compare(linux_path, wine_path):
                ious.append(iou)
                failed += bool(problems)
                edge_text = "-" if edge is None else str(edge)
                lines.append(f"{name[:-4]:<16} {line:>4} {iou:6.3f} {edge_text:>5}  {problems}")
            if args.pictures:
                os.makedirs(args.pictures, exist_ok=True)
                side_by_side(linux_path, wine_path, os.path.join(args.pictures, name[:-4] + ".png"))
    lines.append(f"lowest IoU {min(ious):.3f}, mean {sum(ious) / len(ious):.3f}, "
                 f"{failed} of {len(ious)} lines miss the targets")
    text = "\n".join(lines) + "\n"
    print(text, end="")
    if args.report:
        with open(args.report, "w", encoding="utf-8") as f:
            f.write(text)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
