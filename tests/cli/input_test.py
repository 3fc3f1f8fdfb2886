#!/usr/bin/env python3
"""What the lumarin command reads: line endings of every kind, also where
one falls across the reader's 64 KiB reads.
Usage: input_test.py LUMARIN"""
import pathlib
import sys
import tempfile

from cli_test import Tool, check, failures

READ = 1 << 16  # the reader's read size


def same_image(tool, a, b, name):
    ra, pa = tool.render(a, name=name + "-a.bmp")
    rb, pb = tool.render(b, name=name + "-b.bmp")
    return ra.returncode == 0 and rb.returncode == 0 and pa.read_bytes() == pb.read_bytes(), ra.stderr + rb.stderr


def test_line_endings(tool):
    """CR, LF and CR LF each end a line, in any mixture; CR CR and LF CR
    are two endings, CR LF one."""
    want = "first\nsecond\n\nthird\n"
    for ending in ("\r", "\r\n", "\n"):
        ok, err = same_image(tool, want.replace("\n", ending), want, "ending")
        check(ok, f"lines ended by {ending!r} draw as with LF ({err!r})")
    ok, err = same_image(tool, "first\rsecond\r\n\nthird", want, "mixed")
    check(ok, f"CR, CR LF and LF mixed ({err!r})")
    ok, _ = same_image(tool, "first\rsecond\n", "first second\n", "cr-space")
    check(not ok, "a CR is no longer drawn as a space")


def test_ending_across_reads(tool):
    """A CR LF whose CR ends one read and LF starts the next is one ending;
    a lone CR there is one too."""
    lines, size = [], 0
    while size + 102 < READ:
        lines.append("x" * 100)
        size += 102
    lines.append("y" * (READ - 1 - size))  # its CR is the read's last byte
    lines += ["after"] * 3
    body_crlf = "\r\n".join(lines) + "\r\n"
    assert body_crlf.encode()[READ - 1:READ + 1] == b"\r\n"
    files = {}
    for name, text in (("crlf", body_crlf), ("cr", body_crlf.replace("\r\n", "\r")),
                       ("lf", body_crlf.replace("\r\n", "\n"))):
        path = tool.tmp / f"{name}.txt"
        path.write_bytes(text.encode())
        out = tool.tmp / f"{name}.bmp"
        r = tool.run(path, "-o", out)
        check(r.returncode == 0, f"{name} across reads is drawn ({r.stderr!r})")
        files[name] = out.read_bytes() if out.exists() else b""
    check(files["crlf"] == files["lf"] != b"", "a CR LF split between reads is one line ending")
    check(files["cr"] == files["lf"], "a CR ending a read ends its line")


def main() -> int:
    exe = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        tool = Tool(exe, tmp)
        test_line_endings(tool)
        test_ending_across_reads(tool)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
