// Printer connections on Windows: not yet built.
#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "lumarin/printer.hpp"

namespace lumarin {

std::unique_ptr<PrinterConnection> connect_printer(std::string_view destination, const ConnectionOptions&)
{
    fail(ErrorKind::DeviceUnavailable, "cannot send to '" + std::string(destination) + "': this build has no printer connections");
}

}  // namespace lumarin
