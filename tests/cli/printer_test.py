#!/usr/bin/env python3
"""The command as a printer's driver: --list-printers; the bytes of every
command set decoded (tests/printer_decode.py) and compared dot for dot
with the 1-bit PNG of the same arguments; the profile overrides; and --to:
a fake network printer on 127.0.0.1 that takes the whole job, one that
closes after some bytes, one that stops reading, a refused port, a pty
standing in for a device, and what is refused as a destination.
Usage: printer_test.py LUMARIN SAMPLE.txt"""
import os
import pathlib
import pty
import re
import select
import signal
import socket
import shutil
import subprocess
import sys
import termios
import threading
import time

from PIL import Image

import cli_test
from cli_test import run_all

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from printer_decode import DecodeError, decode  # noqa: E402

# Any hang is a failure long before this; no check depends on the clock.
HANG_GUARD = 120

RECEIPT = ("Coffee\t3.50\nBagel with cream cheese\t12.25\n\n\n\nTotal\t15.75\n"
           "Thank you! \u05e9\u05dc\u05d5\u05dd\n")


def check(ok, what):
    """cli_test's check, returning whether it held."""
    cli_test.check(bool(ok), what)
    return bool(ok)


def run(tool, *args, stdin=None):
    """The command with `args`; a run past HANG_GUARD raises TimeoutExpired."""
    argv = [str(a) for a in args]
    return subprocess.run([tool.exe, *argv], input=stdin, capture_output=True, env=tool.env, timeout=HANG_GUARD)


def black_rows(path):
    """A 1-bit picture's rows as integers, bit x set where pixel x is black; and its size."""
    with Image.open(path) as im:
        check(im.mode == "1", f"{path.name} is 1-bit ({im.mode})")
        w, h = im.size
        px = im.convert("L").load()
        return [sum(1 << x for x in range(w) if px[x, y] == 0) for y in range(h)], (w, h)


class Printed:
    """The same arguments as a printer's bytes and as a PNG, decoded and compared."""

    count = 0

    def __init__(self, tool, text, args, command_set="escpos", bytes_format=None, dots=576, dpi=203, margin=0,
                 cut=True):
        Printed.count += 1
        self.name = f"{' '.join(map(str, args))}" + (f" --format {bytes_format}" if bytes_format else "")
        self.job = tool.tmp / f"job{Printed.count}.bin"
        picture = tool.tmp / f"job{Printed.count}.png"
        fmt = ["--format", bytes_format] if bytes_format else []
        self.r = run(tool, *args, *fmt, "-o", self.job, stdin=text.encode())
        self.p = run(tool, *args, "--format", "png", "-o", picture, stdin=text.encode())
        self.ok = check(self.r.returncode == 0 and self.p.returncode == 0,
                        f"[{self.name}] bytes and picture written ({self.r.stderr!r} {self.p.stderr!r})")
        if not self.ok:
            return
        self.bytes = self.job.read_bytes()
        self.rows, self.size = black_rows(picture)
        self.command_set, self.dots, self.dpi, self.margin, self.cut = command_set, dots, dpi, margin, cut

    def compare(self, band=240):
        """The decoded page against the PNG; the page or None."""
        if not self.ok:
            return None
        try:
            pages = decode(self.bytes, self.command_set, dpi=self.dpi, width=self.dots)
        except DecodeError as e:
            check(False, f"[{self.name}] decodes as {self.command_set}: {e}")
            return None
        if not check(len(pages) == 1, f"[{self.name}] one page ({pages})"):
            return None
        page = pages[0]
        width, height = self.size
        tail = 0 if self.cut or self.command_set == "star" else self.dpi * 3 // 4
        check(width + self.margin <= self.dots, f"[{self.name}] the picture, {width} dots, fits beside the margin")
        check(page.cut == ("partial" if self.cut else None), f"[{self.name}] cut: {page.cut}")
        check(page.height == height + tail, f"[{self.name}] {page.height} rows printed and fed; {height} + {tail}")
        rows = page.rows + [0] * height
        bad = [y for y in range(height) if rows[y] != self.rows[y] << self.margin]
        check(not bad and any(self.rows), f"[{self.name}] the dots are the PNG's (rows {bad[:6]} differ)")
        tall = [p for p in page.prints if p[2] > max(band, 24 if self.command_set == "escpos-bitimage" else 0)]
        check(not tall, f"[{self.name}] no command taller than {band} rows ({tall[:3]})")
        return page


def test_list_printers(tool):
    r = run(tool, "--list-printers")
    lines = r.stdout.decode().splitlines()
    check(r.returncode == 0 and r.stderr == b"", f"--list-printers exits 0 quietly ({r.returncode} {r.stderr!r})")
    check(lines and lines[0].split() == ["NAME", "DOTS", "DPI", "COMMANDS", "BAND", "CUTTER", "MARGIN", "DESCRIPTION"],
          f"a header naming the columns ({lines[:1]})")
    rows = {line.split()[0]: line.split()[1:7] for line in lines[1:]}
    want = {"58mm": ["384", "203", "escpos"], "80mm": ["576", "203", "escpos"], "80mm-180": ["512", "180", "escpos"],
            "640": ["640", "203", "escpos"], "star-576": ["576", "203", "star"], "star-832": ["832", "203", "star"]}
    check(sorted(rows) == sorted(want) and all(rows[n][:3] == w and rows[n][3:] == ["240", "yes", "0"]
                                               for n, w in want.items()),
          f"one row a profile: dots, dpi, commands, band, cutter, margin ({rows})")
    check(all(len(line.split()) > 7 for line in lines[1:]), "each row has a description")


def test_command_sets(tool, sample):
    """Every profile and command set prints the PNG of the same arguments."""
    text = sample.read_text(encoding="utf-8")
    for profile, dots, dpi, command_set in (("58mm", 384, 203, "escpos"), ("80mm", 576, 203, "escpos"),
                                           ("80mm-180", 512, 180, "escpos"), ("640", 640, 203, "escpos"),
                                           ("star-576", 576, 203, "star"), ("star-832", 832, 203, "star")):
        Printed(tool, text, ["--printer", profile, "--wrap"], command_set, dots=dots, dpi=dpi).compare()
    # Without --printer a printer --format lays out for 80mm, or star-576 for star.
    for fmt in ("escpos", "escpos-graphics", "escpos-bitimage", "star"):
        job = Printed(tool, text, ["--printer", "star-576" if fmt == "star" else "80mm", "--wrap"], fmt, fmt)
        job.compare()
        plain = run(tool, "--wrap", "--format", fmt, "-o", "-", stdin=text.encode())
        check(job.ok and plain.returncode == 0 and plain.stdout == job.bytes,
              f"--format {fmt} -o - alone writes the same bytes ({plain.returncode} {plain.stderr!r})")
    # Styles whose ink reaches past a line's letters, blank lines, a dark
    # background (which prints), big type across band edges.
    for args in (["--underline", "--strikethru", "--bold"], ["--italic", "--size", "24"],
                 ["--line-spacing", "90", "--size", "30"], ["--bg", "black", "--fg", "white"],
                 ["--bg", "yellow", "--fg", "#fefefe"], ["--columns", "40", "--tabs", "r:end"]):
        for fmt in ("escpos", "escpos-bitimage", "star"):
            printer = "star-576" if fmt == "star" else "58mm"
            dots = 576 if fmt == "star" else 384
            Printed(tool, RECEIPT, ["--printer", printer, "--wrap", *args], fmt, fmt, dots=dots).compare()


def test_overrides(tool):
    """--dots, --band-rows, --left-margin, --cut/--no-cut, --dpi and --width."""
    text = RECEIPT * 3
    base = ["--printer", "58mm", "--wrap", "--size", "14"]
    for fmt in ("escpos", "escpos-graphics", "escpos-bitimage", "star"):
        args = base + ["--dots", "300", "--band-rows", "30", "--left-margin", "13", "--no-cut", "--dpi", "180",
                       "--width", "250"]
        job = Printed(tool, text, args, fmt, fmt, dots=300, dpi=180, margin=13, cut=False)
        page = job.compare(band=30)
        if page:
            check(job.size[0] == 250, f"[{job.name}] --width 250 within the 287 printable ({job.size})")
        # --cut after --no-cut: the later one holds.
        Printed(tool, text, base + ["--left-margin", "5", "--no-cut", "--cut"], fmt, fmt, dots=384,
                margin=5).compare()

    def refused(args, words, status=2):
        r = run(tool, *args, "-o", tool.tmp / "refused.bin", stdin=b"x\n")
        msg = r.stderr.decode("utf-8", "replace")
        check(r.returncode == status and msg.count("\n") == 1 and all(w in msg for w in words),
              f"{args} refused with {words} ({r.returncode} {msg!r})")
        check(not (tool.tmp / "refused.bin").exists(), f"{args} leaves no file")

    refused(["--printer", "58mm", "--width", "385"], ["385", "384", "58mm"])
    refused(["--printer", "58mm", "--dots", "300", "--left-margin", "1", "--width", "300"], ["300", "299"])
    refused(["--printer", "99mm"], ["99mm", "58mm", "80mm", "star-832"])
    refused(["--printer", "58mm", "--band-rows", "0"], ["--band-rows"])
    refused(["--printer", "58mm", "--dots", "64", "--left-margin", "64"], ["margin", "64"])
    refused(["--format", "escpos", "--dpi", "300"], ["300 dpi"])
    refused(["--printer", "58mm", "--format", "escpos", "--format", "star"], ["--format"])
    refused(["--printer", "58mm", "--compat"], ["--compat"])


class FakePrinter:
    """A network printer's raw port on 127.0.0.1, served from a thread:
    it reads everything (read_limit None), reads `read_limit` bytes and
    closes, or reads nothing and holds the connection until stopped."""

    def __init__(self, read_limit=None, reads=True, rcvbuf=None):
        self.server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if rcvbuf:
            # Before listen, so that the accepted socket's window starts small.
            self.server.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(1)
        self.port = self.server.getsockname()[1]
        self.read_limit, self.reads = read_limit, reads
        self.received = bytearray()
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        conn, _ = self.server.accept()
        with conn:
            if not self.reads:
                self.stop.wait(HANG_GUARD)
                return
            while self.read_limit is None or len(self.received) < self.read_limit:
                want = 65536 if self.read_limit is None else min(65536, self.read_limit - len(self.received))
                chunk = conn.recv(want)
                if not chunk:
                    break
                self.received += chunk
            if self.read_limit is not None:
                # Our FIN acknowledges all we were sent, as the other end
                # cannot otherwise know what reached us when a delayed ACK
                # has not left yet; closing with bytes unread then resets.
                conn.shutdown(socket.SHUT_WR)

    def close(self):
        self.stop.set()
        self.thread.join(HANG_GUARD)
        self.server.close()

    @property
    def address(self):
        return f"tcp://127.0.0.1:{self.port}"


def one_line(r):
    return r.stderr.count(b"\n") == 1 and r.stderr.startswith(b"lumarin: ")


def big_job(tool):
    """A job of about 8 MB, past what the two sockets' buffers hold, and its bytes."""
    text = "".join(f"line {i} of a long job\n" for i in range(1000))
    args = ["--printer", "80mm", "--dots", "1000", "--bg", "black", "--fg", "white", "--size", "20"]
    r = run(tool, *args, "-o", "-", stdin=text.encode())
    # The most a socket's send buffer grows to, and a megabyte for the rest.
    wmem = int(pathlib.Path("/proc/sys/net/ipv4/tcp_wmem").read_text().split()[2])
    check(r.returncode == 0 and len(r.stdout) > wmem + 2**20, f"a job of {len(r.stdout):,} bytes, past {wmem:,}")
    return text, args, r.stdout


def test_network(tool, sample):
    text = sample.read_text(encoding="utf-8")
    args = ["--printer", "58mm", "--wrap"]
    job = Printed(tool, text, args, dots=384)

    printer = FakePrinter()
    r = run(tool, *args, "--to", printer.address, "--timeout", "20", stdin=text.encode())
    printer.close()
    check(r.returncode == 0 and r.stderr == b"" and r.stdout == b"",
          f"a network printer takes the job quietly ({r.returncode} {r.stderr!r})")
    check(job.ok and bytes(printer.received) == job.bytes,
          f"it receives exactly the bytes -o writes ({len(printer.received)} of {len(job.bytes) if job.ok else '?'})")
    if job.ok and bytes(printer.received) == job.bytes:
        job.compare()
    # The default port is 9100; an address that is not one is a usage error.
    r = run(tool, *args, "--to", "tcp://127.0.0.1:99999", stdin=b"x\n")
    check(r.returncode == 2 and b"65535" in r.stderr and one_line(r), f"a port past 65535 ({r.stderr!r})")

    # A port no one listens on.
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    r = run(tool, *args, "--to", f"tcp://127.0.0.1:{port}", "--timeout", "5", stdin=text.encode())
    check(r.returncode == 5 and b"refused" in r.stderr and one_line(r),
          f"a refused connection: exit 5, one line saying refused ({r.returncode} {r.stderr!r})")

    text, big_args, whole = big_job(tool)
    for limit in (1000, 300000):
        printer = FakePrinter(read_limit=limit, rcvbuf=8192)
        r = run(tool, *big_args, "--to", printer.address, "--timeout", "20", stdin=text.encode())
        printer.close()
        counts = [int(m.replace(b",", b"")) for m in re.findall(rb"([\d,]+) bytes? had reached", r.stderr)]
        check(r.returncode == 5 and one_line(r) and len(counts) == 1 and limit <= counts[0] < len(whole),
              f"a printer closing after {limit:,} bytes: exit 5 and the bytes that reached it, at least {limit:,} "
              f"and fewer than {len(whole):,} ({r.returncode} {r.stderr!r})")
        check(bytes(printer.received) == whole[:len(printer.received)], "what it took is the job's start")

    # A printer that stops reading: the time-out ends the job, whether the
    # job is larger than the buffers (a write waits) or fits in them (the
    # end waits for the printer to take it).
    small = RECEIPT * 20
    for name, job_text, job_args in (("a large job", text, big_args), ("a small job", small, args)):
        printer = FakePrinter(reads=False, rcvbuf=4096)
        start = time.monotonic()
        try:
            r = run(tool, *job_args, "--to", printer.address, "--timeout", "1", stdin=job_text.encode())
            hung = False
        except subprocess.TimeoutExpired:
            hung = True
        printer.close()
        check(not hung and r.returncode == 5 and b"timed out" in r.stderr and one_line(r),
              f"{name} to a printer that stops reading: exit 5, timed out "
              f"({'hung' if hung else (r.returncode, r.stderr)}, {time.monotonic() - start:.1f} s)")


def test_interrupt_while_sending(tool):
    """SIGINT while the printer takes nothing: the job stops at once with
    130, not when the (long) time-out runs out."""
    text, big_args, _ = big_job(tool)
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    proc = subprocess.Popen([tool.exe, *big_args, "--to", f"tcp://127.0.0.1:{server.getsockname()[1]}",
                             "--timeout", "600"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, env=tool.env)
    proc.stdin.write(text.encode())
    proc.stdin.close()
    conn, _ = server.accept()
    # Bytes waiting unread: the command is sending, and will soon wait.
    select.select([conn], [], [], HANG_GUARD)
    proc.send_signal(signal.SIGINT)
    try:
        status = proc.wait(HANG_GUARD)
    except subprocess.TimeoutExpired:
        proc.kill()
        status = "hung"
    err = proc.stderr.read()
    conn.close()
    server.close()
    check(status == 130 and err == b"", f"SIGINT while a printer takes nothing: 130 at once ({status} {err!r})")


def test_devices(tool):
    args = ["--printer", "58mm", "--format", "escpos-bitimage", "--wrap"]
    job = Printed(tool, RECEIPT * 5, args[:2] + args[4:], "escpos-bitimage", "escpos-bitimage", dots=384)
    if not job.ok:
        return
    master, slave = pty.openpty()
    path = os.ttyname(slave)
    before = termios.tcgetattr(slave)
    received = bytearray()
    proc = subprocess.Popen([tool.exe, *args, "--to", path, "--timeout", "20"], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=tool.env)
    proc.stdin.write((RECEIPT * 5).encode())
    proc.stdin.close()
    deadline = time.monotonic() + HANG_GUARD
    while time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.1)
        if ready:
            received += os.read(master, 65536)
        elif proc.poll() is not None:
            break
    proc.wait(HANG_GUARD)
    err = proc.stderr.read()
    after = termios.tcgetattr(slave)
    check(proc.returncode == 0 and err == b"", f"a pty as the printer takes the job ({proc.returncode} {err!r})")
    check(bytes(received) == job.bytes,
          f"the pty receives exactly the job's bytes, no line ending changed ({len(received)} of {len(job.bytes)})")
    check(after == before and before[1] & termios.OPOST, "the terminal's settings are put back afterwards")

    # Permissions: root opens a device whatever its mode; another user is
    # refused with the reason.
    os.chmod(path, 0)
    r = run(tool, *args, "--to", path, "--timeout", "5", stdin=b"x\n")
    while select.select([master], [], [], 0)[0]:
        os.read(master, 65536)
    if os.geteuid() == 0:
        check(r.returncode == 0, f"as root a pty of mode 000 still opens ({r.returncode} {r.stderr!r})")
        setpriv = shutil.which("setpriv")
        if setpriv:
            exe = str(pathlib.Path(tool.exe).resolve())
            r = subprocess.run([setpriv, "--reuid=65534", "--regid=65534", "--clear-groups", exe, *args, "--to", path],
                               input=b"x\n", capture_output=True, timeout=HANG_GUARD)
            if r.returncode in (126, 127) or r.stderr.startswith(b"setpriv:"):
                print(f"skip the other user's run: it cannot reach the build ({r.stderr!r})")
            else:
                check(r.returncode == 5 and b"permission denied" in r.stderr and path.encode() in r.stderr
                      and one_line(r),
                      f"another user is refused the device: exit 5 saying permission denied ({r.returncode} "
                      f"{r.stderr!r})")
    else:
        check(r.returncode == 5 and b"permission denied" in r.stderr,
              f"a device of mode 000 is refused: exit 5, permission denied ({r.returncode} {r.stderr!r})")
    os.close(slave)
    os.close(master)

    # A FIFO no one reads, a missing device, and files and folders, which are written with -o.
    fifo = tool.tmp / "fifo"
    os.mkfifo(fifo)
    r = run(tool, *args, "--to", fifo, "--timeout", "5", stdin=b"x\n")
    check(r.returncode == 5 and one_line(r) and b"nothing is there" in r.stderr,
          f"a FIFO no one reads: exit 5 at once ({r.returncode} {r.stderr!r})")
    r = run(tool, *args, "--to", tool.tmp / "no-such-dir" / "lp0", stdin=b"x\n")
    check(r.returncode == 5 and one_line(r) and b"no such device" in r.stderr,
          f"a missing device: exit 5 ({r.returncode} {r.stderr!r})")
    target = tool.tmp / "plain-file"
    target.write_bytes(b"keep")
    for where in (target, tool.tmp):
        r = run(tool, *args, "--to", where, stdin=b"x\n")
        check(r.returncode == 2 and one_line(r) and b"-o" in r.stderr,
              f"--to {where.name or where} is a usage error pointing to -o ({r.returncode} {r.stderr!r})")
    check(target.read_bytes() == b"keep", "the file named by --to is left alone")
    r = run(tool, *args, "--to", fifo, "-o", tool.tmp / "both.bin", stdin=b"x\n")
    check(r.returncode == 2 and one_line(r), f"--to and -o together are refused ({r.stderr!r})")
    r = run(tool, "--printer", "58mm", "--format", "png", "--to", fifo, stdin=b"x\n")
    check(r.returncode == 2 and one_line(r) and b"png" in r.stderr, f"--to with a picture format ({r.stderr!r})")


def main():
    exe, sample = sys.argv[1], pathlib.Path(sys.argv[2])
    if sys.platform != "linux":
        print("skip: the device and network cases need Linux")
        return 77
    return run_all(exe, test_list_printers, lambda t: test_command_sets(t, sample), test_overrides,
                   lambda t: test_network(t, sample), test_interrupt_while_sending, test_devices)


if __name__ == "__main__":
    sys.exit(main())
