#!/usr/bin/env python3
"""Printer jobs of synthetic pictures, decoded (tests/printer_decode.py) and
compared dot for dot with the same picture's 1-bit PBM (read by Pillow):
every command set, heights around the band and the 24-row stripe, widths
off the byte, left margins, light and dark backgrounds, blank runs as
feeds, blank pictures, jobs one after another, with and without a cutter,
and pictures too wide for the printer.
Usage: printer_pictures_test.py PRINTER_PICTURES"""
import pathlib
import subprocess
import sys
import tempfile

from PIL import Image

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from printer_decode import DecodeError, decode  # noqa: E402

failures = []
SETS = ("escpos", "escpos-graphics", "escpos-bitimage", "star")
# The commands that carry dots in each set.
PRINTS = {"escpos": {"GS v 0"}, "escpos-graphics": {"GS ( L", "GS 8 L"}, "escpos-bitimage": {"ESC *"},
          "star": {"b"}}
PROFILE_DPI = {"58mm": 203, "80mm": 203, "80mm-180": 180, "640": 203, "star-576": 203, "star-832": 203}
PROFILE_DOTS = {"58mm": 384, "80mm": 576, "80mm-180": 512, "640": 640, "star-576": 576, "star-832": 832}


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL " + what)
    return ok


class Job:
    """One run of printer_pictures: the job's bytes, the reference picture and how to read them."""

    count = 0

    def __init__(self, exe, tmp, **opts):
        Job.count += 1
        self.opts = {"profile": "58mm", "cutter": 1, "jobs": 1, "margin": 0, **opts}
        profile = self.opts["profile"]
        self.set = self.opts.get("set", "star" if profile.startswith("star") else "escpos")
        self.dots = int(self.opts.get("dots", PROFILE_DOTS[profile]))
        self.dpi = int(self.opts.get("dpi", PROFILE_DPI[profile]))
        self.margin = int(self.opts["margin"])
        self.name = " ".join(f"{k}={v}" for k, v in opts.items())
        prefix = pathlib.Path(tmp) / f"job{Job.count}"
        r = subprocess.run([exe, prefix, *(f"{k}={v}" for k, v in self.opts.items())], capture_output=True)
        self.returncode, self.stderr = r.returncode, r.stderr.decode("utf-8", "replace").strip()
        self.bytes = prefix.with_suffix(".bin").read_bytes() if r.returncode == 0 else None
        with Image.open(prefix.with_suffix(".pbm")) as im:
            self.width, self.height = im.size
            px = im.convert("L").load()
            # Bit x of a row set where the PBM is black.
            self.expected = [sum(1 << x for x in range(self.width) if px[x, y] == 0) for y in range(self.height)]

    def decode(self):
        return decode(self.bytes, self.set, dpi=self.dpi, width=self.dots)


def compare(job, band=None):
    """Decodes `job` and checks its pages against its PBM; the pages, or None."""
    if not check(job.returncode == 0, f"[{job.name}] encodes ({job.stderr})"):
        return None
    try:
        pages = job.decode()
    except DecodeError as e:
        check(False, f"[{job.name}] decodes: {e}")
        return None
    jobs, cutter = int(job.opts["jobs"]), int(job.opts["cutter"]) != 0
    if not check(len(pages) == jobs, f"[{job.name}] {jobs} page(s), one a job: {pages}"):
        return None
    star = job.set == "star"
    # Without a cutter an ESC/POS job ends with a feed past the tear bar;
    # Star's end-of-document mode does that feed itself.
    tail = 0 if cutter or star else job.dpi * 3 // 4
    for i, page in enumerate(pages):
        where = f"[{job.name}] page {i + 1}"
        cut = "partial" if cutter else None
        check(page.cut == cut and page.job == i, f"{where}: cut {page.cut!r}, job {page.job}; {cut!r}, {i} expected")
        if not star and not cutter:
            check(page.end in ("job", "data"), f"{where}: ends with the next job or the bytes ({page.end})")
        if star and not cutter:
            check(page.end == "tear bar", f"{where}: fed to the tear bar ({page.end})")
        check(page.height == job.height + tail, f"{where}: {page.height} rows; {job.height} + a feed of {tail} expected")
        rows = page.rows + [0] * max(0, job.height - page.height)
        bad = [y for y in range(job.height) if rows[y] != job.expected[y] << job.margin]
        check(not bad, f"{where}: rows {bad[:8]}{'...' if len(bad) > 8 else ''} differ from the PBM"
              + (f" (row {bad[0]}: {rows[bad[0]]:b} against {job.expected[bad[0]] << job.margin:b})"
                 if bad else ""))
        check(not any(page.rows[job.height:]), f"{where}: nothing prints in the final feed")
        check(page.commands <= PRINTS[job.set], f"{where}: only {sorted(PRINTS[job.set])} ({page.commands})")
        if not any(job.expected):
            check(not page.commands, f"{where}: a blank picture is paper feed only ({page.prints[:3]})")
        # Blank rows leave as feeds: no printed row is blank (an ESC * line
        # is checked over the rows it advances).
        blank = [(c, top, n) for c, top, n in page.prints if not all(page.rows[top:top + n])]
        check(not blank, f"{where}: blank rows sent as zeros in {blank[:4]}")
        if band is not None:
            # ESC * lines are 24 rows (see test_stripes_in_small_bands).
            limit = max(band, 24) if job.set == "escpos-bitimage" else band
            tall = [(c, top, n) for c, top, n in page.prints if n > limit]
            check(not tall, f"{where}: commands taller than {limit} rows: {tall[:4]}")
    return pages


def test_sizes(exe, tmp):
    """Heights about the band and the 24-row stripe, widths off the byte."""
    patterns = ["random", "checker", "frame", "dot-br", "diagonal", "full", "corners", "dot-tl"]
    n = 0
    for command_set in SETS:
        for band in (16, 30):
            for height in sorted({1, 23, 24, 25, band - 1, band, band + 1, 2 * band + 1}):
                for width in (1, 7, 9, 383):
                    pattern = patterns[n % len(patterns)]
                    n += 1
                    compare(Job(exe, tmp, set=command_set, band=band, width=width, height=height, pattern=pattern),
                            band)
        # A full picture takes as few commands as the band allows.
        job = Job(exe, tmp, set=command_set, band=30, width=100, height=95, pattern="full")
        pages = compare(job, 30)
        if pages and command_set != "star":
            per = 24 if command_set == "escpos-bitimage" else 30
            count = len(pages[0].prints)
            check(count == -(-95 // per), f"[{job.name}] {count} commands for 95 rows in bands of {per}")
    print(f"sizes: {n} jobs")


def test_default_band(exe):
    """The built-in profiles, their 240-row bands and blank runs up to 600 rows."""
    with tempfile.TemporaryDirectory() as tmp:
        for profile, command_set in (("80mm", "escpos"), ("80mm", "escpos-graphics"), ("80mm-180", "escpos"),
                                     ("80mm", "escpos-bitimage"), ("star-576", "star"), ("star-832", "star")):
            dots = PROFILE_DOTS[profile]
            job = Job(exe, tmp, profile=profile, set=command_set, width=dots, height=2400, pattern="gaps")
            compare(job, 240)


def test_backgrounds(exe, tmp):
    """A dot prints where a pixel differs from a light background, where it
    equals a dark one; colours near the background's still print."""
    # The reference itself: one corner dot on white, all but it on black.
    light = Job(exe, tmp, width=9, height=3, pattern="dot-tl", background="ffffff")
    dark = Job(exe, tmp, width=9, height=3, pattern="dot-tl", background="000000")
    check(light.expected == [1, 0, 0] and dark.expected == [0x1FE, 0x1FF, 0x1FF],
          f"the PBMs: one dot on white, all but one on black ({light.expected}, {dark.expected})")
    for command_set in SETS:
        for background in ("ffffff", "ffff00", "000000", "202020"):
            for pattern in ("colours", "dot-tl", "checker"):
                compare(Job(exe, tmp, set=command_set, width=45, height=26, pattern=pattern, background=background))


def test_margins(exe, tmp):
    """Left margins on and off the byte; the widest picture beside one, and one dot more refused."""
    for command_set in SETS:
        for margin in (1, 3, 8, 13, 63):
            for width in sorted({64 - margin, max(1, 40 - margin)}):
                for pattern in ("random", "frame"):
                    compare(Job(exe, tmp, set=command_set, dots=64, margin=margin, width=width, height=27,
                                pattern=pattern))
        for margin in (0, 5):
            printable = 64 - margin
            job = Job(exe, tmp, set=command_set, dots=64, margin=margin, width=printable + 1, height=5)
            check(job.returncode == 3 and f"{printable + 1} dots wide" in job.stderr
                  and f"at most {printable}" in job.stderr and (margin == 0 or "margin" in job.stderr),
                  f"[{job.name}] one dot too wide is refused naming both widths ({job.returncode}: {job.stderr})")
    for profile in PROFILE_DOTS:
        job = Job(exe, tmp, profile=profile, width=PROFILE_DOTS[profile] + 1, height=2)
        check(job.returncode == 3 and str(PROFILE_DOTS[profile] + 1) in job.stderr
              and str(PROFILE_DOTS[profile]) in job.stderr and profile in job.stderr,
              f"[{job.name}] refused naming the profile and both widths ({job.stderr})")


def test_blank_and_jobs(exe, tmp):
    """Blank pictures are feeds only; jobs one after another are pages with
    a cut between; without a cutter the paper is fed past the tear bar."""
    for command_set in SETS:
        for height in (1, 255, 256, 600):
            compare(Job(exe, tmp, set=command_set, width=33, height=height, pattern="blank"))
        for cutter in (1, 0):
            compare(Job(exe, tmp, set=command_set, width=20, height=30, pattern="random", cutter=cutter, jobs=2))
            compare(Job(exe, tmp, set=command_set, width=20, height=3, pattern="blank", cutter=cutter, jobs=3))


def test_stripes_in_small_bands(exe, tmp):
    """A profile whose bands are shorter than the 24-dot stripe: each ESC *
    line advances no more than a band, or the profile is refused."""
    job = Job(exe, tmp, set="escpos-bitimage", band=16, width=30, height=50, pattern="full")
    if job.returncode == 3:
        check("band" in job.stderr, f"[{job.name}] refused naming the band ({job.stderr})")
        return
    pages = compare(job)
    if pages:
        tall = [(c, top, n) for c, top, n in pages[0].prints if n > 16]
        check(not tall, f"[{job.name}] ESC * lines taller than the profile's 16-row bands: {tall}")


def test_reference_limits(exe, tmp):
    """Profiles past what a command allows are refused rather than sent:
    GS ( L function 112 takes at most 2047 dots across and 1662 rows,
    ESC * 33 at most 1023 dots; wide graphics bands use GS 8 L."""
    job = Job(exe, tmp, set="escpos-graphics", dots=2047, band=300, width=2047, height=301, pattern="random")
    pages = compare(job, 300)
    check(pages is not None and "GS 8 L" in pages[0].commands, f"[{job.name}] a band past 64 KiB uses GS 8 L")
    for opts in ({"set": "escpos-graphics", "band": 1663, "width": 8, "height": 1700},
                 {"set": "escpos-graphics", "dots": 2048, "width": 2048, "height": 2},
                 {"set": "escpos-bitimage", "dots": 1024, "width": 1024, "height": 2}):
        job = Job(exe, tmp, pattern="full", **opts)
        if job.returncode == 3:
            check("profile" in job.stderr, f"[{job.name}] refused naming the profile ({job.stderr})")
            continue
        try:
            job.decode()
        except DecodeError as e:
            check(False, f"[{job.name}] encodes a job its command set does not allow: {e}")


def main():
    exe = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        for test in (test_sizes, test_backgrounds, test_margins, test_blank_and_jobs, test_stripes_in_small_bands,
                     test_reference_limits):
            test(exe, tmp)
    test_default_band(exe)
    print(f"{Job.count} jobs, {len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
