#!/usr/bin/env python3
"""The lumarin tool as a user runs it: images it writes (read back with
Pillow), the measured layout and the object's job (--compat), exit
statuses and the one-line messages.
Usage: cli_test.py LUMARIN SAMPLE.txt"""
import fcntl
import os
import pathlib
import pty
import struct
import termios
import re
import subprocess
import sys
import tempfile

from PIL import Image

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    print(("ok   " if ok else "FAIL ") + what)


def expected_size(lines, size=10, pitch=16, top=4, side=4, factor=80):
    longest = max(len(line.encode("utf-16-le")) // 2 for line in lines)
    return longest * size * factor // 100 + 2 * side, 1 + 2 * top + pitch + (size + pitch) * len(lines)


def ink(im, test):
    return sum(1 for p in im.convert("RGB").getdata() if test(p))


class Tool:
    def __init__(self, exe, tmp):
        self.exe, self.tmp = exe, pathlib.Path(tmp)
        # Sanitised builds: the leak checker's summary of suppressions would
        # otherwise follow every message on stderr.
        self.env = dict(os.environ)
        if "LSAN_OPTIONS" in self.env:
            self.env["LSAN_OPTIONS"] += ":print_suppressions=0"

    def run(self, *args, stdin=None):
        # Bytes stay bytes: a file name need not be UTF-8.
        argv = [a if isinstance(a, bytes) else str(a) for a in args]
        return subprocess.run([self.exe, *argv], input=stdin, capture_output=True, env=self.env)

    def render(self, text, *args, name="out.bmp"):
        out = self.tmp / name
        result = self.run("-o", out, *args, stdin=text.encode("utf-8"))
        return result, out


def ink_box(im, background=(255, 255, 255)):
    """(left, top, right, bottom) of the pixels unlike the background, exclusive; None when blank."""
    rgb = im.convert("RGB")
    w, h = rgb.size
    px = rgb.load()
    xs, ys = [], []
    for y in range(h):
        for x in range(w):
            if px[x, y] != background:
                xs.append(x)
                ys.append(y)
    return (min(xs), min(ys), max(xs) + 1, max(ys) + 1) if xs else None


def test_measured_layout(tool, sample):
    """The default job: sized to the text, nothing cut, no blank tail."""
    out = tool.tmp / "receipt.bmp"
    r = tool.run(sample, "-o", out)
    check(r.returncode == 0 and r.stderr == b"" and r.stdout == b"", f"default run succeeds quietly ({r.stderr!r})")
    with Image.open(out) as im:
        check(im.format == "BMP" and im.mode == "RGB", f"a 24-bit BMP ({im.mode})")
        box = ink_box(im)
        w, h = im.size
        check(box is not None and box[0] >= 4 and box[1] >= 4 and box[2] <= w - 4,
              f"margins of 4 around the ink {box} in {im.size}")
        check(box is not None and h - box[3] <= 4 + 2 + 5, f"no blank tail: {h - box[3]} rows below the ink")

    # Every size from 6 to 48 pt, a line that used to be cut at two sizes in five.
    line = "The quick brown fox jumps over lazy dogs."
    cut = []
    for size in range(6, 49, 3):
        r, path = tool.render(line + "\n", "--size", size, name="size.bmp")
        with Image.open(path) as im:
            box = ink_box(im)
            if r.returncode != 0 or box is None or box[0] < 4 or box[2] > im.width - 4 or box[1] < 4 \
                    or box[3] > im.height - 4:
                cut.append(size)
    check(not cut, f"no size cuts the line or its margins (cut at {cut})")

    # Right to left starts at the right edge; --align overrides.
    text = "hello there\n\u05e9\u05dc\u05d5\u05dd\n"
    r, path = tool.render(text, name="rtl.bmp")
    with Image.open(path) as im:
        top, bottom = im.crop((0, 0, im.width, im.height // 2)), im.crop((0, im.height // 2, im.width, im.height))
        check(r.returncode == 0 and ink_box(bottom)[2] > ink_box(top)[2] - 3 and ink_box(bottom)[0] > 8,
              f"Hebrew is set at the right ({ink_box(top)} over {ink_box(bottom)})")
    for align in ("left", "center", "right"):
        r, path = tool.render("x\nxxxxxxxxxx\n", "--align", align, name="align.bmp")
        with Image.open(path) as im:
            short = ink_box(im.crop((0, 0, im.width, im.height // 2)))
            wide = ink_box(im.crop((0, im.height // 2, im.width, im.height)))
            where = {"left": short[0] - wide[0], "center": (short[0] + short[2]) // 2 - (wide[0] + wide[2]) // 2,
                     "right": short[2] - wide[2]}[align]
            check(r.returncode == 0 and abs(where) <= 1, f"--align {align} ({short} against {wide})")

    # A fixed width: refused with the line named, or wrapped at spaces.
    long_line = "The quick brown fox jumps over the lazy dogs and runs far away.\n"
    r, _ = tool.render(long_line, "--width", "200", name="narrow.bmp")
    check(r.returncode == 3 and r.stderr.startswith(b"lumarin: line 1 is ") and b"wrap" in r.stderr,
          f"a line wider than --width is an error naming it ({r.stderr!r})")
    r, path = tool.render(long_line, "--width", "200", "--wrap", name="wrapped.bmp")
    with Image.open(path) as im:
        check(r.returncode == 0 and im.width == 200 and im.height > 3 * 15, f"--wrap keeps the width {im.size}")
        box = ink_box(im)
        check(box[0] >= 4 and box[2] <= 196, f"wrapped lines stay inside the margins {box}")

    # --dpi scales point sizes: 10 pt at 203 dpi is about 28 px, not 13.
    _, low = tool.render("Hx\n", name="dpi96.bmp")
    _, high = tool.render("Hx\n", "--dpi", "203", name="dpi203.bmp")
    with Image.open(low) as a, Image.open(high) as b:
        ha, hb = ink_box(a)[3] - ink_box(a)[1], ink_box(b)[3] - ink_box(b)[1]
        check(1.8 < hb / ha < 2.4, f"--dpi 203 draws about 2.1 times taller ({ha} px, {hb} px)")

    # The font's own line height, unless --line-spacing says otherwise.
    _, tight = tool.render("a\nb\nc\n", name="pitch.bmp")
    _, wide = tool.render("a\nb\nc\n", "--line-spacing", "40", name="pitch40.bmp")
    with Image.open(tight) as a, Image.open(wide) as b:
        check(b.height - a.height == 2 * (40 - 15), f"--line-spacing sets the pitch ({a.height}, {b.height})")

    # One save at the end by default; --every-line ends with the same file.
    for extra in [[], ["--mono"], ["--bold", "--underline", "--fg", "red"]]:
        once, each = tool.tmp / "once.bmp", tool.tmp / "each.bmp"
        r1 = tool.run(sample, "-o", once, *extra)
        r2 = tool.run(sample, "-o", each, "--every-line", *extra)
        check(r1.returncode == 0 and r2.returncode == 0 and once.read_bytes() == each.read_bytes(),
              f"--every-line ends with the same file as one save {extra}")

    piped = tool.run("-", "-o", tool.tmp / "piped.bmp", stdin=sample.read_bytes())
    crlf = tool.run("-o", tool.tmp / "crlf.bmp", stdin=sample.read_bytes().replace(b"\n", b"\r\n"))
    same = out.read_bytes() == (tool.tmp / "piped.bmp").read_bytes() == (tool.tmp / "crlf.bmp").read_bytes()
    check(piped.returncode == 0 and crlf.returncode == 0 and same, "standard input and CRLF give the same image")

    stdout = tool.run(sample, "-o", "-", "--format", "bmp")
    check(stdout.returncode == 0 and stdout.stdout == out.read_bytes(), "-o - --format bmp writes the file's bytes")


def test_formats(tool, sample):
    """PNG and PBM hold the same picture as the BMPs."""
    files = {}
    for name, extra in (("c.bmp", []), ("c.png", []), ("m.bmp", ["--mono"]), ("m.png", ["--mono"]), ("m.pbm", []),
                        ("f.img", ["--format", "png"])):
        r = tool.run(sample, "-o", tool.tmp / name, *extra)
        check(r.returncode == 0, f"writes {name} {extra} ({r.stderr!r})")
        files[name] = Image.open(tool.tmp / name)
    check(files["c.png"].format == "PNG" and files["c.png"].mode == "RGB" and
          files["c.png"].tobytes() == files["c.bmp"].tobytes(), "a colour PNG of the same pixels")
    for name in ("m.png", "m.pbm"):
        same = files[name].convert("1").tobytes() == files["m.bmp"].convert("1").tobytes()
        check(files[name].mode in ("1", "L") and same, f"{name} is the 1-bit picture ({files[name].mode})")
    check(files["f.img"].format == "PNG", "--format png whatever the name")
    stdout = tool.run(sample, "-o", "-", "--format", "png")
    check(stdout.returncode == 0 and stdout.stdout == (tool.tmp / "c.png").read_bytes(), "-o - --format png")
    for im in files.values():
        im.close()


def test_colours_and_styles(tool):
    text = "HELLO world\nsecond line\n"
    r, out = tool.render(text, "--fg", "RED", "--bg", "#0000ff", "--no-antialias")
    with Image.open(out) as im:
        colours = {p for p in im.convert("RGB").getdata()}
        check(r.returncode == 0 and colours == {(255, 0, 0), (0, 0, 255)},
              f"--fg RED on --bg #0000ff --no-antialias: exactly two colours, no grey edges ({len(colours)})")
    r, out = tool.render(text, "--fg", "#808080", "--antialias")
    with Image.open(out) as im:
        check(r.returncode == 0 and len({p for p in im.convert("RGB").getdata()}) > 3, "--antialias adds grey edges")

    # Text in any colour keeps its ink in 1 bit.
    for fg, bg in (("yellow", "white"), ("cyan", "white"), ("white", "black"), ("#102030", "green")):
        r, out = tool.render(text, "--mono", "--fg", fg, "--bg", bg, name="mono.bmp")
        with Image.open(out) as im:
            background = im.getpixel((0, 0))
            inked = sum(1 for p in im.getdata() if p != background)
            check(r.returncode == 0 and im.mode == "1" and inked > 100, f"--mono keeps {fg} on {bg} ({inked} pixels)")

    def ink_of(*args):
        _, path = tool.render(text, *args, name="style.bmp")
        with Image.open(path) as im:
            return ink(im, lambda p: p != (255, 255, 255))

    plain = ink_of()
    for flag in ("--bold", "--underline", "--strikethru"):
        check(ink_of(flag) > plain, f"{flag} adds ink")
    check(ink_of("--italic") != plain, "--italic changes the drawing")

    r, _ = tool.render("x\n", "--font", "No Such Family Anywhere")
    check(r.returncode == 0 and r.stderr.startswith(b"lumarin: warning: the font 'No Such Family Anywhere'")
          and r.stderr.count(b"\n") == 1, f"a missing family falls back with a warning ({r.stderr!r})")
    fonts = sorted(pathlib.Path("/usr/share/fonts").rglob("LiberationSerif-Regular.ttf"))
    if fonts:
        r1, serif = tool.render("Hamburgefonts\n", "--font", fonts[0], name="file.bmp")
        r2, named = tool.render("Hamburgefonts\n", "--font", "Liberation Serif", name="named.bmp")
        check(r1.returncode == 0 and r1.stderr == b"" and serif.read_bytes() == named.read_bytes(),
              f"a font file draws as its family ({r1.stderr!r})")
    else:
        print("skip a font file: LiberationSerif-Regular.ttf is not installed")


def test_compat(tool, sample):
    """--compat: the object's own job and its sizing rules, as before."""
    lines = sample.read_text(encoding="utf-8").splitlines()
    out = tool.tmp / "compat.bmp"
    r = tool.run(sample, "--compat", "-o", out)
    with Image.open(out) as im:
        check(r.returncode == 0 and im.size == expected_size(lines), f"--compat size {im.size} == {expected_size(lines)}")
    text = "HELLO world\nsecond line\n"
    r, out = tool.render(text, "--compat", "--size", "12", "--line-spacing", "20", "--top", "6", "--side", "10",
                         "--width-factor", "100")
    with Image.open(out) as im:
        want = expected_size(text.splitlines(), size=12, pitch=20, top=6, side=10, factor=100)
        check(r.returncode == 0 and im.size == want, f"--compat layout options shape the surface {im.size} == {want}")
    r, out = tool.render("x\n", "--compat", "--x", "-200", "--y", "0")
    with Image.open(out) as im:
        check(r.returncode == 0 and ink(im, lambda p: max(p) < 128) == 0, "--x moves text off the surface")
    for extra in [["--mono"], ["--bold", "--fg", "red", "--x", "3", "--y", "-2"]]:
        once, each = tool.tmp / "once.bmp", tool.tmp / "each.bmp"
        r1 = tool.run(sample, "--compat", "-o", once, *extra)
        r2 = tool.run(sample, "--compat", "-o", each, "--every-line", *extra)
        check(r1.returncode == 0 and r2.returncode == 0 and once.read_bytes() == each.read_bytes(),
              f"--compat --every-line ends with the same file {extra}")
    r, _ = tool.render("x\n", "--compat", "--line-spacing", "32767")
    check(r.returncode == 3 and r.stderr.startswith(b"lumarin: sizing the surface") and
          r.stderr.endswith(b"(error 6)\n"), f"--compat names the step that overflows ({r.stderr!r})")


def test_failures(tool):
    r = tool.run("-o", tool.tmp / "bad.bmp", stdin=b"fine\nfine\nbad \xff here\nfine\n")
    check(r.returncode == 3 and r.stderr == b"lumarin: line 3, byte 5 (byte 15 of the input): not valid UTF-8; give "
          b"--encoding if the text is in another encoding (for example --encoding CP1252)\n",
          f"bad UTF-8: exit 3 naming line 3 and the byte ({r.returncode} {r.stderr!r})")
    check(not (tool.tmp / "bad.bmp").exists(), "bad UTF-8 writes no file")

    target = tool.tmp / "no-such-folder" / "x.bmp"
    r = tool.run("-o", target, stdin=b"text\n")
    check(r.returncode == 4 and r.stderr == f"lumarin: -o {target}: cannot write {target}: Path not found (error 76)\n"
          .encode(), f"missing folder: exit 4, one line naming -o and error 76 ({r.returncode} {r.stderr!r})")

    r = tool.run(tool.tmp / "missing.txt", "-o", tool.tmp / "m.bmp")
    check(r.returncode == 4 and r.stderr.startswith(b"lumarin: cannot read ") and r.stderr.count(b"\n") == 1,
          f"a missing input: exit 4, a file that cannot be read ({r.returncode} {r.stderr!r})")
    r = tool.run(tool.tmp, "-o", tool.tmp / "m.bmp")
    check(r.returncode == 4 and r.stderr.startswith(b"lumarin: cannot read ") and r.stderr.count(b"\n") == 1,
          f"a folder as input: exit 4 ({r.returncode} {r.stderr!r})")
    r = tool.run("-o", tool.tmp / "empty.bmp", stdin=b"")
    check(r.returncode == 3 and r.stderr == b"lumarin: the input has no lines\n", "empty input: exit 3")

    r, path = tool.render("x\n", "--size", "410")
    check(r.returncode == 0 and path.exists(), f"--size 410 is drawn ({r.stderr!r})")
    r, _ = tool.render("a" * 100000 + "\n", name="huge.bmp")
    check(r.returncode == 3 and b"line 1 is wider than" in r.stderr and b"wrap" in r.stderr,
          f"a 100,000-character line says what to change ({r.stderr!r})")
    r, _ = tool.render("x\n" * 5000, "--size", "200", name="tall.bmp")
    check(r.returncode == 3 and b"5,000 lines at size 200" in r.stderr and not (tool.tmp / "tall.bmp").exists(),
          f"an image past the limits names lines and size ({r.stderr!r})")
    source = tool.tmp / "same.bmp"
    source.write_bytes(b"text\n")
    r = tool.run(source, "-o", source)
    check(r.returncode == 2 and b"is the input file" in r.stderr and source.read_bytes() == b"text\n",
          f"-o naming the input is refused, the text kept ({r.stderr!r})")

    # Control characters in a file name are escaped: an error is one line.
    target = tool.tmp / "no-such-folder" / "two\nlines\x1b[31m.bmp"
    r = tool.run("-o", target, stdin=b"text\n")
    name = f"{tool.tmp}/no-such-folder/two\\nlines\\x1B[31m.bmp"
    want = f"lumarin: -o {name}: cannot write {name}: Path not found (error 76)\n"
    check(r.returncode == 4 and r.stderr == want.encode(), f"a newline in the name stays in one line ({r.stderr!r})")
    r = tool.run(tool.tmp / "missing\r\n.txt", "-o", tool.tmp / "m.bmp")
    check(r.returncode == 4 and r.stderr.count(b"\n") == 1 and b"missing\\r\\n.txt" in r.stderr,
          f"an unreadable input's name is escaped too ({r.stderr!r})")


def test_escaped_names(tool):
    """Whatever a name holds, its message is one line that a terminal shows
    as it is: bytes that are not UTF-8 (a raw 0x9B is CSI to some
    terminals) as \\xNN, bidi controls as \\uNNNN, so that no name reads
    backwards."""
    folder = os.fsencode(tool.tmp)
    names = [
        (b"raw\x9b31m.txt", b"raw\\x9B31m.txt"),
        (b"bad\xff\xfe.txt", b"bad\\xFF\\xFE.txt"),
        ("rlo\u202etxt.exe".encode(), b"rlo\\u202Etxt.exe"),
        ("isolate\u2066x\u2069.txt".encode(), b"isolate\\u2066x\\u2069.txt"),
    ]
    for raw, shown in names:
        r = tool.run(folder + b"/missing-" + raw, "-o", tool.tmp / "m.bmp")
        want = b"lumarin: cannot read " + folder + b"/missing-" + shown + b": No such file or directory\n"
        check(r.returncode == 4 and r.stderr == want, f"an input named {raw!r} is shown escaped ({r.stderr!r})")
        r = tool.run("--colour-of-" + raw.decode("utf-8", "surrogateescape"), "-o", "x.bmp")
        check(r.returncode == 2 and r.stderr == b"lumarin: unknown option '--colour-of-" + shown + b"' (try --help)\n",
              f"an unknown option {raw!r} is shown escaped ({r.stderr!r})")
    target = tool.tmp / "no-such-folder" / "out\u202e.bmp"
    r = tool.run("-o", target, stdin=b"text\n")
    check(r.returncode == 4 and "\u202e".encode() not in r.stderr and b"out\\u202E.bmp" in r.stderr and
          r.stderr.count(b"\n") == 1, f"an output named with U+202E is shown escaped ({r.stderr!r})")
    r, _ = tool.render("x\n", "--font", "Nowhere \u202e\u2067 Sans")
    check(r.returncode == 0 and r.stderr.startswith(b"lumarin: warning: the font 'Nowhere \\u202E\\u2067 Sans'"),
          f"a warning escapes the family it names ({r.stderr!r})")


def test_closed_output(tool, sample):
    """-o - with standard output closed, or read by a reader that has
    gone: exit 4 and a message that says which, not "Disk full" or a
    silent death by SIGPIPE."""
    r = subprocess.run(["/bin/sh", "-c", 'exec "$0" "$@" >&-', tool.exe, sample, "--format", "bmp", "-o", "-"],
                       capture_output=True, env=tool.env)
    check(r.returncode == 4 and r.stderr == b"lumarin: cannot write standard output (closed)\n",
          f"a closed standard output: exit {r.returncode} ({r.stderr!r})")
    read_end, write_end = os.pipe()
    os.close(read_end)  # the reader has gone before the first byte
    try:
        # restore_signals leaves SIGPIPE at its default, as a shell does.
        r = subprocess.run([tool.exe, sample, "--format", "bmp", "-o", "-"], stdout=write_end, stderr=subprocess.PIPE,
                           env=tool.env)
    finally:
        os.close(write_end)
    check(r.returncode == 4 and r.stderr == b"lumarin: cannot write standard output (the reader has gone)\n",
          f"a reader that has gone: exit {r.returncode} ({r.stderr!r})")
    # --help and --version the same way.
    r = subprocess.run(["/bin/sh", "-c", 'exec "$0" --help >&-', tool.exe], capture_output=True, env=tool.env)
    check(r.returncode == 4 and r.stderr == b"lumarin: cannot write standard output (closed)\n",
          f"--help into a closed standard output: exit {r.returncode} ({r.stderr!r})")
    read_end, write_end = os.pipe()
    os.close(read_end)
    try:
        r = subprocess.run([tool.exe, "--version"], stdout=write_end, stderr=subprocess.PIPE, env=tool.env)
    finally:
        os.close(write_end)
    check(r.returncode == 4 and r.stderr == b"lumarin: cannot write standard output (the reader has gone)\n",
          f"--version to a reader that has gone: exit {r.returncode} ({r.stderr!r})")


def test_bounded_work(tool):
    """Input is read with a bound, and a job whose image cannot be made is
    refused before anything is drawn, naming lines, size and limit."""
    r = tool.run("/dev/zero", "-o", tool.tmp / "zero.bmp")
    check(r.returncode == 3 and r.stderr == b"lumarin: /dev/zero is larger than 64 MiB; split it into several jobs\n",
          f"an endless input stops at its bound ({r.stderr!r})")
    r = tool.run("-o", tool.tmp / "many.bmp", stdin=b"\n" * 32768)
    check(r.returncode == 3 and b"more than 32,767 lines" in r.stderr, f"more lines than an image holds ({r.stderr!r})")

    def lines(n, width=1):
        return ("x" * width + "\n").encode() * n

    # The object's job (--compat): each limit names the most lines that
    # fit, and that many do.
    cases = [
        ([], 2048, 1, b"lumarin: 2,048 lines: the last would lie at y = 32,768 px (2,048 x --line-spacing 16), past "
                      b"the renderer's 16-bit line position; at most 2,047 lines fit: Overflow (error 6)\n"),
        (["--size", "20", "--line-spacing", "10"], 2184, 1,
         b"lumarin: 2,184 lines: the image would be 24 x 65,539 px, past the limit of 65,535 px a side; at most "
         b"2,183 lines fit: Out of memory (error 7)\n"),
        ([], 322, 1000, b"lumarin: 322 lines: the image would be 8,008 x 8,397 px, past the limit of 64 Mi pixels; "
                        b"at most 321 lines fit: Out of memory (error 7)\n"),
    ]
    for args, n, width, message in cases:
        out = tool.tmp / "limit.bmp"
        r = tool.run("--compat", "-o", out, *args, stdin=lines(n, width))
        check(r.returncode == 3 and r.stderr == message and not out.exists(),
              f"{n} lines {args} refused before drawing ({r.stderr!r})")
        r = tool.run("--compat", "-o", out, *args, stdin=lines(n - 1, width))
        check(r.returncode == 0 and out.exists(), f"{n - 1} lines {args} fit, as the message says ({r.stderr!r})")
        out.unlink(missing_ok=True)
    r, _ = tool.render("x" * 100000 + "\n", "--compat")
    check(r.returncode == 3 and r.stderr.startswith(b"lumarin: the longest line, 100,000 code units at --size 10"),
          f"a line too long for the width names its length ({r.stderr!r})")


def test_file_size_limit(tool):
    """With SIGXFSZ at its default, as a shell leaves it, passing the
    file-size limit is error 61 with its message, not a silent kill."""
    out = tool.tmp / "limited.bmp"
    first = tool.run("-o", out, stdin=b"old\n")
    old = out.read_bytes()
    text = "".join(f"line {i} " + "w" * 60 + "\n" for i in range(300)).encode()
    r = subprocess.run(["/bin/sh", "-c", 'ulimit -f 64 && exec "$0" "$@"', tool.exe, "-o", out], input=text,
                       capture_output=True, env=tool.env)  # restore_signals puts SIGXFSZ back to its default
    check(first.returncode == 0 and r.returncode == 4 and
          r.stderr == f"lumarin: -o {out}: cannot write {out}: Disk full (error 61)\n".encode(),
          f"ulimit -f: exit 4 with error 61 ({r.returncode} {r.stderr!r})")
    check(out.read_bytes() == old and [n for n in os.listdir(tool.tmp) if "limited" in n] == ["limited.bmp"],
          "the file stays as it was, nothing beside it")


def test_usage(tool):
    bad = [
        ((), "no output"),
        (("-o",), "-o without a value"),
        (("--frobnicate", "-o", "x.bmp"), "unknown option"),
        (("--size", "ten", "-o", "x.bmp"), "non-numeric size"),
        (("--size", "0", "-o", "x.bmp"), "size below 1"),
        (("--size", "2049", "-o", "x.bmp"), "size above the canvas's largest font"),
        (("--line-spacing", "0", "-o", "x.bmp"), "a pitch of 0 would print every line over the last"),
        (("--side", "-10", "-o", "x.bmp"), "a negative margin would cut the text"),
        (("--fg", "purple", "-o", "x.bmp"), "an unknown colour"),
        (("--x", "3", "-o", "x.bmp"), "--x without --compat"),
        (("--compat", "--x", "2147483648", "-o", "x.bmp"), "32-bit range"),
        (("--compat", "--y=-2147483649", "-o", "x.bmp"), "32-bit range, --opt=value form"),
        (("--compat", "--fg", "#ff0000", "-o", "x.bmp"), "--compat knows names only"),
        (("a.txt", "b.txt", "-o", "x.bmp"), "two inputs"),
        (("-o", "x.jpg"), "an unknown extension"),
        (("-o", "-"), "standard output without --format"),
        (("-o", "x.bmp", "--format", "png"), "--format against the extension"),
        (("-o", "x.bmp", "--wrap"), "--wrap without --width"),
        (("-o", "x.bmp", "--mono", "--antialias"), "--antialias with --mono"),
        (("-o", "x.bmp", "--size", "100", "--dpi", "9600"), "a size and dpi past the largest font"),
    ]
    for args, what in bad:
        r = tool.run(*args, stdin=b"x\n")
        one_line = r.stderr.startswith(b"lumarin: ") and r.stderr.count(b"\n") == 1
        check(r.returncode == 2 and one_line and r.stdout == b"", f"usage error, {what}: exit 2 ({r.stderr!r})")
    check(b"one of black red green yellow blue magenta cyan white" in tool.run("--fg", "purple", "-o", "x.bmp").stderr,
          "an unknown colour lists the known names")

    r = tool.run("--help")
    check(r.returncode == 0 and r.stdout.startswith(b"Usage: lumarin") and r.stderr == b"", "--help: exit 0, stdout")
    r = tool.run("--version")
    check(r.returncode == 0 and re.fullmatch(rb"lumarin \d+\.\d+\.\d+\n", r.stdout) is not None, "--version")


def run_on_terminal(tool, args, stdin, columns):
    """What the tool writes to a terminal `columns` wide on its standard error."""
    controller, terminal = pty.openpty()
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    try:
        proc = subprocess.run([tool.exe, *map(str, args)], input=stdin, stdout=subprocess.DEVNULL,
                              stderr=terminal, env=tool.env)
        os.close(terminal)
        terminal = -1
        seen = b""
        while True:
            try:
                chunk = os.read(controller, 65536)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
    finally:
        os.close(controller)
        if terminal >= 0:
            os.close(terminal)
    return proc, seen


def test_terminal_input(tool):
    """Text typed at a terminal ends with one Ctrl-D."""
    controller, terminal = pty.openpty()
    proc = subprocess.Popen([tool.exe, "-o", tool.tmp / "typed.bmp"], stdin=terminal, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, env=tool.env)
    try:
        os.write(controller, b"typed at a terminal\n")
        os.write(controller, b"\x04")
        try:
            proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        check(proc.returncode == 0 and (tool.tmp / "typed.bmp").exists(), "one Ctrl-D ends input at a terminal")
    finally:
        os.close(controller)
        os.close(terminal)


def test_progress(tool):
    text = "".join(f"line {i}\n" for i in range(250)).encode()
    quiet = tool.run("-o", tool.tmp / "long.bmp", stdin=text)
    check(quiet.returncode == 0 and quiet.stderr == b"", "no progress bar when stderr is no terminal")
    for columns in (80, 60, 30, 12):
        proc, seen = run_on_terminal(tool, ["-o", tool.tmp / "long.bmp"], text, columns)
        # Each redraw is a carriage return, at most columns - 1 characters
        # and a clear to the end of the line; nothing ever starts a new line.
        draws = [d[:-3] for d in seen.split(b"\r")[1:] if d.endswith(b"\033[K")]
        fits = all(len(d) <= columns - 1 for d in draws)
        check(proc.returncode == 0 and b"\n" not in seen and fits and seen.endswith(b"\r\033[K") and
              any(b"100%" in d for d in draws), f"a bar {columns} columns wide, one line, wiped at the end")
    # A folder where the file should be is found only by the save, after
    # drawing; a missing folder before (no bar at all).
    (tool.tmp / "folder.bmp").mkdir()
    proc, seen = run_on_terminal(tool, ["-o", tool.tmp / "folder.bmp"], text, 80)
    check(proc.returncode == 4 and b"\r\033[Klumarin: -o " in seen, "the bar is wiped before an error")
    proc, seen = run_on_terminal(tool, ["-o", tool.tmp / "no-such" / "x.bmp"], text, 80)
    check(proc.returncode == 4 and seen.startswith(b"lumarin: -o ") and b"%" not in seen,
          f"a missing folder is reported before any line is drawn ({seen[:40]!r})")

    # --wrap draws more lines than the input has: the bar stays full, never
    # runs past 100 %, and the job finishes.
    words = " ".join(["wrapping"] * 12)
    text = "".join(f"{i} {words}\n" for i in range(200)).encode()
    proc, seen = run_on_terminal(tool, ["--width", "200", "--wrap", "-o", tool.tmp / "wrapped.bmp"], text, 80)
    draws = [d[:-3] for d in seen.split(b"\r")[1:] if d.endswith(b"\033[K")]
    percents = [int(m) for d in draws for m in re.findall(rb"(\d+)%", d)]
    check(proc.returncode == 0 and percents and max(percents) == 100 and all(len(d) <= 79 for d in draws),
          f"--wrap at a terminal: exit {proc.returncode}, the bar at most 100 % ({percents[-3:]})")


def run_all(exe, *tests):
    """Runs each test with a Tool in a scratch folder; the exit status."""
    with tempfile.TemporaryDirectory() as tmp:
        tool = Tool(exe, tmp)
        for test in tests:
            test(tool)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


def main() -> int:
    exe, sample = sys.argv[1], pathlib.Path(sys.argv[2])
    return run_all(exe, lambda t: test_measured_layout(t, sample), lambda t: test_formats(t, sample),
                   test_colours_and_styles, lambda t: test_compat(t, sample), test_failures, test_escaped_names,
                   lambda t: test_closed_output(t, sample), test_bounded_work, test_file_size_limit, test_usage,
                   test_terminal_input, test_progress)


if __name__ == "__main__":
    sys.exit(main())
