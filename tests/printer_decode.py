"""Rebuilds the dots a receipt printer would print from the bytes sent to it.

Two command sets are read, each as its printer's command reference
describes it:

* ESC/POS: ESC @, GS P x y, ESC J n, ESC 3 n, ESC 2, LF, ESC * 33 nL nH
  (24-dot double density), GS v 0 m xL xH yL yH, GS ( L / GS 8 L functions
  112 (store raster graphics) and 50 (print them), GS V (cut).
* Star Line Mode raster: ESC @, ESC * r A, ESC * r B, ESC * r P n NUL,
  ESC * r E n NUL, ESC * r Y n NUL, b n1 n2 d..., ESC FF EOT.

Anything else, a command cut short, a value out of its command's range or a
command where the printer would not take it raises DecodeError naming the
byte offset: a decoder that guessed would hide the faults it is there to
show.

The result is a list of Pages. A page is the paper between two cuts (or the
start and end of the bytes): its rows of dots, top first, with paper feeds
as blank rows. A new job (ESC @) also starts a new page.

    pages = decode(data, "escpos", dpi=203, width=576)
    pages[0].dots()        # [[0, 1, ...], ...], height rows of width dots
    pages[0].cut           # "partial", "full" or None

Only the Python standard library is used."""

__all__ = ["DecodeError", "Page", "decode", "decode_escpos", "decode_star", "COMMAND_SETS"]

COMMAND_SETS = ("escpos", "escpos-graphics", "escpos-bitimage", "star")

ESC, GS, LF, NUL, FF, EOT = 0x1B, 0x1D, 0x0A, 0x00, 0x0C, 0x04

# Byte with its bits in reverse order: packed rows (leftmost dot in the most
# significant bit) become integers whose bit x is the dot in column x.
_REVERSED = bytes(int(f"{i:08b}"[::-1], 2) for i in range(256))


class DecodeError(ValueError):
    """Bytes the decoder does not take; `offset` is where the command starts."""

    def __init__(self, offset, message):
        super().__init__(f"at byte {offset}: {message}")
        self.offset = offset
        self.reason = message


def _row_from_packed(data):
    """Packed bytes (leftmost dot in the top bit) as an integer, dot x in bit x."""
    return int.from_bytes(bytes(data).translate(_REVERSED), "little")


class Page:
    """The paper between two cuts.

    rows     one integer a row, top first; bit x set where column x prints
    width    the widest row any command on the page declared, in dots
    cut      "partial", "full" or None (no cut ended the page)
    end      what ended it: "cut", "tear bar", "job" (a new ESC @) or "data"
    job      the number of the job (counted by ESC @) the page started in
    commands the raster commands that printed on it, e.g. {"GS v 0"}
    prints   (command, top row, rows) of each of them, in order; for an
             ESC * line, rows is how far the paper moved after it
    """

    def __init__(self, job):
        self.rows = []
        self.width = 0
        self.cut = None
        self.end = None
        self.job = job
        self.commands = set()
        self.prints = []
        self.y = 0  # the paper's position: rows printed or fed so far
        self.touched = False

    @property
    def height(self):
        return len(self.rows)

    def dot(self, x, y):
        return (self.rows[y] >> x) & 1

    def dots(self, width=None):
        """Every row as a list of 0 and 1, `width` (default the page's) long."""
        width = self.width if width is None else width
        return [[(row >> x) & 1 for x in range(width)] for row in self.rows]

    def packed(self, y, width=None):
        """Row y packed as a PBM row: leftmost dot in the top bit, whole bytes."""
        width = self.width if width is None else width
        nbytes = (width + 7) // 8
        row = self.rows[y] & ((1 << width) - 1)
        return row.to_bytes(nbytes, "little").translate(_REVERSED)

    def ink_count(self):
        return sum(bin(row).count("1") for row in self.rows)

    def __repr__(self):
        return (f"Page(job={self.job}, {self.width}x{self.height}, cut={self.cut!r}, end={self.end!r}, "
                f"commands={sorted(self.commands)})")

    # For the decoders.
    def _print(self, top, rows, width, command, advance=None):
        self.touched = True
        self.commands.add(command)
        self.prints.append((command, top, len(rows) if advance is None else advance))
        self.width = max(self.width, width)
        for i, row in enumerate(rows):
            if row:
                while len(self.rows) <= top + i:
                    self.rows.append(0)
                self.rows[top + i] |= row

    def _feed(self, dots):
        self.touched = True
        self.y += dots

    def _close(self):
        while len(self.rows) < self.y:
            self.rows.append(0)


class _Reader:
    def __init__(self, data):
        self.data = bytes(data)
        self.pos = 0
        self.start = 0  # where the command being read began

    def at_end(self):
        return self.pos >= len(self.data)

    def fail(self, message):
        raise DecodeError(self.start, message)

    def take(self, n, what):
        if self.pos + n > len(self.data):
            self.fail(f"{what} is cut short: {n} byte(s) needed, {len(self.data) - self.pos} left")
        chunk = self.data[self.pos:self.pos + n]
        self.pos += n
        return chunk

    def byte(self, what):
        return self.take(1, what)[0]

    def u16(self, what):
        lo, hi = self.take(2, what)
        return lo | hi << 8

    def decimal(self, what):
        """ASCII decimal digits up to a NUL (Star's numeric parameters)."""
        end = self.data.find(b"\0", self.pos)
        if end < 0:
            self.fail(f"{what}: no NUL ends its number")
        digits = self.data[self.pos:end]
        if not digits or not digits.isdigit():
            self.fail(f"{what}: {digits!r} is not a decimal number")
        self.pos = end + 1
        return int(digits)


class _Pages:
    """The pages so far and the one being printed."""

    def __init__(self, width):
        self.head = width
        self.done = []
        self.job = -1
        self.page = None

    def current(self):
        if self.page is None:
            self.page = Page(max(self.job, 0))
        return self.page

    def check_width(self, reader, declared, rows, granularity=1):
        """Refuses a command wider than the head or dots past its edge."""
        if self.head is None:
            return
        limit = -(-self.head // granularity) * granularity
        if declared > limit:
            reader.fail(f"a command {declared} dots wide on a head of {self.head}")
        for row in rows:
            if row >> self.head:
                reader.fail(f"a dot at column {row.bit_length() - 1}, past the head's {self.head} dots")

    def close(self, end, cut=None):
        page = self.page
        if page is None:
            if cut is None:
                return
            page = self.current()  # a cut with nothing printed still ends a (blank) page
        if page.touched or cut is not None:
            page._close()
            page.cut, page.end = cut, end
            self.done.append(page)
        self.page = None

    def new_job(self):
        self.close("job")
        self.job += 1


def decode_escpos(data, dpi=None, width=None):
    """The pages ESC/POS bytes print. `dpi` is the printer's vertical
    resolution, to turn motion units into dots; unset, GS P's vertical unit
    is taken as one dot. `width` is the head's dots: a dot past it is an
    error."""
    r = _Reader(data)
    pages = _Pages(width)
    unit = None        # vertical motion unit as 1/unit inch; None: the printer's default, unknown
    spacing = None     # line spacing in motion units; None: the default (1/6 inch, not whole dots)
    line = None        # a bit image line waiting for LF: [x, rows (24 ints)]
    graphics = None    # stored by function 112: (rows, width, the command's name)

    def dots_of(units, what):
        if unit is None:
            r.fail(f"{what} before GS P set the motion unit")
        scale = dpi if dpi is not None else unit
        if (units * scale) % unit:
            r.fail(f"{what}: {units} motion units of 1/{unit} inch are not whole dots at {scale} dpi")
        return units * scale // unit

    def print_line(feed_units, what):
        nonlocal line
        page = pages.current()
        feed = dots_of(feed_units, what)
        if line is not None:
            page._print(page.y, line[1], line[0], "ESC *", feed)
            line = None
        page._feed(feed)

    def no_pending(what):
        if line is not None:
            r.fail(f"{what} while a bit image line waits to be printed")
        if graphics is not None:
            r.fail(f"{what} while stored graphics wait to be printed")

    while not r.at_end():
        r.start = r.pos
        c = r.byte("a command")
        if c == LF:
            if spacing is None:
                r.fail("LF with the default line spacing, which is not a whole number of dots")
            print_line(spacing, "LF")
        elif c == ESC:
            k = r.byte("ESC")
            if k == ord("@"):
                no_pending("ESC @")
                pages.new_job()
                unit, spacing = None, None
            elif k == ord("J"):
                n = r.byte("ESC J")
                print_line(n, "ESC J")
            elif k == ord("3"):
                spacing = r.byte("ESC 3")
            elif k == ord("2"):
                spacing = None
            elif k == ord("*"):
                m = r.byte("ESC *")
                if m != 33:
                    r.fail(f"ESC * mode {m}; only 33 (24-dot double density) is read")
                n = r.u16("ESC *")
                if not 1 <= n <= 1023:
                    r.fail(f"ESC * of {n} dots; 1 to 1023 are allowed (nH at most 3)")
                if graphics is not None:
                    r.fail("ESC * while stored graphics wait to be printed")
                columns = r.take(3 * n, "ESC * data")
                if line is None:
                    line = [0, [0] * 24]
                x0 = line[0]
                rows = line[1]
                for x in range(n):
                    bits = columns[3 * x] << 16 | columns[3 * x + 1] << 8 | columns[3 * x + 2]
                    if bits:
                        for y in range(24):
                            if bits & (1 << (23 - y)):
                                rows[y] |= 1 << (x0 + x)
                line[0] = x0 + n
                pages.check_width(r, line[0], rows)
            else:
                r.fail(f"ESC {k:#04x} is not a command this decoder reads")
        elif c == GS:
            k = r.byte("GS")
            if k == ord("P"):
                r.byte("GS P")
                y = r.byte("GS P")
                unit = y if y else None  # 0: the printer's default
            elif k == ord("v"):
                if r.byte("GS v") != ord("0"):
                    r.fail("GS v other than GS v 0")
                m = r.byte("GS v 0")
                if m not in (0, 48):
                    r.fail(f"GS v 0 mode {m}; only normal size (0 or 48) is read")
                xbytes = r.u16("GS v 0")
                height = r.u16("GS v 0")
                if not 1 <= xbytes <= 65535 or not 1 <= height <= 2303:
                    r.fail(f"GS v 0 of {xbytes} bytes by {height} rows; rows must be 1 to 2303 (yH at most 8)")
                no_pending("GS v 0")
                body = r.take(xbytes * height, "GS v 0 data")
                rows = [_row_from_packed(body[i * xbytes:(i + 1) * xbytes]) for i in range(height)]
                pages.check_width(r, xbytes * 8, rows, 8)
                page = pages.current()
                page._print(page.y, rows, xbytes * 8, "GS v 0")
                page._feed(height)
            elif k in (ord("("), ord("8")):
                name = "GS ( L" if k == ord("(") else "GS 8 L"
                if r.byte(name) != ord("L"):
                    r.fail(f"{name[:4]} {chr(r.data[r.pos - 1])!r} is not a command this decoder reads")
                size = r.u16(name) if k == ord("(") else r.u16(name) | r.u16(name) << 16
                body_start = r.pos
                body = r.take(size, f"{name} parameters")
                if size < 2:
                    r.fail(f"{name} with {size} parameter bytes")
                m, fn = body[0], body[1]
                if m != 48:
                    r.fail(f"{name} m={m}; 48 expected")
                if fn in (50, 2):
                    if size != 2 or k != ord("("):
                        r.fail(f"{name} function 50 takes exactly 2 parameter bytes as GS ( L")
                    if graphics is None:
                        r.fail(f"{name} function 50 with no graphics stored")
                    if line is not None:
                        r.fail(f"{name} function 50 while a bit image line waits to be printed")
                    rows, gwidth, stored_by = graphics
                    graphics = None
                    page = pages.current()
                    page._print(page.y, rows, gwidth, stored_by)
                    page._feed(len(rows))
                elif fn == 112:
                    if size < 10:
                        r.fail(f"{name} function 112 with {size} parameter bytes")
                    if k == ord("(") and size < 11:
                        r.fail(f"{name} function 112 with no data")
                    a, bx, by, colour = body[2:6]
                    if a != 48 or bx != 1 or by != 1 or colour != 49:
                        r.fail(f"{name} function 112 with a={a} bx={bx} by={by} c={colour}; "
                               "48, 1, 1, 49 (monochrome, unscaled, first colour) are read")
                    gwidth = body[6] | body[7] << 8
                    height = body[8] | body[9] << 8
                    if not 1 <= gwidth <= 2047 or not 1 <= height <= 1662:
                        r.fail(f"{name} function 112 of {gwidth} by {height} dots; "
                               "1 to 2047 across and 1 to 1662 down are allowed")
                    xbytes = (gwidth + 7) // 8
                    if size != 10 + xbytes * height:
                        r.fail(f"{name} function 112 says {size} parameter bytes; "
                               f"{gwidth} by {height} dots take {10 + xbytes * height}")
                    if graphics is not None:
                        r.fail(f"{name} function 112 while earlier graphics wait to be printed")
                    data_start = body_start + 10
                    pixels = r.data[data_start:data_start + xbytes * height]
                    rows = [_row_from_packed(pixels[i * xbytes:(i + 1) * xbytes]) for i in range(height)]
                    # Dots past x in the padding of a row's last byte are not part of the picture.
                    mask = (1 << gwidth) - 1
                    if any(row & ~mask for row in rows):
                        r.fail(f"{name} function 112 sets dots in the padding past its {gwidth} dots")
                    pages.check_width(r, gwidth, rows)
                    graphics = (rows, gwidth, name)
                else:
                    r.fail(f"{name} function {fn} is not one this decoder reads")
            elif k == ord("V"):
                m = r.byte("GS V")
                if m in (0, 48):
                    cut = "full"
                elif m in (1, 49):
                    cut = "partial"
                elif m in (65, 66):
                    r.byte("GS V")  # the feed past the cutting position
                    cut = "full" if m == 65 else "partial"
                else:
                    r.fail(f"GS V mode {m} is not one this decoder reads")
                no_pending("GS V")
                pages.current().touched = True
                pages.close("cut", cut)
            else:
                r.fail(f"GS {k:#04x} is not a command this decoder reads")
        else:
            r.fail(f"byte {c:#04x} is not a command this decoder reads (text is not expected)")
    r.start = len(r.data)
    no_pending("the end of the bytes")
    pages.close("data")
    return pages.done


_STAR_EOT = {
    1: (None, None), 2: (None, "cut feed"), 3: (None, "tear bar"), 8: ("full", None), 9: ("full", "cut feed"),
    12: ("partial", None), 13: ("partial", "cut feed"), 36: ("full", None), 37: ("full", "cut feed"),
}


def decode_star(data, width=None):
    """The pages Star Line Mode raster bytes print. `width` is the head's
    dots: a dot past it is an error."""
    r = _Reader(data)
    pages = _Pages(width)
    raster = False
    eot = None  # EOT mode; None: the printer's default, not known here

    while not r.at_end():
        r.start = r.pos
        c = r.byte("a command")
        if c == ord("b") and raster:
            n = r.u16("b")
            if n < 1:
                r.fail("b with no data bytes")
            row = _row_from_packed(r.take(n, "b data"))
            pages.check_width(r, n * 8, [row], 8)
            page = pages.current()
            page._print(page.y, [row], n * 8, "b")
            page._feed(1)
        elif c == ESC:
            k = r.byte("ESC")
            if k == ord("@"):
                pages.new_job()
                raster, eot = False, None
            elif k == ord("*"):
                if r.byte("ESC *") != ord("r"):
                    r.fail("ESC * other than ESC * r")
                f = r.byte("ESC * r")
                if f == ord("A"):
                    raster, eot = True, None  # entering raster mode sets its settings to their defaults
                elif f == ord("B"):
                    if not raster:
                        r.fail("ESC * r B outside raster mode")
                    raster = False
                elif not raster:
                    r.fail(f"ESC * r {chr(f)!r} outside raster mode")
                elif f == ord("P"):
                    n = r.decimal("ESC * r P")
                    if n != 0:
                        r.fail(f"ESC * r P {n}: only continuous paper (0) is read")
                elif f == ord("E"):
                    n = r.decimal("ESC * r E")
                    if n not in _STAR_EOT:
                        r.fail(f"ESC * r E {n} is not an EOT mode this decoder reads")
                    eot = n
                elif f == ord("Y"):
                    n = r.decimal("ESC * r Y")
                    if not 1 <= n <= 255:
                        r.fail(f"ESC * r Y {n}: 1 to 255 dots are allowed")
                    pages.current()._feed(n)
                else:
                    r.fail(f"ESC * r {chr(f)!r} is not a command this decoder reads")
            elif k == FF:
                if r.byte("ESC FF") != EOT:
                    r.fail("ESC FF other than ESC FF EOT")
                if not raster:
                    r.fail("ESC FF EOT outside raster mode")
                if eot is None:
                    r.fail("ESC FF EOT before ESC * r E set what it does")
                cut, feed = _STAR_EOT[eot]
                pages.current().touched = True
                pages.close("cut" if cut else (feed or "form feed"), cut)
            else:
                r.fail(f"ESC {k:#04x} is not a command this decoder reads")
        else:
            r.fail(f"byte {c:#04x} is not a command this decoder reads"
                   + ("" if raster else " (outside raster mode)"))
    r.start = len(r.data)
    if raster:
        r.fail("the bytes end in raster mode, without ESC * r B")
    pages.close("data")
    return pages.done


def decode(data, command_set, dpi=None, width=None):
    """The pages `data` prints in `command_set` (one of COMMAND_SETS; every
    ESC/POS name reads all three ESC/POS forms)."""
    if command_set == "star":
        return decode_star(data, width=width)
    if command_set in COMMAND_SETS:
        return decode_escpos(data, dpi=dpi, width=width)
    raise ValueError(f"no command set {command_set!r}; the sets are {', '.join(COMMAND_SETS)}")


if __name__ == "__main__":
    import sys

    if len(sys.argv) < 3:
        print("usage: printer_decode.py FILE COMMAND-SET [DPI [WIDTH]]", file=sys.stderr)
        sys.exit(2)
    with open(sys.argv[1], "rb") as f:
        blob = f.read()
    args = [int(a) for a in sys.argv[3:5]]
    for page in decode(blob, sys.argv[2], *args):
        print(page)
        for row in page.rows:
            print("".join("#" if (row >> x) & 1 else "." for x in range(page.width)).rstrip("."))
