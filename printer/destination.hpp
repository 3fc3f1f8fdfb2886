// Destination names, as every platform reads them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumarin {

struct NetworkAddress {
    std::string host;  // without the brackets of an IPv6 literal
    std::string port;  // digits; 9100 when not given
};

// "tcp://HOST[:PORT]" and "tcp://[V6]:PORT" (the scheme in any case) as an
// address; nullopt for any other destination. A tcp:// name that cannot be
// an address fails with InvalidPropertyValue, saying why.
std::optional<NetworkAddress> network_address(std::string_view destination);

}  // namespace lumarin
