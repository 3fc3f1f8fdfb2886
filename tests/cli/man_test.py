#!/usr/bin/env python3
"""The man page help2man makes from --help, as man shows it: the formats
it writes in its name, and every option of --help at the start of a line
of its own, its text below it, not run into another's.
Usage: man_test.py LUMARIN MAN-PAGE"""
import os
import re
import shutil
import subprocess
import sys

from cli_test import check, failures


def option_tags(help_text):
    """The options as --help lists them: "--size N", "-o, --output OUT"."""
    tags = []
    for line in help_text.splitlines():
        if re.match(r"^ {2,6}-", line):
            tags.append(re.split(r"\s{2,}", line.strip())[0])
    return tags


def main() -> int:
    exe, page = sys.argv[1], sys.argv[2]
    if not shutil.which("man") or not os.path.exists(page):
        print("skip: no man, or no man page built")
        return 77
    help_text = subprocess.run([exe, "--help"], capture_output=True, text=True, check=True).stdout
    shown = subprocess.run(["man", "-l", page], capture_output=True, text=True,
                           env=dict(os.environ, MANWIDTH="80")).stdout
    shown = re.sub(".\x08", "", shown)  # bold and underline by overstriking
    lines = [line.strip() for line in shown.splitlines()]
    check(any("BMP, PNG or PBM" in line for line in lines[:6]), f"NAME names the three formats ({lines[:6]})")
    tags = option_tags(help_text)
    alone = [tag for tag in tags if tag.replace("-", "\u2010") not in lines and tag not in lines]
    check(len(tags) > 20 and not alone, f"each of {len(tags)} options on a line of its own (not: {alone})")
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
