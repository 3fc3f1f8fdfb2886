"""Lumarin: text into pictures and printer bytes, shaped in every script.

    import lumarin
    picture = lumarin.render("Coffee\t3.50", tabs="r:end", width=576)
    picture.save("line.png")
    with lumarin.Printer("tcp://192.0.2.10") as printer:
        printer.print(lumarin.receipt("Coffee | 3.50\\n"))

The keyword arguments are the command's options, with the same names and
defaults (``--line-spacing`` is ``line_spacing``). Errors from the library
are ``lumarin.Error``, with the command's message and ``.number``; bad
arguments raise ``TypeError`` or ``ValueError``.
"""
import os
import threading

from . import _lumarin
from ._lumarin import Error, Picture, synapse

__all__ = ["Error", "PageLayout", "Picture", "Printer", "ReceiptLayout", "receipt", "render", "printer_profiles",
           "synapse", "__version__"]
__version__ = _lumarin.__version__
Error.__module__ = "lumarin"

_ALIGN = {None: _lumarin.Align.natural, "left": _lumarin.Align.left,
          "center": _lumarin.Align.center, "right": _lumarin.Align.right}
_ORDER = {"auto": _lumarin.ColumnOrder.auto, "ltr": _lumarin.ColumnOrder.ltr, "rtl": _lumarin.ColumnOrder.rtl}
_FONT_FILES = (".ttf", ".otf", ".ttc", ".otc")


def _whole(name, value, low, high=None):
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be a whole number, not {type(value).__name__}")
    if value < low or (high is not None and value > high):
        bounds = f"between {low} and {high}" if high is not None else f"at least {low}"
        raise ValueError(f"{name} must be {bounds}, not {value}")
    return value


def _colour(name, value):
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a colour name or '#RRGGBB', not {type(value).__name__}")
    colour = _lumarin.parse_colour(value)
    if colour is None:
        raise ValueError(f"{name} {value!r} is not a colour: give #RRGGBB or one of "
                         "black, red, green, yellow, blue, magenta, cyan, white")
    return colour


def _choice(name, value, table):
    if value not in table:
        raise ValueError(f"{name} must be one of {', '.join(k for k in table if k)}, not {value!r}")
    return table[value]


def _set_font(style, font):
    """A family, or a font file (a path, or a name ending .ttf/.otf)."""
    if font is None:
        return
    font = os.fspath(font)
    if not isinstance(font, str):
        raise TypeError("font must be a family name or a font file's path")
    if "/" in font or "\\" in font or font.lower().endswith(_FONT_FILES):
        style.font_file = font
    else:
        style.font = font


def _lines(text):
    """A str split as the command splits its input, or lines as given."""
    if isinstance(text, str):
        lines = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
        if len(lines) > 1 and lines[-1] == "":
            lines.pop()
        return lines
    if isinstance(text, (bytes, bytearray)):
        raise TypeError("text must be str (decode bytes first), or a list of str")
    lines = list(text)
    for line in lines:
        if not isinstance(line, str):
            raise TypeError(f"every line must be str, not {type(line).__name__}")
    return lines


def _profile(printer):
    if not isinstance(printer, str):
        raise TypeError("printer must be a profile's name, such as '80mm'")
    names = [p.name for p in _lumarin.printer_profiles()]
    if printer not in names:
        raise ValueError(f"printer must be one of {', '.join(names)}, not {printer!r}")
    return _lumarin.printer_profile(printer)


def printer_profiles():
    """The printer profiles, as ``lumarin --list-printers`` shows them."""
    return _lumarin.printer_profiles()


def render(text, **style):
    """Lines of text as one picture, laid out as the command lays them out.

    ``text`` is a str (split at line endings) or a list of lines. The
    keywords are PageLayout's. With ``printer`` (a profile's name), the
    page takes the printer's width and dpi, one bit a pixel, as
    ``lumarin --printer`` does.
    """
    return PageLayout(**style).render(text)


class PageLayout:
    """A style with its font found and loaded, for many pages: ``render``
    sets one up for every call. May be shared between threads; its calls
    are taken one at a time."""

    def __init__(self, **style):
        self._layout = _lumarin.PageLayout(_page_style(**style))
        self._lock = threading.Lock()

    def render(self, text):
        lines = _lines(text)
        with self._lock:
            return self._layout.render(lines)


class ReceiptLayout:
    """A receipt style with its fonts found and loaded, for many documents,
    as ``receipt`` takes it. May be shared between threads; its calls are
    taken one at a time."""

    def __init__(self, **style):
        self._layout = _lumarin.ReceiptLayout(_receipt_style(**style))
        self._lock = threading.Lock()

    def render(self, document):
        if not isinstance(document, str):
            raise TypeError(f"document must be str, not {type(document).__name__}")
        with self._lock:
            return self._layout.render(document)


def _page_style(*, font=None, size=10, dpi=96, bold=False, italic=False, underline=False,
                strikethru=False, fg="black", bg="white", mono=False, antialias=None, width=None,
                wrap=False, columns=None, tabs=None, align=None, line_spacing=None, line_box=False,
                top=4, side=4, printer=None):
    style = _lumarin.PageStyle()
    _set_font(style, font)
    if isinstance(size, bool) or not isinstance(size, (int, float)):
        raise TypeError(f"size must be a number, not {type(size).__name__}")
    if not 1 <= size <= 2048:
        raise ValueError(f"size must be between 1 and 2048, not {size}")
    style.size = float(size)
    style.dpi = _whole("dpi", dpi, 1, 100000)
    style.bold, style.italic, style.underline, style.strikethrough = (bool(bold), bool(italic), bool(underline),
                                                                      bool(strikethru))
    style.fg = _colour("fg", fg)
    style.bg = _colour("bg", bg)
    if width is not None:
        style.width = _whole("width", width, 1, 65535)
    if printer is not None:
        profile = _profile(printer)
        if width is not None and width > profile.printable_dots:
            raise ValueError(f"width {width} is wider than the {profile.printable_dots} dots "
                             f"the printer {printer!r} prints")
        if width is None:
            style.width = profile.printable_dots
        style.dpi = profile.dpi
        mono = True
        line_box = True
    style.mono = bool(mono)
    if antialias and mono:
        raise ValueError("antialias is for colour output; a 1-bit picture has no grey edges")
    style.antialias = (not mono) if antialias is None else bool(antialias)
    if (wrap or columns is not None) and style.width is None:
        raise ValueError(("wrap" if wrap else "columns") + " needs width")
    style.wrap = bool(wrap)
    if columns is not None:
        style.columns = _whole("columns", columns, 1, 10000)
    if tabs is not None:
        if not isinstance(tabs, str):
            raise TypeError("tabs must be a str such as 'r:end' or '8,16,d:30'")
        try:
            style.tabs = _lumarin.parse_tab_stops(tabs)
        except Error as e:
            raise ValueError(f"tabs: {e}") from None
    style.align = _choice("align", align, _ALIGN)
    if line_spacing is not None:
        style.line_spacing = _whole("line_spacing", line_spacing, 1, 65535)
    style.line_box = bool(line_box)
    style.top = _whole("top", top, 0, 65535)
    style.side = _whole("side", side, 0, 65535)
    return style


def receipt(document, **style):
    """A receipt document as pictures, one a page (a line of '=' is a cut).

    576 dots at 203 dpi unless ``printer`` (a profile's name) or ``width``
    and ``dpi`` say otherwise; a printer's pages are one bit a pixel. The
    keywords are ReceiptLayout's.
    """
    return ReceiptLayout(**style).render(document)


def _receipt_style(*, printer=None, cpl=None, font=None, width=None, dpi=None, fg="black", bg="white",
                   mono=False, column_order="auto"):
    style = _lumarin.ReceiptStyle()
    _set_font(style, font)
    if printer is not None:
        profile = _profile(printer)
        style.width = profile.printable_dots
        style.dpi = profile.dpi
        mono = True
    if width is not None:
        style.width = _whole("width", width, 1, 65535)
    if dpi is not None:
        style.dpi = _whole("dpi", dpi, 1, 100000)
    if cpl is not None:
        style.cpl = _whole("cpl", cpl, 1, 1000)
    style.fg = _colour("fg", fg)
    style.bg = _colour("bg", bg)
    style.mono = bool(mono)
    style.order = _choice("column_order", column_order, _ORDER)
    return style


_FORMATS = {".bmp": "bmp", ".png": "png", ".pbm": "pbm"}
_COMMAND_SETS = ("escpos", "escpos-graphics", "escpos-bitimage", "star")


def _save(self, path, format=None, *, sync=True):
    """Saves the picture over ``path`` atomically, as the command does: a
    reader sees the old file or the new one. The format comes from the
    name's extension unless given."""
    path = os.fspath(path)
    if format is None:
        ext = os.path.splitext(path)[1].lower()
        if ext not in _FORMATS:
            raise ValueError(f"cannot tell the format from {path!r}: give format='png', 'bmp' or 'pbm'")
        format = _FORMATS[ext]
    Picture._save(self, path, format, bool(sync))


def _to_pil(self):
    """The picture as a Pillow image: RGB, or mode '1' where it is 1-bit."""
    try:
        from PIL import Image
    except ImportError:
        raise ImportError("Picture.to_pil() needs Pillow (python3-pil)") from None
    if self.mono:
        import io
        image = Image.open(io.BytesIO(self.encode("png")))
        image.load()
    else:
        image = Image.frombytes("RGB", (self.width, self.height), memoryview(self).tobytes())
    image.info["dpi"] = (self.dpi, self.dpi)
    return image


def _repr(self):
    kind = "1-bit" if self.mono else "colour"
    return f"<lumarin.Picture {self.width} x {self.height} {kind}, {self.dpi} dpi>"


Picture._save = Picture.save
Picture.save = _save
Picture.to_pil = _to_pil
Picture.__repr__ = _repr


class Printer:
    """A printer to send pictures or documents to, as ``lumarin --to``:
    ``tcp://HOST[:PORT]`` for a network printer's raw port, or a device
    such as ``/dev/usb/lp0``. The job is closed (and the printer has taken
    it all) when ``close()`` returns, or at the end of a ``with`` block."""

    def __init__(self, dest, profile="80mm", *, command_set=None, timeout=10):
        if not isinstance(dest, str):
            raise TypeError("dest must be str, such as 'tcp://192.0.2.10' or '/dev/usb/lp0'")
        if isinstance(timeout, bool) or not isinstance(timeout, (int, float)) or not 0.001 <= timeout <= 3600:
            raise ValueError("timeout must be seconds from 0.001 to 3600")
        self.profile = _profile(profile).name
        if command_set is not None and command_set not in _COMMAND_SETS:
            raise ValueError(f"command_set must be one of {', '.join(_COMMAND_SETS)}, not {command_set!r}")
        self.command_set = command_set
        self._connection = _lumarin.Connection(dest, float(timeout))
        self._lock = threading.Lock()  # one job: its pages are not interleaved

    def print(self, *items):
        """Sends each item: a Picture, a list of them, or a receipt
        document (a str) laid out for this printer, each page cut."""
        for item in items:
            if isinstance(item, str):
                item = receipt(item, printer=self.profile)
            pictures = [item] if isinstance(item, Picture) else list(item)
            for picture in pictures:
                if not isinstance(picture, Picture):
                    raise TypeError(f"print takes Pictures or documents, not {type(picture).__name__}")
                data = picture.printer_bytes(self.profile, self.command_set)
                with self._lock:
                    self._connection.write(data)

    @property
    def bytes_sent(self):
        return self._connection.bytes_sent

    def close(self):
        with self._lock:
            self._connection.finish()

    def __enter__(self):
        return self

    def __exit__(self, kind, value, traceback):
        if kind is None:
            self.close()
        return False
