#include "tools/lumarin/output.hpp"

#include <cstdio>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "common/text.hpp"
#include "surface/picture.hpp"
#include "tools/lumarin/render.hpp"

namespace lumarin::cli {

namespace {

void write_to_stdout(const std::vector<std::byte>& bytes)
{
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
        fail(ErrorKind::DiskFull, "cannot write standard output");
}

}  // namespace

SaveOptions save_options(const Options& o, bool last, const std::function<void(const std::string&)>& warn)
{
    SaveOptions save;
    save.sync = last && !o.no_sync;
    if (o.allow_lost_access)
        save.accept_loss = warn;
    return save;
}

void write_image(const Image& image, const Options& o, bool last, const std::function<void(const std::string&)>& warn)
{
    const std::string where = o.output == "-" ? "-o - (standard output)" : "-o " + o.output;
    try {
        if (o.output == "-") {
            write_to_stdout(encode_picture(image, o.format, o.mono, pixel_from_colour(o.bg)));
            return;
        }
        Text path;
        from_utf8(o.output, path);  // checked when the options were parsed
        save_picture(image, o.format, o.mono, pixel_from_colour(o.bg), path, save_options(o, last, warn));
    } catch (const lumarin::Error& e) {
        throw JobError(where, e);
    }
}

}  // namespace lumarin::cli
