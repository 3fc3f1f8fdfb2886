#!/usr/bin/env python3
"""What the lumarin command reads: line endings of every kind, also where
one falls across the reader's 64 KiB reads; text in other encodings, and
bytes that are not text named by line and byte.
Usage: input_test.py LUMARIN"""
import pathlib
import sys

from cli_test import check, run_all

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


def test_encodings(tool):
    """--encoding reads the old code pages as their characters: the image
    is the one of the same text in UTF-8."""
    cases = [
        ("CP1252", "caf\u00e9 \u20ac5 \u201cquoted\u201d\n"),
        ("cp437", "\u2554\u2550\u2557 \u00b0C \u2591\u2592\u2593\n"),
        ("CP858", "\u20ac 12,50 \u00e9t\u00e9\n"),
        ("ISO-8859-15", "\u20ac \u0160koda \u0152uvre\n"),
        ("ISO-8859-2", "\u0141\u00f3d\u017a \u010ce\u0161tina\n"),
    ]
    for name, text in cases:
        r1 = tool.run("-o", tool.tmp / "enc.bmp", "--encoding", name, stdin=text.encode(name.replace("CP", "cp")))
        r2, utf8 = tool.render(text, name="enc-utf8.bmp")
        same = (tool.tmp / "enc.bmp").read_bytes() == utf8.read_bytes() if r1.returncode == 0 else False
        check(r1.returncode == 0 and same, f"--encoding {name} draws the text as UTF-8 would ({r1.stderr!r})")

    # A file past one read, decoded as it streams.
    text = "".join(f"{i} na\u00efve caf\u00e9 \u00e0 la carte\n" for i in range(3000))
    source = tool.tmp / "long-1252.txt"
    source.write_bytes(text.encode("cp1252"))
    assert source.stat().st_size > 1 << 16
    r1 = tool.run(source, "--encoding", "windows-1252", "--mono", "-o", tool.tmp / "long-1252.png")
    r2, utf8 = tool.render(text, "--mono", name="long-utf8.png")
    check(r1.returncode == 0 and r2.returncode == 0 and
          (tool.tmp / "long-1252.png").read_bytes() == utf8.read_bytes(), f"a long CP1252 file ({r1.stderr!r})")


def test_bad_text(tool):
    """Bytes that are not text in the encoding: exit 3, the line, the byte
    in it and in the input (from 1), and what to give."""
    latin1 = "fine\nstill fine\nna\u00efve caf\u00e9\n".encode("latin-1")
    r = tool.run("-o", tool.tmp / "bad.bmp", stdin=latin1)
    want = (b"lumarin: line 3, byte 3 (byte 19 of the input): not valid UTF-8; give --encoding if the text is in "
            b"another encoding (for example --encoding CP1252)\n")
    check(r.returncode == 3 and r.stderr == want and not (tool.tmp / "bad.bmp").exists(),
          f"Latin-1 read as UTF-8 ({r.returncode} {r.stderr!r})")
    # Each kind of malformed UTF-8, after a byte-order mark and CR LF lines.
    for bad, at in ((b"\xc0\x80", 2), (b"\xed\xa0\x80", 2), (b"\xf4\x90\x80\x80", 2), (b"\xe2\x82", 2),
                    (b"\x80", 2)):
        r = tool.run("-o", tool.tmp / "bad.bmp", stdin=b"\xef\xbb\xbfok\r\nx\xc3\xa9" + bad + b"y\r\n")
        want = f"lumarin: line 2, byte {at + 2} (byte {7 + at + 2} of the input): not valid UTF-8;".encode()
        check(r.returncode == 3 and r.stderr.startswith(want), f"{bad!r} is named where it is ({r.stderr!r})")
    # A byte CP1252 leaves undefined.
    r = tool.run("-o", tool.tmp / "bad.bmp", "--encoding", "CP1252", stdin=b"a\rb\x81c\n")
    want = (b"lumarin: line 2, byte 2 (byte 4 of the input): not valid CP1252; check that --encoding names the "
            b"encoding the text is in\n")
    check(r.returncode == 3 and r.stderr == want, f"an undefined CP1252 byte ({r.stderr!r})")
    for name in ("KLINGON-8", "UTF-16"):
        r = tool.run("-o", tool.tmp / "bad.bmp", "--encoding", name, stdin=b"x\n")
        check(r.returncode == 2 and r.stderr.startswith(f"lumarin: --encoding '{name}' ".encode()) and
              r.stderr.count(b"\n") == 1, f"--encoding {name} is a usage error naming it ({r.stderr!r})")


def main() -> int:
    return run_all(sys.argv[1], test_line_endings, test_ending_across_reads, test_encodings, test_bad_text)


if __name__ == "__main__":
    sys.exit(main())
