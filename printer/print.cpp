// A picture encoded for a profile and sent to a destination.
#include "lumarin/printer.hpp"

namespace lumarin {

void print_picture(const Picture& picture, const PrinterProfile& profile, std::string_view destination,
                   const ConnectionOptions& options)
{
    const auto connection = connect_printer(destination, options);
    PrinterEncoder encoder(profile, [&](std::span<const std::byte> bytes) { connection->write(bytes); });
    encoder.finish(picture);
    connection->finish();
}

}  // namespace lumarin
