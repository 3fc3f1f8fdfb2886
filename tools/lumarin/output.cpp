#include "tools/lumarin/output.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/text.hpp"
#include "surface/file.hpp"
#include "surface/picture.hpp"
#include "tools/lumarin/render.hpp"
#include "common/fail.hpp"

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

// What a failed write to standard output means, as errno. The Windows C
// runtime says a pipe whose reader has gone is EINVAL (from ERROR_NO_DATA)
// or ENOSPC (where the system took no bytes): not a full disk, which a
// pipe cannot have, but the reader gone.
int stdout_failure(int err)
{
#if defined(_WIN32)
    const unsigned long system = _doserrno;
    if (system == ERROR_NO_DATA || system == ERROR_BROKEN_PIPE)
        return EPIPE;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
    if ((err == EINVAL || err == ENOSPC) && ::GetFileType(handle) == FILE_TYPE_PIPE)
        return EPIPE;
#endif
    return err == 0 ? EBADF : err;
}

void put_stdout(const void* data, std::size_t size)
{
    errno = 0;
    if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0)
        fail_stdout(stdout_failure(errno));
}

void write_to_stdout(const std::vector<std::byte>& bytes)
{
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    put_stdout(bytes.data(), bytes.size());
}

// The folder a new file at `target` would be made in: links followed, as
// the save follows them.
std::filesystem::path folder_of(const std::filesystem::path& target)
{
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(target, ec);
    const std::filesystem::path folder = (ec ? target : resolved).parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

// Why no file can be made in `folder`, in the save's terms, if it is plain
// to see; nothing where only the save can tell.
std::optional<ErrorKind> why_not_writable(const std::filesystem::path& folder)
{
    std::error_code ec;
    const auto status = std::filesystem::status(folder, ec);
    if (ec == std::errc::permission_denied)
        return ErrorKind::PermissionDenied;
    if (status.type() == std::filesystem::file_type::not_found ||
        (!ec && status.type() != std::filesystem::file_type::directory))
        return ErrorKind::PathNotFound;
    if (ec)
        return std::nullopt;
#if !defined(_WIN32)
    // As this user, not the real one: a set-ID run writes as its effective
    // user. Root passes except on a read-only file system, as its save would.
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0 &&
        (errno == EACCES || errno == EPERM || errno == EROFS))
        return ErrorKind::PermissionDenied;
#endif
    return std::nullopt;
}

}  // namespace

void refuse_stdout_by_name(const std::string& output)
{
#if !defined(_WIN32)
    static constexpr std::array<std::string_view, 3> kNames{"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"};
    bool named = std::find(kNames.begin(), kNames.end(), output) != kNames.end();
    struct stat out {};
    struct stat target {};
    if (!named && ::fstat(STDOUT_FILENO, &out) == 0 && !S_ISREG(out.st_mode) && ::stat(output.c_str(), &target) == 0)
        named = out.st_dev == target.st_dev && out.st_ino == target.st_ino;
    if (named)
        usage_error("-o " + output + " is standard output, which is not replaced as a file is: give -o - with "
                    "--format bmp, png or pbm");
#else
    (void)output;
#endif
}

void check_output_folder(const std::string& output)
{
    if (output == "-")
        return;
    Text path;
    from_utf8(output, path);  // checked when the options were parsed
    if (const auto kind = why_not_writable(folder_of(std::filesystem::path(path))))
        throw Error(*kind, cannot_write(path)).at("-o " + output);
}

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

void write_image(const Picture& picture, const Options& o, bool last, const std::function<void(const std::string&)>& warn)
{
    const std::string where = o.output == "-" ? "-o - (standard output)" : "-o " + o.output;
    try {
        if (o.output == "-") {
            write_to_stdout(picture.encode(o.format));
            return;
        }
        picture.save(o.output_path, o.format, save_options(o, last, warn));
    } catch (const lumarin::Error& e) {
        throw e.at(where);
    }
}

void refuse_file_as_printer(const std::string& to)
{
    if (to.starts_with("tcp://"))
        return;
    Text path;
    if (!from_utf8(to, path))
        usage_error("--to is not valid UTF-8");
    std::error_code ec;
    const auto type = std::filesystem::status(std::filesystem::path(path), ec).type();
    if (type == std::filesystem::file_type::regular || type == std::filesystem::file_type::directory)
        usage_error("--to " + to + " is a " + (type == std::filesystem::file_type::regular ? "file" : "folder") +
                    ", not a printer: write a printer's bytes to a file with -o FILE");
}

ByteOutput::ByteOutput(const Options& o, const std::function<void()>& check_stop,
                       const std::function<void(const std::string&)>& warn)
    : where_(!o.to.empty() ? "--to " + o.to : o.output == "-" ? "-o - (standard output)" : "-o " + o.output)
{
    if (!o.to.empty()) {
        ConnectionOptions connection;
        connection.connect_timeout = o.timeout;
        connection.write_timeout = o.timeout;
        connection.check_stop = check_stop;
        printer_ = connect_printer(o.to, connection);
    } else if (o.output == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdout), _O_BINARY);
#endif
    } else {
        try {
            file_.emplace(o.output_path, save_options(o, true, warn));
        } catch (const lumarin::Error& e) {
            throw e.at(where_);
        }
    }
}

void ByteOutput::write(std::span<const std::byte> bytes)
{
    if (printer_)
        printer_->write(bytes);  // its messages name the printer
    else if (file_)
        try {
            file_->write(bytes);
        } catch (const lumarin::Error& e) {
            throw e.at(where_);
        }
    else
        put_stdout(bytes.data(), bytes.size());
}

void ByteOutput::finish()
{
    if (printer_)
        printer_->finish();
    else if (file_)
        try {
            file_->commit();
        } catch (const lumarin::Error& e) {
            throw e.at(where_);
        }
}

}  // namespace lumarin::cli
