#!/usr/bin/python3
"""The lumarin command stopped from outside: SIGINT and SIGTERM end it with
130 and 143, its progress bar wiped, and SIGKILL at any moment of a large
job leaves nothing beside the target, which stays the old bitmap or
becomes the new one, complete.

What each run must show does not depend on when the signal lands. Where it
lands is chosen at random over the job's length, only to spread the
signals over reading, drawing and saving. Only between naming the finished
temporary and renaming it over the target (two system calls) does a save
have a file of its own in the folder; before a SIGKILL the test stops the
command and, should it have stopped there, lets it run on a little.
Usage: interrupt_test.py LUMARIN"""
import os
import pty
import random
import signal
import struct
import subprocess
import sys
import tempfile
import time

failures = []
KILLS = 50
INTERRUPTS = 20


def check(ok, what):
    if not ok:
        failures.append(what)
    print(("ok   " if ok else "FAIL ") + what)


def handles(pid, signum):
    """True once the process has its own handler for `signum`."""
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("SigCgt:"):
                return bool(int(line.split()[1], 16) >> (signum - 1) & 1)
    return False


def wait_for_handler(proc, signum):
    while proc.poll() is None and not handles(proc.pid, signum):
        time.sleep(0.001)


def whole_bmp(data):
    return len(data) >= 54 and data[:2] == b"BM" and struct.unpack_from("<I", data, 2)[0] == len(data)


class Job:
    """A large job: 1,000 lines of 100 characters through the object's own
    job (--compat), a 63 MB bitmap saved once, over an older small one."""

    def __init__(self, exe, folder):
        self.exe, self.folder = exe, folder
        self.input = os.path.join(os.path.dirname(folder), "input.txt")
        with open(self.input, "w") as f:
            for i in range(1000):
                f.write(f"{i:04d} " + "m" * 95 + "\n")
        self.target = os.path.join(folder, "out.bmp")
        self.env = dict(os.environ)
        if "LSAN_OPTIONS" in self.env:
            self.env["LSAN_OPTIONS"] += ":print_suppressions=0"

    def reset(self):
        for name in os.listdir(self.folder):
            os.unlink(os.path.join(self.folder, name))
        subprocess.run([self.exe, "-o", self.target], input=b"old\n", check=True, env=self.env)
        with open(self.target, "rb") as f:
            self.old = f.read()

    def start(self, stderr=subprocess.DEVNULL):
        return subprocess.Popen([self.exe, "--compat", self.input, "-o", self.target], stdout=subprocess.DEVNULL,
                                stderr=stderr, env=self.env)

    def leftovers(self):
        return sorted(n for n in os.listdir(self.folder) if n != "out.bmp")

    def target_state(self):
        """'old', 'new' (a complete bitmap of the job) or what else it is."""
        with open(self.target, "rb") as f:
            data = f.read()
        if data == self.old:
            return "old"
        return "new" if whole_bmp(data) and len(data) > 60_000_000 else f"broken ({len(data)} bytes)"

    def saving(self, pid):
        """True when the stopped process holds a file open in the folder."""
        fd_dir = f"/proc/{pid}/fd"
        for fd in os.listdir(fd_dir):
            try:
                if os.readlink(os.path.join(fd_dir, fd)).startswith(self.folder + "/"):
                    return True
            except OSError:
                pass
        return False


def stop(pid):
    os.kill(pid, signal.SIGSTOP)
    _, status = os.waitpid(pid, os.WUNTRACED)
    return os.WIFSTOPPED(status)


def stop_outside_the_naming(job, proc):
    """Stops the command; lets it run on while a named temporary shows."""
    for _ in range(1000):
        if not stop(proc.pid) or not job.leftovers():
            return
        os.kill(proc.pid, signal.SIGCONT)
        time.sleep(0.0002)


def test_signals_while_reading(job):
    """Deterministic: the command waits on a pipe that stays open."""
    for signum, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
        job.reset()
        proc = subprocess.Popen([job.exe, "--compat", "-o", job.target], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, env=job.env)
        proc.stdin.write(b"a line\n")
        proc.stdin.flush()
        wait_for_handler(proc, signum)
        proc.send_signal(signum)
        _, err = proc.communicate(timeout=60)
        check(proc.returncode == status and err == b"" and job.target_state() == "old" and not job.leftovers(),
              f"{signal.Signals(signum).name} while reading: exit {proc.returncode}, nothing written ({err!r})")


def read_terminal(controller):
    seen = b""
    while True:
        try:
            chunk = os.read(controller, 65536)
        except OSError:
            return seen
        if not chunk:
            return seen
        seen += chunk


def test_interrupts(job, length):
    outcomes = {}
    for run in range(INTERRUPTS):
        job.reset()
        controller, terminal = pty.openpty()
        proc = job.start(stderr=terminal)
        os.close(terminal)
        wait_for_handler(proc, signal.SIGINT)
        time.sleep(random.uniform(0, length))
        proc.send_signal(signal.SIGINT)
        proc.wait(timeout=300)
        seen = read_terminal(controller)
        os.close(controller)
        state = job.target_state()
        # Interrupted, or done before the signal came: then the new file.
        ok = proc.returncode == 130 or (proc.returncode == 0 and state == "new")
        wiped = seen == b"" or seen.endswith(b"\r\033[K")
        check(ok and wiped and state in ("old", "new") and not job.leftovers(),
              f"SIGINT {run}: exit {proc.returncode}, file {state}, bar wiped {wiped}, left {job.leftovers()}")
        outcomes[proc.returncode] = outcomes.get(proc.returncode, 0) + 1
    print(f"# {INTERRUPTS} SIGINTs: exit statuses {outcomes}")


def test_kills(job, length):
    saving = 0
    for kill in range(KILLS):
        job.reset()
        proc = job.start()
        time.sleep(random.uniform(0, length))
        stop_outside_the_naming(job, proc)
        if proc.poll() is None:
            saving += job.saving(proc.pid)
        proc.kill()
        proc.wait()
        state = job.target_state()
        check(state in ("old", "new") and not job.leftovers(),
              f"SIGKILL {kill}: file {state}, left {job.leftovers()}")
    print(f"# {KILLS} SIGKILLs, {saving} of them while the bitmap was being written")


def main():
    exe = sys.argv[1]
    random.seed(20261209)
    with tempfile.TemporaryDirectory() as tmp:
        folder = os.path.join(tmp, "out")
        os.mkdir(folder)
        job = Job(exe, folder)
        test_signals_while_reading(job)
        job.reset()
        began = time.monotonic()
        whole = job.start()
        whole.wait()
        length = time.monotonic() - began
        check(whole.returncode == 0 and job.target_state() == "new", f"the job alone takes {length:.2f} s")
        test_interrupts(job, length)
        test_kills(job, length)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
