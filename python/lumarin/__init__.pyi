# Type hints for the lumarin package.
import os
from typing import Iterable, Literal, Optional, Sequence, Union

__version__: str

_Format = Literal["bmp", "png", "pbm"]
_CommandSet = Literal["escpos", "escpos-graphics", "escpos-bitimage", "star"]
_Path = Union[str, os.PathLike[str]]

class Error(Exception):
    number: int

class Picture:
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    @property
    def dpi(self) -> int: ...
    @property
    def mono(self) -> bool: ...
    def __buffer__(self, flags: int) -> memoryview: ...
    def encode(self, format: _Format) -> bytes: ...
    def save(self, path: _Path, format: Optional[_Format] = ..., *, sync: bool = ...) -> None: ...
    def printer_bytes(self, profile: str, command_set: Optional[_CommandSet] = ...) -> bytes: ...
    def to_pil(self) -> "PIL.Image.Image": ...  # type: ignore[name-defined]

class PrinterProfile:
    @property
    def name(self) -> str: ...
    @property
    def description(self) -> str: ...
    @property
    def width_dots(self) -> int: ...
    @property
    def dpi(self) -> int: ...
    @property
    def printable_dots(self) -> int: ...

def printer_profiles() -> list[PrinterProfile]: ...

def render(
    text: Union[str, Iterable[str]],
    *,
    font: Optional[_Path] = ...,
    size: float = ...,
    dpi: int = ...,
    bold: bool = ...,
    italic: bool = ...,
    underline: bool = ...,
    strikethru: bool = ...,
    fg: str = ...,
    bg: str = ...,
    mono: bool = ...,
    antialias: Optional[bool] = ...,
    width: Optional[int] = ...,
    wrap: bool = ...,
    columns: Optional[int] = ...,
    tabs: Optional[str] = ...,
    align: Optional[Literal["left", "center", "right"]] = ...,
    line_spacing: Optional[int] = ...,
    line_box: bool = ...,
    top: int = ...,
    side: int = ...,
    printer: Optional[str] = ...,
) -> Picture: ...

def receipt(
    document: str,
    *,
    printer: Optional[str] = ...,
    cpl: Optional[int] = ...,
    font: Optional[_Path] = ...,
    width: Optional[int] = ...,
    dpi: Optional[int] = ...,
    fg: str = ...,
    bg: str = ...,
    mono: bool = ...,
    column_order: Literal["auto", "ltr", "rtl"] = ...,
) -> list[Picture]: ...

class PageLayout:
    def __init__(self, **style: object) -> None: ...
    def render(self, text: Union[str, Iterable[str]]) -> Picture: ...

class ReceiptLayout:
    def __init__(self, **style: object) -> None: ...
    def render(self, document: str) -> list[Picture]: ...

class Printer:
    profile: str
    command_set: Optional[_CommandSet]
    def __init__(self, dest: str, profile: str = ..., *, command_set: Optional[_CommandSet] = ...,
                 timeout: float = ...) -> None: ...
    def print(self, *items: Union[Picture, Sequence[Picture], str]) -> None: ...
    @property
    def bytes_sent(self) -> int: ...
    def close(self) -> None: ...
    def __enter__(self) -> "Printer": ...
    def __exit__(self, kind: object, value: object, traceback: object) -> bool: ...

class synapse:
    LineSpacing: int
    FinalBold: bool
    FileName: str
    FontSize: int
    FontName: str
    FontUnderline: bool
    FontItalic: bool
    FontStrikethru: bool
    ForeColor: str
    BackColor: str
    FontWeight: int
    def __init__(self) -> None: ...
    def PrintText(self, TextString: str, x: int = ..., y: int = ...) -> None: ...
    def MaximumStringLength(self, longString: str) -> None: ...
    def TopPadding(self, height: float) -> None: ...
    def SidePadding(self, length: int) -> None: ...
    def Monotize(self, location: str = ...) -> None: ...
