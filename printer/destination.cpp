#include "printer/destination.hpp"

#include <algorithm>

#include "common/fail.hpp"
#include "common/text.hpp"
#include "lumarin/error.hpp"

namespace lumarin {

std::optional<NetworkAddress> network_address(std::string_view destination)
{
    constexpr std::string_view kScheme = "tcp://";
    if (!starts_with_ascii_nocase(destination, kScheme))
        return std::nullopt;
    const auto refuse = [&](const std::string& why) {
        fail(ErrorKind::InvalidPropertyValue, "'" + escape_controls(destination) + "' is not a printer's address: " + why +
                                         "; give tcp://HOST or tcp://HOST:PORT");
    };
    std::string_view rest = destination.substr(kScheme.size());
    if (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);
    NetworkAddress address;
    std::string_view port;
    bool has_port = false;
    if (rest.starts_with('[')) {
        const auto close = rest.find(']');
        if (close == std::string_view::npos)
            refuse("the '[' has no ']'");
        address.host = std::string(rest.substr(1, close - 1));
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty() && !after.starts_with(':'))
            refuse("only a port may follow the address");
        has_port = !after.empty();
        port = has_port ? after.substr(1) : std::string_view();
    } else {
        const auto colon = rest.rfind(':');
        address.host = std::string(rest.substr(0, colon));
        has_port = colon != std::string_view::npos;
        port = has_port ? rest.substr(colon + 1) : std::string_view();
        if (address.host.find(':') != std::string::npos)
            refuse("an IPv6 address goes in brackets");
    }
    if (address.host.empty())
        refuse("it names no host");
    if (address.host.find_first_of("/?#@ ") != std::string::npos)
        refuse("a host name has no '/', '?', '#', '@' or space");
    if (!has_port) {
        address.port = "9100";
        return address;
    }
    const bool digits = !port.empty() && port[0] != '0' &&
                        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || port.size() > 5 || std::stoi(std::string(port)) > 65535)
        refuse("the port '" + std::string(port) + "' is not a number from 1 to 65535");
    address.port = std::string(port);
    return address;
}

}  // namespace lumarin
