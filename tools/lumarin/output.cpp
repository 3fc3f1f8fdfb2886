#include "tools/lumarin/output.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "common/text.hpp"
#include "surface/picture.hpp"
#include "tools/lumarin/render.hpp"

namespace lumarin::cli {

namespace {

// Why standard output took no more: only a full device is "Disk full";
// a closed descriptor and a reader that has gone are said as they are.
[[noreturn]] void fail_stdout(int err)
{
    switch (err) {
    case EBADF: file_error("cannot write standard output (closed)");
    case EPIPE: file_error("cannot write standard output (the reader has gone)");
    case ENOSPC:
    case EFBIG: fail(ErrorKind::DiskFull, "cannot write standard output");
    default: file_error(std::string("cannot write standard output: ") + std::strerror(err));
    }
}

void put_stdout(const void* data, std::size_t size)
{
    errno = 0;
    if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0)
        fail_stdout(errno == 0 ? EBADF : errno);
}

void write_to_stdout(const std::vector<std::byte>& bytes)
{
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    put_stdout(bytes.data(), bytes.size());
}

}  // namespace

void write_text(const std::string& text) { put_stdout(text.data(), text.size()); }

void refuse_closed_stdout()
{
#if !defined(_WIN32)
    // Checked before anything is opened: a file opened later would take
    // descriptor 1, and the image would be written into it.
    if (::fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF)
        fail_stdout(EBADF);
#endif
}

SaveOptions save_options(const Options& o, bool last, const std::function<void(const std::string&)>& warn)
{
    SaveOptions save;
    save.sync = last && !o.no_sync;
    save.remove_stale = last;
    if (o.allow_lost_access)
        save.accept_loss = warn;
    return save;
}

void write_image(const Image& image, const Options& o, bool last, const std::function<void(const std::string&)>& warn)
{
    const std::string where = o.output == "-" ? "-o - (standard output)" : "-o " + o.output;
    try {
        if (o.output == "-") {
            write_to_stdout(encode_picture(image, o.format, o.mono, pixel_from_colour(o.bg), o.dpi));
            return;
        }
        Text path;
        from_utf8(o.output, path);  // checked when the options were parsed
        save_picture(image, o.format, o.mono, pixel_from_colour(o.bg), path, save_options(o, last, warn), o.dpi);
    } catch (const lumarin::Error& e) {
        throw JobError(where, e);
    }
}

}  // namespace lumarin::cli
