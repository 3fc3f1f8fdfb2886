#!/usr/bin/env python3
"""What the lumarin command writes and says about its output: the
resolution the files state, standard output by name and to a reader that
has gone, output folders checked before drawing, options given twice, a
text colour that would not show.
Usage: output_test.py LUMARIN"""
import os
import pathlib
import signal
import struct
import subprocess
import sys
import tempfile

from PIL import Image

from cli_test import check, run_all


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


def test_standard_output_by_name(tool):
    """-o /dev/stdout and its other names point to -o -."""
    for name in ("/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"):
        r = subprocess.run([tool.exe, "-o", name, "--format", "bmp"], input=b"x\n", stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, env=tool.env)
        check(r.returncode == 2 and b"give -o - with --format" in r.stderr and r.stderr.count(b"\n") == 1 and
              r.stdout == b"", f"-o {name} into a pipe says to give -o - ({r.returncode} {r.stderr!r})")


def test_given_twice(tool):
    """-o, --format and --encoding given twice with two values are refused,
    naming both; the drawing options' last value wins."""
    a, b = tool.tmp / "a.bmp", tool.tmp / "b.bmp"
    for args, option, values in (
            (["-o", a, f"--output={b}"], "-o", (a, b)),
            (["-o", "-", "--format", "bmp", "--format=png"], "--format", ("bmp", "png")),
            (["-o", a, "--encoding", "CP437", "--encoding", "CP1252"], "--encoding", ("CP437", "CP1252"))):
        r = tool.run(*args, stdin=b"x\n")
        want = f"lumarin: {option} is given twice ('{values[0]}' and '{values[1]}'): give it once\n".encode()
        check(r.returncode == 2 and r.stderr == want and not a.exists() and not b.exists(),
              f"{option} twice is a usage error naming both ({r.stderr!r})")
    r = tool.run("-o", tool.tmp / "same.bmp", "--output", tool.tmp / "same.bmp", stdin=b"x\n")
    check(r.returncode == 0, f"the same -o twice is no conflict ({r.stderr!r})")
    _, once = tool.render("x\n", "--size", "20", name="once.bmp")
    r, twice = tool.render("x\n", "--size", "8", "--size", "20", name="twice.bmp")
    check(r.returncode == 0 and once.read_bytes() == twice.read_bytes(), "a later --size replaces an earlier one")


def exits_without_reading(argv, env, preexec=None):
    """Runs with standard input open and never written: a check made before
    the input is read ends the run; else it waits (and is killed)."""
    proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env,
                            preexec_fn=preexec)
    try:
        proc.wait(timeout=60)  # a hang's bound, not a measure
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
    err = proc.stderr.read()
    proc.stdin.close()
    proc.stderr.close()
    return proc.returncode, err


def test_output_folder_checked_first(tool):
    """A missing or unwritable folder is reported before the input is read
    or anything drawn, with the message the save gives; nothing is made."""
    for target in (tool.tmp / "no-such-folder" / "x.png", tool.tmp / "a-file" / "x.png"):
        (tool.tmp / "a-file").write_bytes(b"")
        status, err = exits_without_reading([tool.exe, "-o", target], tool.env)
        want = f"lumarin: -o {target}: cannot write {target}: Path not found (error 76)\n".encode()
        check(status == 4 and err == want, f"{target.parent.name}: exit 4 before reading ({status} {err!r})")

    # A folder this user cannot write in: root can (the save would succeed);
    # an ordinary user is told before drawing, and nothing is left there.
    shared = pathlib.Path(tempfile.mkdtemp(prefix="lumarin-ro-"))
    try:
        shared.chmod(0o755)
        locked = shared / "locked"
        locked.mkdir(mode=0o555)
        locked.chmod(0o555)
        target = locked / "x.bmp"
        if os.geteuid() == 0:
            r = tool.run("-o", target, stdin=b"x\n")
            check(r.returncode == 0 and target.exists(), f"root writes in a read-only folder ({r.stderr!r})")
            target.unlink(missing_ok=True)
            nobody = 65534

            def as_nobody():
                os.setgroups([])
                os.setgid(nobody)
                os.setuid(nobody)
            preexec = as_nobody
        else:
            preexec = None
        status, err = exits_without_reading([tool.exe, "-o", str(target)], tool.env, preexec)
        want = f"lumarin: -o {target}: cannot write {target}: Permission denied (error 70)\n".encode()
        check(status == 4 and err == want and not any(locked.iterdir()),
              f"an ordinary user: exit 4 before reading, nothing made ({status} {err!r})")
    finally:
        (shared / "locked").chmod(0o755)
        for path in sorted(shared.rglob("*"), reverse=True):
            path.unlink() if path.is_file() else path.rmdir()
        shared.rmdir()


def test_same_colours(tool):
    """--fg the same as --bg: drawn (it may be meant), with one warning
    naming the colour."""
    r, out = tool.render("x\n", "--fg", "White", "--bg", "#ffffff", name="blank.bmp")
    check(r.returncode == 0 and out.exists() and
          r.stderr == b"lumarin: warning: the text and the background are both #FFFFFF: the text will not show\n",
          f"the same colours warn once ({r.stderr!r})")
    r, _ = tool.render("x\n", "--fg", "white", "--bg", "black", name="fine.bmp")
    check(r.returncode == 0 and r.stderr == b"", "different colours: no warning")


def test_reader_gone_with_sigpipe_ignored(tool):
    """With SIGPIPE ignored by whoever started it (trap '' PIPE), a reader
    that has gone is said as when SIGPIPE is at its default (cli_test.py)."""
    read_end, write_end = os.pipe()
    os.close(read_end)
    try:
        r = subprocess.run([tool.exe, "--format", "png", "-o", "-"], input=b"x\n" * 400, stdout=write_end,
                           stderr=subprocess.PIPE, env=tool.env,
                           preexec_fn=lambda: signal.signal(signal.SIGPIPE, signal.SIG_IGN))
    finally:
        os.close(write_end)
    check(r.returncode == 4 and r.stderr == b"lumarin: cannot write standard output (the reader has gone)\n",
          f"SIGPIPE ignored: exit {r.returncode} ({r.stderr!r})")


def main() -> int:
    return run_all(sys.argv[1], test_resolution, test_standard_output_by_name, test_given_twice,
                   test_output_folder_checked_first, test_same_colours, test_reader_gone_with_sigpipe_ignored)


if __name__ == "__main__":
    sys.exit(main())
