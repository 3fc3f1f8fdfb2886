#include "surface/file.hpp"

#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "common/text.hpp"

namespace lumarin {

void check_file_name(const Text& path)
{
    if (path.empty())
        fail(ErrorKind::BadFileName, "no file name");
    if (has_lone_surrogate_or_nul(path))
        fail(ErrorKind::BadFileName, cannot_write(path));
}

std::string cannot_write(const Text& path)
{
    return "cannot write " + escape_controls(to_utf8(path));
}

}  // namespace lumarin
