"""The Python module against the command: the same pixels, pages, bytes and
errors, from one thread and from four. Run by ctest with LUMARIN_TOOL (the
command) and the build's python folder on PYTHONPATH."""
import concurrent.futures
import io
import os
import pathlib
import socket
import subprocess
import sys
import threading

import pytest
from PIL import Image

import lumarin

ROOT = pathlib.Path(__file__).resolve().parents[2]
TOOL = os.environ["LUMARIN_TOOL"]
sys.path.insert(0, str(ROOT / "tests"))
import printer_decode  # noqa: E402

MIXED = "Coffee\t3.50\nשלום עולם\t12.00\nمرحبا\t7.25\nยินดีต้อนรับ\t1.00\n日本語のテキスト\t9.99\n"

# (command options, keyword arguments): the same job both ways.
JOBS = [
    ([], {}),
    (["--size", "14", "--bold", "--fg", "#203040", "--bg", "yellow"],
     {"size": 14, "bold": True, "fg": "#203040", "bg": "yellow"}),
    (["--width", "576", "--tabs", "r:end", "--dpi", "203"], {"width": 576, "tabs": "r:end", "dpi": 203}),
    (["--width", "200", "--wrap", "--align", "center"], {"width": 200, "wrap": True, "align": "center"}),
    (["--width", "384", "--columns", "32", "--line-box", "--mono"],
     {"width": 384, "columns": 32, "line_box": True, "mono": True}),
    (["--no-antialias", "--line-spacing", "30", "--top", "0", "--side", "9", "--italic"],
     {"antialias": False, "line_spacing": 30, "top": 0, "side": 9, "italic": True}),
    (["--printer", "58mm"], {"printer": "58mm"}),
]


def command(args, stdin=None):
    return subprocess.run([TOOL, *map(str, args)], input=stdin, capture_output=True)


def command_picture(tmp_path, args, text):
    source = tmp_path / "in.txt"
    source.write_text(text, encoding="utf-8")
    out = tmp_path / "out.png"
    r = command([*args, "--no-sync", "-o", out, source])
    assert r.returncode == 0, r.stderr.decode()
    with Image.open(out) as im:
        return im.convert("RGB").tobytes(), im.size


def pixels(picture):
    return picture.to_pil().convert("RGB").tobytes(), (picture.width, picture.height)


@pytest.mark.parametrize("args,kwargs", JOBS, ids=[" ".join(a) or "defaults" for a, _ in JOBS])
def test_render_draws_what_the_command_draws(tmp_path, args, kwargs):
    picture = lumarin.render(MIXED, **kwargs)
    assert pixels(picture) == command_picture(tmp_path, args, MIXED)
    assert picture.mono == ("--mono" in args or "--printer" in args)


def test_receipt_pages_are_the_commands(tmp_path):
    document = (ROOT / "samples" / "sale.receipt").read_text(encoding="utf-8")
    document += "=\nSecond page | 1.00\n"
    pages = lumarin.receipt(document)
    assert len(pages) == 2
    r = command(["--receipt", "--no-sync", "-o", tmp_path / "page.png", ROOT / "samples" / "sale.receipt"])
    assert r.returncode == 0, r.stderr.decode()
    (tmp_path / "doc.receipt").write_text(document, encoding="utf-8")
    r = command(["--no-sync", "-o", tmp_path / "page.png", tmp_path / "doc.receipt"])
    assert r.returncode == 0, r.stderr.decode()
    for n, page in enumerate(pages, 1):
        with Image.open(tmp_path / f"page-{n}.png") as im:
            assert pixels(page) == (im.convert("RGB").tobytes(), im.size), f"page {n}"


def test_printer_bytes_decode_to_the_picture_and_match_the_command(tmp_path):
    picture = lumarin.render(MIXED, printer="80mm")
    expected = [[0 if p == (255, 255, 255) else 1 for p in row] for row in rows_of(picture)]
    for command_set in printer_decode.COMMAND_SETS:
        data = picture.printer_bytes("80mm", command_set)
        pages = printer_decode.decode(data, command_set, dpi=203, width=576)
        dots = [row[:picture.width] for row in pages[0].dots()]
        assert dots[:picture.height] == expected, command_set
    source = tmp_path / "in.txt"
    source.write_text(MIXED, encoding="utf-8")
    r = command(["--printer", "80mm", "-o", "-", source])
    assert r.returncode == 0, r.stderr.decode()
    assert picture.printer_bytes("80mm") == r.stdout


def rows_of(picture):
    im = picture.to_pil().convert("RGB")
    data = list(im.getdata())
    return [data[y * im.width:(y + 1) * im.width] for y in range(im.height)]


def test_a_network_printer_receives_the_job():
    received = bytearray()
    server = socket.create_server(("127.0.0.1", 0))
    port = server.getsockname()[1]

    def take():
        connection, _ = server.accept()
        with connection:
            while chunk := connection.recv(65536):
                received.extend(chunk)

    taker = threading.Thread(target=take)
    taker.start()
    document = "Coffee | 3.50\nTea | 2.00\n=\nThank you\n"
    with lumarin.Printer(f"tcp://127.0.0.1:{port}", "80mm") as printer:
        printer.print(document)
    taker.join(timeout=30)
    server.close()
    expected = b"".join(page.printer_bytes("80mm") for page in lumarin.receipt(document, printer="80mm"))
    assert bytes(received) == expected
    assert printer.bytes_sent == len(expected)
    assert len(printer_decode.decode(bytes(received), "escpos", dpi=203, width=576)) == 2


def test_pictures_round_trip_through_pillow_and_save_as_the_command(tmp_path):
    colour = lumarin.render("Grey edges Åå", size=20)
    with Image.open(io.BytesIO(colour.encode("png"))) as im:
        assert im.convert("RGB").tobytes() == colour.to_pil().tobytes()
    view = memoryview(colour)
    assert view.shape == (colour.height, colour.width, 3) and view.readonly
    # R, G, B from the top left, read in place.
    pil = colour.to_pil()
    for x, y in ((0, 0), (colour.width // 2, colour.height // 2), (colour.width - 1, colour.height - 1)):
        assert tuple(view[y, x, c] for c in range(3)) == pil.getpixel((x, y))
    mono = lumarin.render("One bit", mono=True)
    pil = mono.to_pil()
    assert pil.mode == "1" and pil.info["dpi"][0] == 96
    target = tmp_path / "mono.bmp"
    mono.save(target)
    assert target.read_bytes() == mono.encode("bmp")
    mono.save(str(tmp_path / "x.pbm"))
    assert (tmp_path / "x.pbm").read_bytes().startswith(b"P4")
    with pytest.raises(ValueError):
        mono.save(tmp_path / "no-extension")
    assert [p.name for p in tmp_path.iterdir() if p.name.startswith(".")] == []


def test_errors_carry_the_commands_numbers_and_messages(tmp_path):
    source = tmp_path / "in.txt"
    source.write_text("W" * 40 + "\n", encoding="utf-8")
    r = command(["--width", "100", "--no-sync", "-o", tmp_path / "x.png", source])
    assert r.returncode == 3
    with pytest.raises(lumarin.Error) as caught:
        lumarin.render("W" * 40, width=100)
    assert caught.value.number == 380
    assert r.stderr.decode().strip() == f"lumarin: {caught.value}"
    with pytest.raises(lumarin.Error) as caught:
        lumarin.receipt("{code:12345; option:ean}\n")
    assert caught.value.number == 380 and "line 1" in str(caught.value)
    with pytest.raises(lumarin.Error) as caught:
        lumarin.render("x", font="/no/such/font.ttf")
    assert caught.value.number == 53
    with pytest.raises(lumarin.Error) as caught:
        lumarin.Printer("tcp://127.0.0.1:1", timeout=2)
    assert caught.value.number in (57, 68)


@pytest.mark.parametrize("kwargs,error", [
    ({"size": 0}, ValueError), ({"size": "10"}, TypeError), ({"fg": "purple"}, ValueError),
    ({"align": "middle"}, ValueError), ({"tabs": "r:x"}, ValueError), ({"wrap": True}, ValueError),
    ({"width": 10.5}, TypeError), ({"printer": "99mm"}, ValueError), ({"mono": True, "antialias": True}, ValueError),
])
def test_bad_arguments_are_python_errors(kwargs, error):
    with pytest.raises(error):
        lumarin.render("x", **kwargs)


def test_bad_inputs_are_python_errors():
    with pytest.raises(TypeError):
        lumarin.render(b"bytes")
    with pytest.raises(TypeError):
        lumarin.render(["a", 1])
    with pytest.raises(ValueError):
        lumarin.receipt("x", column_order="up")
    with pytest.raises(ValueError):
        lumarin.render("x").printer_bytes("80mm", "pcl")
    with pytest.raises(ValueError):
        lumarin.Printer("tcp://127.0.0.1:9", command_set="pcl")


def test_four_threads_draw_what_one_draws():
    jobs = [dict(kwargs) for _, kwargs in JOBS] * 2
    alone = [pixels(lumarin.render(MIXED, **kwargs)) for kwargs in jobs]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda kwargs: pixels(lumarin.render(MIXED, **kwargs)), jobs))
    assert together == alone
    shared = lumarin.PageLayout(width=300, wrap=True, tabs="r:end")
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        shared_pixels = list(pool.map(lambda _: pixels(shared.render(MIXED)), range(8)))
    assert shared_pixels == [pixels(lumarin.render(MIXED, width=300, wrap=True, tabs="r:end"))] * 8
    document = (ROOT / "samples" / "sale.receipt").read_text(encoding="utf-8")
    alone = pixels(lumarin.receipt(document)[0])
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        assert all(p == alone for p in pool.map(lambda _: pixels(lumarin.receipt(document)[0]), range(8)))


def test_the_object_writes_what_the_command_writes_in_its_own_job(tmp_path):
    source = tmp_path / "in.txt"
    source.write_text("Receipt\nTotal 12.50\n", encoding="utf-8")
    r = command(["--compat", "--no-sync", "-o", tmp_path / "cmd.bmp", source])
    assert r.returncode == 0, r.stderr.decode()
    s = lumarin.synapse()
    s.FontName = "Liberation Mono"
    s.FontSize = 10
    s.LineSpacing = 16
    s.ForeColor = "black"
    s.BackColor = "white"
    s.FileName = str(tmp_path / "py.bmp")
    s.MaximumStringLength("Total 12.50")
    s.SidePadding(4)
    s.TopPadding(4)
    for line in ("Receipt", "Total 12.50"):
        s.PrintText(line, 0, 0)
    assert (tmp_path / "py.bmp").read_bytes() == (tmp_path / "cmd.bmp").read_bytes()
    s.FinalBold = True
    assert s.FinalBold is True


def test_ctrl_c_stops_a_long_job_with_keyboard_interrupt():
    import signal
    words = "alpha beta gamma delta receipt total price coffee " * 200_000  # 10 MB, seconds to wrap
    timer = threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            lumarin.render(words, width=576, wrap=True, size=1)
    finally:
        timer.cancel()


def test_warnings_are_python_warnings_and_pillow_is_asked_for_by_name(monkeypatch):
    with pytest.warns(UserWarning, match="not installed"):
        lumarin.render("x", font="No Such Family Here")
    with pytest.warns(UserWarning, match="line 1, column 2"):
        lumarin.receipt("{bogus: 1}\nx\n")
    monkeypatch.setitem(sys.modules, "PIL", None)
    with pytest.raises(ImportError, match="needs Pillow"):
        lumarin.render("x").to_pil()
