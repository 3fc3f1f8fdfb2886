#include "tools/lumarin/output.hpp"

#include <cstdio>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "common/text.hpp"
#include "surface/bmp.hpp"
#include "tools/lumarin/render.hpp"

namespace lumarin::cli {

namespace {

std::vector<std::byte> encode(const Image& image, const Options& o)
{
    const Pixel background = pixel_from_colour(o.bg);
    if (o.format != Format::Bmp)
        fail(ErrorKind::InvalidPropertyValue, "this build cannot write that format");
    return o.mono ? encode_bmp1(image, background) : encode_bmp24(image);
}

void save(const Image& image, const Options& o, const Text& path)
{
    const Pixel background = pixel_from_colour(o.bg);
    if (o.format != Format::Bmp)
        fail(ErrorKind::InvalidPropertyValue, "this build cannot write that format");
    if (o.mono)
        SaveMonoPicture(image, background, path);
    else
        SavePicture(image, path);
}

void write_to_stdout(const std::vector<std::byte>& bytes)
{
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
        fail(ErrorKind::DiskFull, "cannot write standard output");
}

}  // namespace

void write_image(const Image& image, const Options& o)
{
    const std::string where = o.output == "-" ? "-o - (standard output)" : "-o " + o.output;
    try {
        if (o.output == "-") {
            write_to_stdout(encode(image, o));
            return;
        }
        Text path;
        from_utf8(o.output, path);  // checked when the options were parsed
        save(image, o, path);
    } catch (const lumarin::Error& e) {
        throw JobError(where, e);
    }
}

}  // namespace lumarin::cli
