#!/usr/bin/env python3
"""A printer on a serial port, played by a pseudo-terminal: Wine opens COM5
where the prefix's dosdevices/com5 leads (the link Wine makes itself from
HKLM\\Software\\Wine\\Ports; made directly here, so that the running
wineserver need not restart), and this driver reads what
connection_test.exe sends from the terminal's master side.
  - a job to COM5 and to \\\\.\\COM5 arrives byte for byte;
  - with nobody reading, the write times out, saying how much the port took,
    and no more than that reaches the printer.
Usage: serial_test.py WINE CONNECTION_TEST_EXE   (WINEPREFIX from the test)"""
import os
import pty
import subprocess
import sys
import threading
import tty


def pattern(count):
    """connection_test's pattern()."""
    return bytes(((i * 131 + i // 251) & 0xFF) for i in range(count))


class Terminal:
    """A pseudo-terminal in raw mode (no newline translation), its slave
    behind the prefix's COM5 while the object lives."""

    def __init__(self, prefix):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.slave)
        self.link = os.path.join(prefix, "dosdevices", "com5")
        self.kept = os.readlink(self.link) if os.path.islink(self.link) else None
        if os.path.lexists(self.link):
            os.unlink(self.link)
        os.symlink(os.ttyname(self.slave), self.link)
        self.got = bytearray()
        self.reader = None

    def read_all_along(self):
        def read():
            while True:
                try:
                    chunk = os.read(self.master, 65536)
                except OSError:
                    return
                if not chunk:
                    return
                self.got.extend(chunk)
        self.reader = threading.Thread(target=read, daemon=True)
        self.reader.start()

    def drain(self):
        """What the terminal holds now, read without waiting."""
        os.set_blocking(self.master, False)
        while True:
            try:
                chunk = os.read(self.master, 65536)
            except (BlockingIOError, OSError):
                return
            if not chunk:
                return
            self.got.extend(chunk)

    def close(self):
        os.unlink(self.link)
        if self.kept is not None:
            os.symlink(self.kept, self.link)
        os.close(self.slave)  # the master's reader sees the end
        if self.reader:
            self.reader.join(timeout=10)
        os.close(self.master)


def main() -> int:
    wine, exe = sys.argv[1], sys.argv[2]
    prefix = os.environ.get("WINEPREFIX")
    if not prefix:
        print("serial_test.py: WINEPREFIX is not set", file=sys.stderr)
        return 2
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)
        print(("ok   " if ok else "FAIL ") + what)

    def send(destination, count, timeout_ms):
        run = subprocess.run([wine, exe, "serial", destination, str(count), str(timeout_ms)],
                             capture_output=True, text=True, timeout=90)
        return run.returncode, run.stdout.strip()

    try:
        terminal = Terminal(prefix)
    except OSError as e:
        print(f"SKIP: no pseudo-terminal to play the port: {e}")
        return 77

    try:
        for destination, count in (("COM5", 200000), ("\\\\.\\COM5", 5000)):
            terminal.got.clear()
            terminal.read_all_along()
            status, said = send(destination, count, 5000)
            terminal.close()
            check(status == 0 and said == f"sent {count}", f"{destination}: {count} bytes sent ({status}: {said})")
            check(bytes(terminal.got) == pattern(count),
                  f"{destination}: the printer got the job byte for byte ({len(terminal.got)} bytes)")
            terminal = Terminal(prefix)

        # Nobody reads: the terminal's buffer fills and the port takes no more.
        terminal.got.clear()
        status, said = send("COM5", 1 << 20, 500)
        terminal.drain()
        taken = said.rsplit("the port had taken ", 1)[-1].split(" bytes")[0].replace(",", "")
        check(status == 1 and said.startswith("error 57: cannot send to COM5: timed out: the printer took nothing "
                                              "for 500 ms"), f"a printer that stops reading times out ({said})")
        check(taken.isdigit() and 0 < len(terminal.got) <= int(taken),
              f"it says how much the port took ({taken}); no more reached the printer ({len(terminal.got)})")
        check(bytes(terminal.got) == pattern(len(terminal.got)), "what reached it is the job's start")
    finally:
        terminal.close()

    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
