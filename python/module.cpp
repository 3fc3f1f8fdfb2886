// The library's objects as Python sees them, in `lumarin._lumarin`. The
// package's __init__.py turns the command's option names into the styles
// here; this file only converts types, releases the GIL while the library
// works, and turns lumarin::Error into lumarin.Error.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lumarin/error.hpp"
#include "lumarin/page.hpp"
#include "lumarin/picture.hpp"
#include "lumarin/printer.hpp"
#include "lumarin/receipt.hpp"
#include "lumarin/synapse.hpp"
#include "lumarin/text.hpp"
#include "lumarin/version.hpp"
#include "surface/image.hpp"
#include "surface/picture.hpp"

namespace py = pybind11;

namespace lumarin::python {

namespace {

// Ctrl-C while the library works with the GIL released: the signal's
// Python handler runs at the next check, and the library stops there.
struct Interrupted {};

// Takes the GIL to look, at most every 10 ms: the library asks far more
// often than that, and the GIL is not free.
class SignalCheck {
public:
    void operator()()
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(10))
            return;
        last_ = now;
        const py::gil_scoped_acquire gil;
        if (PyErr_CheckSignals() != 0)
            throw Interrupted{};
    }

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

std::function<void()> signal_check() { return SignalCheck(); }

// Runs `work` without the GIL; a stop it heard is raised as Python's own
// error (KeyboardInterrupt) once the GIL is back.
template <typename Work>
auto without_gil(Work work)
{
    {
        const py::gil_scoped_release release;
        try {
            return work();
        } catch (const Interrupted&) {
        }
    }
    throw py::error_already_set();
}

PageEvents events_with_stop(std::vector<std::string>* warnings)
{
    PageEvents events;
    events.check_stop = signal_check();
    if (warnings)
        events.warn = [warnings](const std::string& message) { warnings->push_back(message); };
    return events;
}

// Warnings go to Python's warnings module, as the command prints them.
void issue_warnings(const std::vector<std::string>& warnings)
{
    for (const std::string& message : warnings)
        if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 2) != 0)
            throw py::error_already_set();
}

PictureFormat format_named(const std::string& name)
{
    if (name == "bmp")
        return PictureFormat::Bmp;
    if (name == "png")
        return PictureFormat::Png;
    if (name == "pbm")
        return PictureFormat::Pbm;
    throw py::value_error("format must be 'bmp', 'png' or 'pbm', not '" + name + "'");
}

py::bytes as_bytes(const std::vector<std::byte>& bytes)
{
    return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

PrinterProfile profile_for(const std::string& name, const std::optional<std::string>& command_set)
{
    PrinterProfile profile = printer_profile(name);
    if (command_set) {
        const auto set = command_set_named(*command_set);
        if (!set)
            throw py::value_error("command_set must be 'escpos', 'escpos-graphics', 'escpos-bitimage' or 'star', not '" +
                                  *command_set + "'");
        profile.commands = *set;
    }
    return profile;
}

// The pixels as rows of R, G, B bytes from the top, read in place: the
// image keeps B, G, R with its bottom row first.
py::buffer_info pixels_of(const Picture& picture)
{
    const Image& image = picture.data().image;
    const auto stride = static_cast<py::ssize_t>(image.stride());
    const std::span<const std::byte> rows = image.file_rows();
    auto* top_red = const_cast<std::byte*>(rows.data()) + (image.height() - 1) * stride + 2;
    return py::buffer_info(top_red, 1, py::format_descriptor<std::uint8_t>::format(), 3,
                           {static_cast<py::ssize_t>(image.height()), static_cast<py::ssize_t>(image.width()),
                            py::ssize_t{3}},
                           {-stride, py::ssize_t{3}, py::ssize_t{-1}}, true);
}

class Connection {
public:
    Connection(const std::string& destination, double timeout)
    {
        ConnectionOptions options;
        options.connect_timeout = std::chrono::milliseconds(static_cast<long long>(timeout * 1000));
        options.write_timeout = options.connect_timeout;
        options.check_stop = signal_check();
        options_ = options;
        connection_ = without_gil([&] { return connect_printer(destination, options_); });
    }

    void write(py::bytes data)
    {
        const std::string bytes = data;
        without_gil([&] {
            live().write(std::as_bytes(std::span(bytes)));
            return 0;
        });
    }

    void finish()
    {
        without_gil([&] {
            live().finish();
            return 0;
        });
        sent_ = connection_->bytes_sent();
        connection_.reset();
    }

    std::uint64_t bytes_sent() const { return connection_ ? connection_->bytes_sent() : sent_; }

private:
    PrinterConnection& live()
    {
        if (!connection_)
            throw std::logic_error("the printer's connection is closed");
        return *connection_;
    }

    ConnectionOptions options_;
    std::unique_ptr<PrinterConnection> connection_;
    std::uint64_t sent_ = 0;
};

void bind_styles(py::module_& m)
{
    py::class_<TabStops>(m, "TabStops");
    m.def("parse_tab_stops", &parse_tab_stops);
    m.def("parse_colour", &parse_colour);

    py::enum_<Align>(m, "Align")
        .value("natural", Align::Natural)
        .value("left", Align::Left)
        .value("center", Align::Center)
        .value("right", Align::Right);
    py::enum_<ColumnOrder>(m, "ColumnOrder")
        .value("auto", ColumnOrder::Auto)
        .value("ltr", ColumnOrder::LeftToRight)
        .value("rtl", ColumnOrder::RightToLeft);

    py::class_<PageStyle>(m, "PageStyle")
        .def(py::init<>())
        .def_readwrite("font", &PageStyle::font)
        .def_readwrite("font_file", &PageStyle::font_file)
        .def_readwrite("size", &PageStyle::size)
        .def_readwrite("dpi", &PageStyle::dpi)
        .def_readwrite("bold", &PageStyle::bold)
        .def_readwrite("italic", &PageStyle::italic)
        .def_readwrite("underline", &PageStyle::underline)
        .def_readwrite("strikethrough", &PageStyle::strikethrough)
        .def_readwrite("fg", &PageStyle::fg)
        .def_readwrite("bg", &PageStyle::bg)
        .def_readwrite("antialias", &PageStyle::antialias)
        .def_readwrite("mono", &PageStyle::mono)
        .def_readwrite("width", &PageStyle::width)
        .def_readwrite("wrap", &PageStyle::wrap)
        .def_readwrite("columns", &PageStyle::columns)
        .def_readwrite("align", &PageStyle::align)
        .def_readwrite("tabs", &PageStyle::tabs)
        .def_readwrite("line_spacing", &PageStyle::line_spacing)
        .def_readwrite("side", &PageStyle::side)
        .def_readwrite("top", &PageStyle::top)
        .def_readwrite("line_box", &PageStyle::line_box);

    py::class_<ReceiptStyle>(m, "ReceiptStyle")
        .def(py::init<>())
        .def_readwrite("font", &ReceiptStyle::font)
        .def_readwrite("font_file", &ReceiptStyle::font_file)
        .def_readwrite("width", &ReceiptStyle::width)
        .def_readwrite("dpi", &ReceiptStyle::dpi)
        .def_readwrite("cpl", &ReceiptStyle::cpl)
        .def_readwrite("fg", &ReceiptStyle::fg)
        .def_readwrite("bg", &ReceiptStyle::bg)
        .def_readwrite("mono", &ReceiptStyle::mono)
        .def_readwrite("order", &ReceiptStyle::order)
        .def_readwrite("top", &ReceiptStyle::top);

    py::class_<PrinterProfile>(m, "PrinterProfile")
        .def_readonly("name", &PrinterProfile::name)
        .def_readonly("description", &PrinterProfile::description)
        .def_readonly("width_dots", &PrinterProfile::width_dots)
        .def_readonly("dpi", &PrinterProfile::dpi)
        .def_property_readonly("printable_dots", &PrinterProfile::printable_dots);
    m.def("printer_profile", [](const std::string& name) { return printer_profile(name); });
    m.def("printer_profiles", [] {
        const auto all = printer_profiles();
        return std::vector<PrinterProfile>(all.begin(), all.end());
    });
}

void bind_picture(py::module_& m)
{
    py::class_<Picture>(m, "Picture", py::buffer_protocol())
        .def_property_readonly("width", &Picture::width)
        .def_property_readonly("height", &Picture::height)
        .def_property_readonly("dpi", &Picture::dpi)
        .def_property_readonly("mono", &Picture::mono)
        .def_buffer(pixels_of)
        .def(
            "encode",
            [](const Picture& p, const std::string& format) {
                const PictureFormat f = format_named(format);
                return as_bytes(without_gil([&] { return p.encode(f); }));
            },
            py::arg("format"))
        .def(
            "save",
            [](const Picture& p, const std::string& path, const std::string& format, bool sync) {
                const PictureFormat f = format_named(format);
                SaveOptions options;
                options.sync = sync;
                without_gil([&] {
                    p.save(path, f, options);
                    return 0;
                });
            },
            py::arg("path"), py::arg("format"), py::arg("sync"))
        .def(
            "printer_bytes",
            [](const Picture& p, const std::string& profile, const std::optional<std::string>& command_set) {
                const PrinterProfile chosen = profile_for(profile, command_set);
                return as_bytes(without_gil([&] { return printer_bytes(p, chosen); }));
            },
            py::arg("profile"), py::arg("command_set") = py::none());
}

// `work(events)` without the GIL, the warnings it heard issued after.
template <typename Work>
auto with_warnings(Work work)
{
    std::vector<std::string> warnings;
    auto result = without_gil([&] { return work(events_with_stop(&warnings)); });
    issue_warnings(warnings);
    return result;
}

// A layout is set up once (its font found and loaded) for many calls; the
// package takes its calls one at a time.
template <typename Layout, typename Style, typename Input>
void bind_layout(py::module_& m, const char* name)
{
    py::class_<Layout>(m, name)
        .def(py::init([](const Style& style) {
            return with_warnings([&](const PageEvents& events) { return std::make_unique<Layout>(style, events); });
        }))
        .def("render", [](Layout& layout, Input input) {
            return with_warnings([&](const PageEvents& events) { return layout.render(std::move(input), events); });
        });
}

void bind_layouts(py::module_& m)
{
    bind_layout<PageLayout, PageStyle, std::vector<std::string>>(m, "PageLayout");
    bind_layout<ReceiptLayout, ReceiptStyle, std::string>(m, "ReceiptLayout");
    py::class_<Connection>(m, "Connection")
        .def(py::init<const std::string&, double>())
        .def("write", &Connection::write)
        .def("finish", &Connection::finish)
        .def_property_readonly("bytes_sent", &Connection::bytes_sent);
}

// A Boolean member as Python's bool: True is the automation True.
template <Boolean synapse::*Member>
void bind_flag(py::class_<synapse>& c, const char* name)
{
    c.def_property(
        name, [](const synapse& s) { return s.*Member == kTrue; },
        [](synapse& s, bool v) { s.*Member = v ? kTrue : kFalse; });
}

// The object itself, its members by their own names. Its methods keep
// the GIL: a script's one object is not drawn on from two threads at once.
void bind_synapse(py::module_& m)
{
    py::class_<synapse> c(m, "synapse");
    bind_flag<&synapse::FinalBold>(c, "FinalBold");
    bind_flag<&synapse::FontUnderline>(c, "FontUnderline");
    bind_flag<&synapse::FontItalic>(c, "FontItalic");
    bind_flag<&synapse::FontStrikethru>(c, "FontStrikethru");
    c
        .def(py::init<>())
        .def_readwrite("LineSpacing", &synapse::LineSpacing)
        .def_readwrite("FileName", &synapse::FileName)
        .def_readwrite("FontSize", &synapse::FontSize)
        .def_readwrite("FontName", &synapse::FontName)
        .def_readwrite("ForeColor", &synapse::ForeColor)
        .def_readwrite("BackColor", &synapse::BackColor)
        .def_readwrite("FontWeight", &synapse::FontWeight)
        .def("PrintText", &synapse::PrintText, py::arg("TextString"), py::arg("x") = 0, py::arg("y") = 0)
        .def("MaximumStringLength", &synapse::MaximumStringLength, py::arg("longString"))
        .def("TopPadding", py::overload_cast<double>(&synapse::TopPadding), py::arg("height"))
        .def("SidePadding", &synapse::SidePadding, py::arg("length"))
        .def("Monotize", &synapse::Monotize, py::arg("location") = Text());
}

}  // namespace

}  // namespace lumarin::python

PYBIND11_MODULE(_lumarin, m)
{
    using namespace lumarin::python;
    m.doc() = "The Lumarin library's objects; use the lumarin package.";
    m.attr("__version__") = lumarin::version();
    // lumarin.Error: the command's message, and the error's number.
    static py::exception<lumarin::Error> error(m, "Error");
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p)
                std::rethrow_exception(p);
        } catch (const lumarin::Error& e) {
            const std::string message = std::string(e.what()) + " (error " + std::to_string(e.number()) + ")";
            py::object instance = py::reinterpret_borrow<py::object>(error.ptr())(message);
            instance.attr("number") = e.number();
            PyErr_SetObject(error.ptr(), instance.ptr());
        }
    });
    bind_styles(m);
    bind_picture(m);
    bind_layouts(m);
    bind_synapse(m);
}
