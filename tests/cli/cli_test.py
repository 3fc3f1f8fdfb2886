#!/usr/bin/env python3
"""The lumarin tool as a user runs it: images it writes (read back with
Pillow), exit statuses and the one-line messages.
Usage: cli_test.py LUMARIN SAMPLE.txt"""
import os
import pathlib
import pty
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
        return subprocess.run([self.exe, *map(str, args)], input=stdin, capture_output=True, env=self.env)

    def render(self, text, *args, name="out.bmp"):
        out = self.tmp / name
        result = self.run("-o", out, *args, stdin=text.encode("utf-8"))
        return result, out


def test_images(tool, sample):
    lines = sample.read_text(encoding="utf-8").splitlines()
    out = tool.tmp / "receipt.bmp"
    r = tool.run(sample, "-o", out)
    check(r.returncode == 0 and r.stderr == b"" and r.stdout == b"", f"default run succeeds quietly ({r.stderr!r})")
    with Image.open(out) as im:
        check(im.format == "BMP" and im.mode == "RGB", f"a 24-bit BMP ({im.mode})")
        check(im.size == expected_size(lines), f"size {im.size} == {expected_size(lines)}")
        check(im.getpixel((0, 0)) == (255, 255, 255), "white background")
        dark = ink(im, lambda p: max(p) < 100)
        check(dark > 300, f"black text is drawn ({dark} dark pixels)")

    mono = tool.tmp / "receipt-mono.bmp"
    r = tool.run(sample, "--mono", "-o", mono)
    raw = mono.read_bytes()
    check(r.returncode == 0 and raw[:2] == b"BM" and int.from_bytes(raw[28:30], "little") == 1,
          "--mono writes a 1-bit BMP")
    with Image.open(mono) as im:
        check(im.mode == "1" and im.size == expected_size(lines), f"Pillow reads it as 1-bit {im.mode} {im.size}")

    piped = tool.run("-", "-o", tool.tmp / "piped.bmp", stdin=sample.read_bytes())
    bare = tool.run("-o", tool.tmp / "bare.bmp", stdin=sample.read_bytes())
    same = out.read_bytes() == (tool.tmp / "piped.bmp").read_bytes() == (tool.tmp / "bare.bmp").read_bytes()
    check(piped.returncode == 0 and bare.returncode == 0 and same, "'-' and no FILE read standard input alike")

    # One save at the end by default; --every-line saves after each line and
    # ends with the same file, colour and 1-bit, in any style.
    for extra in [[], ["--mono"], ["--bold", "--underline", "--fg", "red", "--x", "3", "--y", "-2"]]:
        once, each = tool.tmp / "once.bmp", tool.tmp / "each.bmp"
        r1 = tool.run(sample, "-o", once, *extra)
        r2 = tool.run(sample, "-o", each, "--every-line", *extra)
        check(r1.returncode == 0 and r2.returncode == 0 and once.read_bytes() == each.read_bytes(),
              f"--every-line ends with the same file as one save {extra}")

    crlf = tool.run("-o", tool.tmp / "crlf.bmp", stdin=sample.read_bytes().replace(b"\n", b"\r\n"))
    check(crlf.returncode == 0 and (tool.tmp / "crlf.bmp").read_bytes() == out.read_bytes(),
          "CRLF line ends give the same image as LF")


def test_style_options(tool):
    text = "HELLO world\nsecond line\n"
    lines = text.splitlines()
    r, out = tool.render(text, "--size", "12", "--line-spacing", "20", "--top", "6", "--side", "10",
                         "--width-factor", "100")
    with Image.open(out) as im:
        want = expected_size(lines, size=12, pitch=20, top=6, side=10, factor=100)
        check(r.returncode == 0 and im.size == want, f"size and layout options shape the surface {im.size} == {want}")

    r, out = tool.render(text, "--fg", "RED", "--bg", "blue")
    with Image.open(out) as im:
        check(im.getpixel((0, 0)) == (0, 0, 255), "--bg blue paints the background")
        reds = ink(im, lambda p: p[0] > 200 and p[1] < 60)
        check(reds > 50, f"--fg RED (any case) draws red text ({reds} pixels)")

    r, out = tool.render(text, "--fg", "no-such-colour")
    with Image.open(out) as im:
        check(r.returncode == 0 and ink(im, lambda p: max(p) < 100) > 50, "an unknown colour name falls back to black")

    def dark_of(*args):
        _, path = tool.render(text, *args, name="style.bmp")
        with Image.open(path) as im:
            return sum(765 - sum(p) for p in im.convert("RGB").getdata())  # antialiased ink counts by darkness

    plain = dark_of()
    check(plain > 0, "plain text has ink")
    for flag in ("--bold", "--underline", "--strikethru"):
        check(dark_of(flag) > plain, f"{flag} adds ink")
    check(dark_of("--italic") != plain, "--italic changes the drawing")

    r, out = tool.render("x\n", "--x", "-200", "--y", "0")
    with Image.open(out) as im:
        check(r.returncode == 0 and ink(im, lambda p: max(p) < 128) == 0, "--x moves text off the surface")


def test_failures(tool):
    r = tool.run("-o", tool.tmp / "bad.bmp", stdin=b"fine\nfine\nbad \xff here\nfine\n")
    check(r.returncode == 3 and r.stderr == b"lumarin: line 3 is not valid UTF-8\n",
          f"bad UTF-8: exit 3 naming line 3 ({r.returncode} {r.stderr!r})")
    check(not (tool.tmp / "bad.bmp").exists(), "bad UTF-8 writes no file")

    target = tool.tmp / "no-such-folder" / "x.bmp"
    r = tool.run("-o", target, stdin=b"text\n")
    check(r.returncode == 4 and r.stderr == f"lumarin: cannot write {target}: Path not found (error 76)\n".encode(),
          f"missing folder: exit 4, one line with error 76 ({r.returncode} {r.stderr!r})")

    r = tool.run(tool.tmp / "missing.txt", "-o", tool.tmp / "m.bmp")
    check(r.returncode == 3 and r.stderr.startswith(b"lumarin: cannot read ") and r.stderr.count(b"\n") == 1,
          f"unreadable input: exit 3 ({r.stderr!r})")
    r = tool.run("-o", tool.tmp / "empty.bmp", stdin=b"")
    check(r.returncode == 3 and r.stderr == b"lumarin: the input has no lines\n", "empty input: exit 3")

    r, _ = tool.render("x\n", "--size", "2100", "--width-factor", "1")
    check(r.returncode == 3 and r.stderr.endswith(b"(error 380)\n"), f"a size the canvas refuses: exit 3 ({r.stderr!r})")
    r, _ = tool.render("x\n", "--line-spacing", "32767")
    check(r.returncode == 3 and r.stderr == b"lumarin: Overflow (error 6)\n", f"renderer Overflow: exit 3 ({r.stderr!r})")

    # Control characters in a file name are escaped: an error is one line.
    target = tool.tmp / "no-such-folder" / "two\nlines\x1b[31m.bmp"
    r = tool.run("-o", target, stdin=b"text\n")
    want = f"lumarin: cannot write {tool.tmp}/no-such-folder/two\\nlines\\x1B[31m.bmp: Path not found (error 76)\n"
    check(r.returncode == 4 and r.stderr == want.encode(), f"a newline in the name stays in one line ({r.stderr!r})")
    r = tool.run(tool.tmp / "missing\r\n.txt", "-o", tool.tmp / "m.bmp")
    check(r.returncode == 3 and r.stderr.count(b"\n") == 1 and b"missing\\r\\n.txt" in r.stderr,
          f"an unreadable input's name is escaped too ({r.stderr!r})")


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

    # Each limit names the most lines that fit, and that many do.
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
        r = tool.run("-o", out, *args, stdin=lines(n, width))
        check(r.returncode == 3 and r.stderr == message and not out.exists(),
              f"{n} lines {args} refused before drawing ({r.stderr!r})")
        r = tool.run("-o", out, *args, stdin=lines(n - 1, width))
        check(r.returncode == 0 and out.exists(), f"{n - 1} lines {args} fit, as the message says ({r.stderr!r})")
        out.unlink(missing_ok=True)
    r, _ = tool.render("x" * 100000 + "\n")
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
          r.stderr == f"lumarin: cannot write {out}: Disk full (error 61)\n".encode(),
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
        (("--side", "32768", "-o", "x.bmp"), "16-bit range"),
        (("--x", "2147483648", "-o", "x.bmp"), "32-bit range"),
        (("--y=-2147483649", "-o", "x.bmp"), "32-bit range, --opt=value form"),
        (("a.txt", "b.txt", "-o", "x.bmp"), "two inputs"),
    ]
    for args, what in bad:
        r = tool.run(*args, stdin=b"x\n")
        one_line = r.stderr.startswith(b"lumarin: ") and r.stderr.count(b"\n") == 1
        check(r.returncode == 2 and one_line and r.stdout == b"", f"usage error, {what}: exit 2 ({r.stderr!r})")

    r = tool.run("--help")
    check(r.returncode == 0 and r.stdout.startswith(b"Usage: lumarin") and r.stderr == b"", "--help: exit 0, stdout")
    r = tool.run("--version")
    check(r.returncode == 0 and re.fullmatch(rb"lumarin \d+\.\d+\.\d+\n", r.stdout) is not None, "--version")


def test_progress(tool):
    text = "".join(f"line {i}\n" for i in range(250)).encode()
    quiet = tool.run("-o", tool.tmp / "long.bmp", stdin=text)
    check(quiet.returncode == 0 and quiet.stderr == b"", "no progress bar when stderr is no terminal")

    controller, terminal = pty.openpty()
    try:
        proc = subprocess.run([tool.exe, "-o", tool.tmp / "long.bmp"], input=text, stdout=subprocess.DEVNULL,
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
    check(proc.returncode == 0 and b"100%" in seen and seen.endswith(b"\r\033[K"),
          f"a progress bar on a terminal, wiped at the end ({len(seen)} bytes)")


def main() -> int:
    exe, sample = sys.argv[1], pathlib.Path(sys.argv[2])
    with tempfile.TemporaryDirectory() as tmp:
        tool = Tool(exe, tmp)
        test_images(tool, sample)
        test_style_options(tool)
        test_failures(tool)
        test_bounded_work(tool)
        test_file_size_limit(tool)
        test_usage(tool)
        test_progress(tool)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
