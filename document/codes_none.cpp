// The Windows builds: no MinGW build of zint or libqrencode is packaged,
// so these builds draw no codes and say so.
#include "document/codes.hpp"

#include "common/fail.hpp"
#include "lumarin/error.hpp"

namespace lumarin {

CodeImage draw_code(std::string_view, const CodeOptions&)
{
    fail(ErrorKind::InvalidPropertyValue, "this build draws no barcodes or QR codes");
}

bool codes_available() noexcept
{
    return false;
}

}  // namespace lumarin
