// connect_printer on Windows: which kind of destination a name is, and the
// pieces the three kinds of connection share.
#include "printer/connection_win32.hpp"

#include <algorithm>
#include <charconv>
#include <string>

#include "common/fail.hpp"
#include "common/text.hpp"
#include "lumarin/error.hpp"
#include "lumarin/text.hpp"
#include "printer/destination.hpp"

namespace lumarin {

namespace win {

namespace {

constexpr int kLastComPort = 256;

[[noreturn]] void refuse(std::string_view destination, const std::string& why)
{
    fail(ErrorKind::InvalidPropertyValue, "printer destination '" + escape_controls(destination) + "': " + why);
}

// A number of at most `digits` digits without a leading zero, or nothing.
std::optional<int> whole_number(std::string_view text, std::size_t digits)
{
    if (text.empty() || text.size() > digits || text[0] == '0')
        return std::nullopt;
    int n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return n;
}

Destination parse_tcp(const NetworkAddress& address)
{
    Destination d;
    d.kind = Destination::Kind::Tcp;
    d.host = address.host;
    d.port = static_cast<std::uint16_t>(std::stoi(address.port));
    return d;
}

// COMn, COMn: or \\.\COMn with n from 1 to 256.
std::optional<int> com_port_number(std::string_view name)
{
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    const bool device_form = name.starts_with(kDevicePrefix);
    if (device_form)
        name.remove_prefix(kDevicePrefix.size());
    if (!starts_with_ascii_nocase(name, "COM"))
        return std::nullopt;
    name.remove_prefix(3);
    if (!device_form && name.ends_with(':'))
        name.remove_suffix(1);
    const auto n = whole_number(name, 3);
    if (!n || *n > kLastComPort)
        return std::nullopt;
    return n;
}

std::wstring wide(const Text& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

Destination parse_destination(std::string_view destination)
{
    if (destination.empty())
        fail(ErrorKind::InvalidPropertyValue, "no printer destination: give tcp://HOST[:PORT], a COM port or a "
                                              "printer's name");
    Text text;
    if (!from_utf8(destination, text))
        refuse(destination, "not UTF-8");
    if (const auto address = network_address(destination))
        return parse_tcp(*address);
    Destination d;
    if (const auto port = com_port_number(destination)) {
        d.kind = Destination::Kind::Serial;
        d.device = L"\\\\.\\COM" + std::to_wstring(*port);
        return d;
    }
    d.kind = Destination::Kind::Spooler;
    d.printer = wide(text);
    return d;
}

std::string system_message(DWORD error)
{
    wchar_t buffer[512];
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                       nullptr, error, 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    std::u16string text(buffer, buffer + length);
    while (!text.empty() && std::u16string_view(u" .\r\n").find(text.back()) != std::u16string_view::npos)
        text.pop_back();
    const std::string number = "error " + std::to_string(error);
    return text.empty() ? number : to_utf8(text) + " (" + number + ")";
}

Waiting::Waiting(std::chrono::milliseconds limit, const std::function<void()>& check_stop)
    : limit_(limit), check_stop_(check_stop), deadline_(std::chrono::steady_clock::now() + limit)
{
}

std::optional<DWORD> Waiting::next_slice()
{
    if (check_stop_)
        check_stop_();
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now()).count();
    if (left <= 0)
        return std::nullopt;
    return static_cast<DWORD>(std::min<long long>(left, kSliceMs));
}

void Waiting::restart() { deadline_ = std::chrono::steady_clock::now() + limit_; }

std::string quoted(std::string_view name)
{
    // Appended rather than added up: GCC 12 warns wrongly of overlapping
    // copies in "'" + text.
    std::string out = "'";
    out += escape_controls(name);
    out += '\'';
    return out;
}

std::string duration_text(std::chrono::milliseconds limit)
{
    const auto ms = limit.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

}  // namespace win

std::unique_ptr<PrinterConnection> connect_printer(std::string_view destination, const ConnectionOptions& options)
{
    const win::Destination d = win::parse_destination(destination);
    switch (d.kind) {
    case win::Destination::Kind::Tcp:
        return win::connect_tcp(d, destination, options);
    case win::Destination::Kind::Serial:
        return win::connect_serial(d, destination, options);
    case win::Destination::Kind::Spooler:
        break;
    }
    return win::connect_spooler(d, destination, options, win::system_spooler());
}

}  // namespace lumarin
