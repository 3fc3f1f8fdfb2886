// POSIX side of ReplacementFile. Everything after resolving the target works
// from a descriptor of the folder that holds it, with *at calls, so that the
// file written and the file replaced are the ones the kernel resolved.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "lumarin/error.hpp"
#include "common/text.hpp"
#include "surface/file.hpp"
#include "surface/unique_fd.hpp"

namespace lumarin {

namespace {

constexpr int kMaxLinkHops = 40;  // the kernel's own limit

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

std::string directory_of(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string base_of(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The target as the kernel resolved it: the folder holding it, its name
// there, and what it is when it exists.
struct Target {
    UniqueFd folder;
    std::string name;
    std::optional<struct stat> existing;
};

class Resolver {
public:
    explicit Resolver(const Text& path) : message_(cannot_write(path)) {}

    Target resolve(std::string path) const
    {
        for (int hops = 0; hops < kMaxLinkHops; ++hops) {
            if (path.back() == '/')
                refuse_trailing_slash(path);
            const UniqueFd file(::open(path.c_str(), O_PATH | O_CLOEXEC));
            if (file)
                return existing_file(path, file.get());
            if (errno != ENOENT)
                fail_errno(errno);
            Target missing{open_folder(directory_of(path)), base_of(path), std::nullopt};
            struct stat entry {};
            if (::fstatat(missing.folder.get(), missing.name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT)
                    fail_errno(errno);
                return missing;  // a new file
            }
            if (!S_ISLNK(entry.st_mode))
                fail(ErrorKind::PathFileAccess, message_ + " (it changed while being resolved)");
            path = next_hop(path, missing, entry);
        }
        fail_errno(ELOOP);
    }

private:
    [[noreturn]] void fail_errno(int err) const { fail(kind_of_errno(err), message_); }

    [[noreturn]] void refuse_trailing_slash(const std::string& path) const
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            fail(ErrorKind::PathFileAccess, message_ + " (a folder)");
        fail(ErrorKind::PathNotFound, message_);
    }

    UniqueFd open_folder(const std::string& path) const
    {
        UniqueFd folder(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder)
            fail_errno(errno);
        return folder;
    }

    Target existing_file(const std::string& path, int file) const
    {
        struct stat st {};
        if (::fstat(file, &st) != 0)
            fail_errno(errno);
        if (S_ISDIR(st.st_mode))
            fail(ErrorKind::PathFileAccess, message_ + " (a folder)");
        if (!S_ISREG(st.st_mode))
            fail(ErrorKind::PathFileAccess, message_ + " (not a regular file)");
        // Where the kernel found it: the path itself unless its last part is
        // a link, else the name the kernel keeps for the open file.
        struct stat entry {};
        const bool direct = ::lstat(path.c_str(), &entry) == 0 && same_file(entry, st);
        const std::string found = direct ? path : name_of_open_file(file);
        Target target{open_folder(directory_of(found)), base_of(found), st};
        if (::fstatat(target.folder.get(), target.name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 ||
            !same_file(entry, st))
            fail(ErrorKind::PathFileAccess, message_ + " (it changed while being resolved)");
        return target;
    }

    std::string name_of_open_file(int file) const
    {
        const std::string link = "/proc/self/fd/" + std::to_string(file);
        std::string name(PATH_MAX, '\0');
        const ssize_t n = ::readlink(link.c_str(), name.data(), name.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= name.size() || name[0] != '/')
            fail(ErrorKind::PathFileAccess, message_ + " (cannot tell where the link leads without /proc)");
        name.resize(static_cast<std::size_t>(n));
        return name;
    }

    // The path a link to nothing leads to. The kernel's protected_symlinks
    // rule is applied here whatever the setting: in a sticky folder that
    // others may write, only a link of the writer's own or of the folder's
    // owner is followed.
    std::string next_hop(const std::string& path, const Target& at, const struct stat& link) const
    {
        struct stat folder {};
        if (::fstat(at.folder.get(), &folder) != 0)
            fail_errno(errno);
        const bool shared_sticky = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
        if (shared_sticky && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid)
            fail(ErrorKind::PermissionDenied, message_ + " (a link in a shared folder that belongs to another user)");
        std::string text(PATH_MAX, '\0');
        const ssize_t n = ::readlinkat(at.folder.get(), at.name.c_str(), text.data(), text.size());
        if (n < 0)
            fail_errno(errno);
        if (n == 0 || static_cast<std::size_t>(n) >= text.size())
            fail_errno(ENAMETOOLONG);
        text.resize(static_cast<std::size_t>(n));
        return text[0] == '/' ? text : directory_of(path) + "/" + text;
    }

    std::string message_;
};

// The temporary's name: the target's, shortened to leave room for the
// 16 bytes added, cut at a character.
std::string temporary_prefix(const std::string& name)
{
    std::size_t kept = std::min<std::size_t>(name.size(), 200);
    while (kept > 0 && kept < name.size() && (static_cast<unsigned char>(name[kept]) & 0xC0) == 0x80)
        --kept;
    std::string prefix;
    prefix.reserve(kept + 2);
    prefix.push_back('.');
    prefix.append(name, 0, kept);
    prefix.push_back('.');
    return prefix;
}

bool refuses_unnamed_files(int err) { return err == EOPNOTSUPP || err == EISDIR || err == EINVAL; }

// Naming a finished unnamed file takes /proc, or root's right to link a
// descriptor directly; without either (a chroot without /proc) the
// temporary is named from the start.
bool can_name_unnamed_files() { return ::geteuid() == 0 || ::access("/proc/self/fd", X_OK) == 0; }

}  // namespace

struct ReplacementFile::Impl {
    std::string message;  // "cannot write PATH"
    Target target;
    UniqueFd file;
    std::string temporary;  // its name in the folder; empty while unnamed
    std::random_device entropy;

    [[noreturn]] void fail_errno(int err)
    {
        discard();
        fail(kind_of_errno(err), message);
    }

    void discard() noexcept
    {
        file.reset();
        if (!temporary.empty())
            ::unlinkat(target.folder.get(), temporary.c_str(), 0);
        temporary.clear();
    }

    std::string fresh_name() { return temporary_prefix(target.name) + std::to_string(entropy()) + ".tmp"; }

    // 0666 lets the umask decide a new file's bits, as a plain create would.
    bool open_unnamed()
    {
        file.reset(::openat(target.folder.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        if (file)
            return true;
        if (!refuses_unnamed_files(errno))
            fail_errno(errno);
        return false;
    }

    void open_named()
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = fresh_name();
            file.reset(::openat(target.folder.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                0666));
            if (file) {
                temporary = std::move(name);
                return;
            }
            if (errno != EEXIST)
                fail_errno(errno);
        }
        fail(ErrorKind::PathFileAccess, message + " (no free temporary name)");
    }

    // Owner and group as before where the writer may set them; where it may
    // not, the new file is the writer's, as any file it creates. The
    // set-user-ID and set-group-ID bits are never carried over.
    void keep_metadata(const struct stat& old)
    {
        if (::fchown(file.get(), old.st_uid, old.st_gid) != 0)
            (void)::fchown(file.get(), static_cast<uid_t>(-1), old.st_gid);
        if (::fchmod(file.get(), old.st_mode & 01777) != 0)
            fail_errno(errno);
    }

    // Gives the complete unnamed file a name in the folder: directly where
    // the process may (AT_EMPTY_PATH needs CAP_DAC_READ_SEARCH), else
    // through its /proc entry.
    void name_unnamed_file()
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = fresh_name();
            const int at = target.folder.get();
            int done = ::linkat(file.get(), "", at, name.c_str(), AT_EMPTY_PATH);
            if (done != 0 && errno != EEXIST) {
                const std::string proc = "/proc/self/fd/" + std::to_string(file.get());
                done = ::linkat(AT_FDCWD, proc.c_str(), at, name.c_str(), AT_SYMLINK_FOLLOW);
            }
            if (done == 0) {
                temporary = std::move(name);
                return;
            }
            if (errno != EEXIST)
                fail_errno(errno);
        }
        fail(ErrorKind::PathFileAccess, message + " (no free temporary name)");
    }
};

ReplacementFile::ReplacementFile(const Text& path, Temporary temporary) : impl_(std::make_unique<Impl>())
{
    check_file_name(path);
    Impl& impl = *impl_;
    impl.message = cannot_write(path);
    impl.target = Resolver(path).resolve(to_utf8(path));
    const Target& target = impl.target;

    // A rename needs only the folder's permission; a file its owner made
    // read-only still refuses, as it would refuse a write into it. Root may
    // write it, as the shell may.
    if (target.existing && ::faccessat(target.folder.get(), target.name.c_str(), W_OK, AT_EACCESS) != 0)
        impl.fail_errno(errno);
    if (temporary == Temporary::Named || !can_name_unnamed_files() || !impl.open_unnamed())
        impl.open_named();
    if (target.existing)
        impl.keep_metadata(*target.existing);
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
        const ssize_t n = ::write(impl_->file.get(), data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            impl_->fail_errno(n < 0 ? errno : ENOSPC);
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
        const ssize_t n = ::writev(impl_->file.get(), batch.data(), static_cast<int>(batch.size()));
        if (n < 0 && errno == EINTR)
            continue;
        std::size_t wanted = 0;
        for (const iovec& v : batch)
            wanted += v.iov_len;
        if (n <= 0 && wanted > 0)
            impl_->fail_errno(n < 0 ? errno : ENOSPC);
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
    Impl& impl = *impl_;
    // From here until the rename the file has a name of its own: a process
    // killed between these two calls leaves it behind.
    if (impl.temporary.empty())
        impl.name_unnamed_file();
    if (!close_now(impl.file))
        impl.fail_errno(errno);
    const int folder = impl.target.folder.get();
    if (::renameat(folder, impl.temporary.c_str(), folder, impl.target.name.c_str()) != 0)
        impl.fail_errno(errno);
    impl.temporary.clear();
}

}  // namespace lumarin
