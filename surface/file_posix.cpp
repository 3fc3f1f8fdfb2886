// POSIX side of ReplacementFile.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "lumarin/error.hpp"
#include "common/text.hpp"
#include "surface/file.hpp"

namespace lumarin {

namespace {

ErrorKind kind_of_errno(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR: return ErrorKind::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: return ErrorKind::PermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ErrorKind::DiskFull;
    case ENAMETOOLONG: return ErrorKind::BadFileName;
    default: return ErrorKind::PathFileAccess;
    }
}

[[noreturn]] void fail_errno(int err, const std::string& path)
{
    fail(kind_of_errno(err), "cannot write " + path);
}

std::string directory_of(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The file a chain of symbolic links ends at; the path itself when it is no
// link or does not exist yet.
std::string resolve_links(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = readlink(path.c_str(), target.data(), target.size());
        if (n < 0)
            fail_errno(errno, path);
        target.resize(static_cast<std::size_t>(n));
        if (target.empty() || target[0] != '/')
            target = directory_of(path) + "/" + target;
        path = std::move(target);
    }
    fail_errno(ELOOP, path);
}

}  // namespace

struct ReplacementFile::Impl {
    std::string target;
    std::string temporary;
    int fd = -1;

    void discard() noexcept
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        if (!temporary.empty())
            ::unlink(temporary.c_str());
        temporary.clear();
    }
};

ReplacementFile::ReplacementFile(const Text& path) : impl_(std::make_unique<Impl>())
{
    check_file_name(path);
    impl_->target = resolve_links(to_utf8(path));
    const std::string& target = impl_->target;

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        fail(ErrorKind::PathFileAccess, "cannot write " + target + " (a folder)");
    if (!target.empty() && target.back() == '/')
        fail(ErrorKind::PathNotFound, "cannot write " + target);
    // A rename needs only the folder's permission; a file its owner made
    // read-only still refuses, as it would refuse a write into it.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        fail_errno(errno, target);

    const auto slash = target.find_last_of('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // The temporary's name adds 16 bytes at most; a target name near the
    // 255-byte limit lends it only its first 200 bytes, cut at a character.
    std::size_t kept = std::min<std::size_t>(base.size(), 200);
    while (kept > 0 && kept < base.size() && (static_cast<unsigned char>(base[kept]) & 0xC0) == 0x80)
        --kept;
    const std::string prefix = directory_of(target) + "/." + base.substr(0, kept) + ".";
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + std::to_string(entropy()) + ".tmp";
        // 0666 lets the umask decide a new file's bits, as a plain create would.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            impl_->fd = fd;
            impl_->temporary = std::move(name);
            break;
        }
        if (errno != EEXIST)
            fail_errno(errno, target);
    }
    if (impl_->fd < 0)
        fail(ErrorKind::PathFileAccess, "cannot write " + target + " (no free temporary name)");
    if (exists && ::fchmod(impl_->fd, existing.st_mode & 07777) != 0) {
        const int err = errno;
        impl_->discard();
        fail_errno(err, target);
    }
}

ReplacementFile::~ReplacementFile()
{
    if (impl_)
        impl_->discard();
}

void ReplacementFile::write(std::span<const std::byte> bytes)
{
    const auto* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(impl_->fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            impl_->discard();
            fail_errno(err, impl_->target);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

void ReplacementFile::write(std::span<const std::span<const std::byte>> pieces)
{
    // At most IOV_MAX pieces a call; a short write resumes mid-piece.
    std::vector<iovec> batch;
    std::size_t next = 0;
    std::size_t done_in_first = 0;  // bytes of pieces[next] already written
    while (next < pieces.size()) {
        batch.clear();
        for (std::size_t i = next; i < pieces.size() && batch.size() < IOV_MAX; ++i) {
            const std::size_t skip = i == next ? done_in_first : 0;
            batch.push_back({const_cast<std::byte*>(pieces[i].data() + skip), pieces[i].size() - skip});
        }
        const ssize_t n = ::writev(impl_->fd, batch.data(), static_cast<int>(batch.size()));
        if (n < 0 && errno == EINTR)
            continue;
        std::size_t wanted = 0;
        for (const iovec& v : batch)
            wanted += v.iov_len;
        if (n <= 0 && wanted > 0) {
            const int err = n < 0 ? errno : ENOSPC;
            impl_->discard();
            fail_errno(err, impl_->target);
        }
        // Step over what was written.
        auto left = static_cast<std::size_t>(n);
        while (next < pieces.size() && left >= pieces[next].size() - done_in_first) {
            left -= pieces[next].size() - done_in_first;
            done_in_first = 0;
            ++next;
        }
        done_in_first += left;
    }
}

void ReplacementFile::commit()
{
    const int fd = impl_->fd;
    impl_->fd = -1;
    if (::close(fd) != 0) {
        const int err = errno;
        impl_->discard();
        fail_errno(err, impl_->target);
    }
    if (::rename(impl_->temporary.c_str(), impl_->target.c_str()) != 0) {
        const int err = errno;
        impl_->discard();
        fail_errno(err, impl_->target);
    }
    impl_->temporary.clear();
}

}  // namespace lumarin
