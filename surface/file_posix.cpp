// POSIX side of ReplacementFile. The target is resolved from descriptors,
// one name at a time, and everything after works from a descriptor of the
// folder that holds it, with *at calls, so that the file written and the
// file replaced are the ones resolved.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/fail.hpp"
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


// The target as resolved: the folder holding it, its name there, and what
// it is when it exists.
struct Target {
    UniqueFd folder;
    std::string name;
    std::optional<struct stat> existing;
};

// The names of a path, in order; empty names (from "//") are dropped.
std::deque<std::string> names_of(const std::string& path)
{
    std::deque<std::string> names;
    std::size_t from = 0;
    while (from <= path.size()) {
        const auto slash = std::min(path.find('/', from), path.size());
        if (slash > from)
            names.push_back(path.substr(from, slash - from));
        from = slash + 1;
    }
    return names;
}

// A folder that anyone may write and only owners may rename in, as /tmp.
bool shared_sticky(const struct stat& folder) { return (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH); }

// The kernel's rule for such folders (protected_symlinks, _hardlinks and
// _regular), applied whatever the settings: what another user put there is
// not followed, written or given the writer's data. The writer's own and
// the folder owner's are.
bool planted(const struct stat& folder, const struct stat& entry)
{
    return shared_sticky(folder) && entry.st_uid != ::geteuid() && entry.st_uid != folder.st_uid;
}

constexpr const char* kPlantedFile = "a file in a shared folder that belongs to another user";

// Resolves a path one name at a time from descriptors, following links
// ourselves, so that the kernel's protections for shared folders apply
// whatever its settings say.
class Resolver {
public:
    explicit Resolver(std::string message) : message_(std::move(message)) {}

    Target resolve(const std::string& path) const
    {
        if (path.back() == '/')
            refuse_trailing_slash(path);
        std::deque<std::string> rest = names_of(path);
        UniqueFd folder = open_folder(AT_FDCWD, path[0] == '/' ? "/" : ".");
        int hops = 0;
        while (!rest.empty()) {
            const std::string name = std::move(rest.front());
            rest.pop_front();
            const bool last = rest.empty();
            if (name == "." || name == "..") {
                if (last)
                    fail(ErrorKind::PathFileAccess, message_ + " (a folder)");
                if (name == "..")
                    folder = open_folder(folder.get(), "..");
                continue;
            }
            struct stat entry {};
            if (::fstatat(folder.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT && last)
                    return Target{std::move(folder), name, std::nullopt};  // a new file
                fail_errno(errno);
            }
            if (S_ISLNK(entry.st_mode)) {
                if (++hops > kMaxLinkHops)
                    fail(ErrorKind::PathFileAccess, message_ + " (too many links)");
                const std::string text = follow_link(folder.get(), name, entry);
                std::deque<std::string> more = names_of(text);
                if (text.back() == '/')
                    more.push_back(".");  // "dir/" names a folder, as the kernel reads it
                rest.insert(rest.begin(), more.begin(), more.end());
                if (text[0] == '/')
                    folder = open_folder(AT_FDCWD, "/");
                continue;
            }
            if (last)
                return existing_file(std::move(folder), name, entry);
            if (!S_ISDIR(entry.st_mode))
                fail_errno(ENOTDIR);
            folder = open_folder(folder.get(), name.c_str());
        }
        fail(ErrorKind::PathFileAccess, message_ + " (a folder)");  // "/" alone
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

    UniqueFd open_folder(int at, const char* name) const
    {
        UniqueFd folder(::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder)
            fail_errno(errno == ELOOP ? ENOTDIR : errno);
        return folder;
    }

    struct stat folder_status(int folder) const
    {
        struct stat st {};
        if (::fstat(folder, &st) != 0)
            fail_errno(errno);
        return st;
    }

    Target existing_file(UniqueFd folder, const std::string& name, const struct stat& st) const
    {
        if (S_ISDIR(st.st_mode))
            fail(ErrorKind::PathFileAccess, message_ + " (a folder)");
        if (!S_ISREG(st.st_mode))
            fail(ErrorKind::PathFileAccess, message_ + " (not a regular file)");
        // Another user's file where root writes, or a hard link it planted
        // there to some file of a third: not given root's data.
        if (planted(folder_status(folder.get()), st))
            fail(ErrorKind::PermissionDenied, message_ + " (" + kPlantedFile + ")");
        return Target{std::move(folder), name, st};
    }

    // The text of a link, once the protected_symlinks rule allows following
    // it: in a shared sticky folder, only a link of the writer's own or of
    // the folder's owner.
    std::string follow_link(int folder, const std::string& name, const struct stat& link) const
    {
        if (planted(folder_status(folder), link))
            fail(ErrorKind::PermissionDenied, message_ + " (a link in a shared folder that belongs to another user)");
        std::string text(PATH_MAX, '\0');
        const ssize_t n = ::readlinkat(folder, name.c_str(), text.data(), text.size());
        if (n < 0)
            fail_errno(errno);
        if (n == 0)
            fail_errno(ENOENT);
        if (static_cast<std::size_t>(n) >= text.size())
            fail_errno(ENAMETOOLONG);
        text.resize(static_cast<std::size_t>(n));
        return text;
    }

    std::string message_;
};

// The temporaries' names: the target's, shortened to leave room for what
// follows, cut at a character; then the writer's process id, a random
// number and ".tmp".
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

// Whose temporaries a save may judge: those of processes in the same PID
// namespace on the same boot, for only there does "no such process" mean
// gone (another machine over NFS, or another container, has processes of
// its own). The tag names both; empty where /proc cannot tell, and then no
// temporary is judged stale.
std::string writer_tag()
{
    std::ifstream boot("/proc/sys/kernel/random/boot_id");
    std::string identity;
    std::array<char, 64> ns{};
    const ssize_t n = ::readlink("/proc/self/ns/pid", ns.data(), ns.size() - 1);
    if (!(boot >> identity) || n <= 0)
        return {};
    identity.append(ns.data(), static_cast<std::size_t>(n));
    std::uint32_t hash = 2166136261u;  // FNV-1a: a name, not a secret
    for (const char c : identity) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    std::array<char, 9> hex{};
    std::snprintf(hex.data(), hex.size(), "%08x", hash);
    return hex.data();
}

bool all_digits(std::string_view v)
{
    return !v.empty() && v.size() <= 10 && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The process id in "PID.TAG.N.tmp" when TAG is `tag`, else 0.
pid_t writer_of(std::string_view rest, std::string_view tag)
{
    std::array<std::string_view, 4> parts;
    for (std::string_view& part : parts) {
        const auto dot = rest.find('.');
        part = rest.substr(0, dot);
        rest = dot == std::string_view::npos ? std::string_view{} : rest.substr(dot + 1);
    }
    if (!rest.empty() || parts[3] != "tmp" || parts[1] != tag || tag.empty() || !all_digits(parts[0]) ||
        !all_digits(parts[2]))
        return 0;
    const long pid = std::stol(std::string(parts[0]));
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max() ? static_cast<pid_t>(pid) : 0;
}

bool process_is_gone(pid_t pid) { return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH; }

// Removes the temporaries of `name` that the writer's own earlier processes
// left in the folder (killed between naming and renaming). Best effort: a
// folder the writer may not list is left as it is, and so is any file of
// another user's.
void remove_stale_temporaries(int folder, const std::string& name, const std::string& tag)
{
    if (tag.empty())
        return;
    UniqueFd listing(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing)
        return;
    DIR* dir = ::fdopendir(listing.get());
    if (dir == nullptr)
        return;
    listing.detach();  // closedir closes it
    const std::string prefix = temporary_prefix(name);
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view entry_name(entry->d_name);
        if (!entry_name.starts_with(prefix))
            continue;
        const pid_t pid = writer_of(entry_name.substr(prefix.size()), tag);
        if (pid > 0 && process_is_gone(pid))
            stale.emplace_back(entry_name);
    }
    ::closedir(dir);
    for (const std::string& entry : stale) {
        struct stat st {};
        if (::fstatat(folder, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid())
            ::unlinkat(folder, entry.c_str(), 0);
    }
}

bool refuses_unnamed_files(int err) { return err == EOPNOTSUPP || err == EISDIR || err == EINVAL; }

// Naming a finished unnamed file takes /proc, or root's right to link a
// descriptor directly; without either (a chroot without /proc) the
// temporary is named from the start.
bool can_name_unnamed_files() { return ::geteuid() == 0 || ::access("/proc/self/fd", X_OK) == 0; }

// The mode a plain create gives a new file: 0666 less the umask, read
// without changing it where /proc tells.
mode_t new_file_mode()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("Umask:"))
            return 0666 & ~static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

// The access ACL a plain create with `mode` gets in a folder whose default
// ACL is `folder_default` (the xattr's bytes: a version, then entries of a
// 16-bit tag, 16-bit permissions and a 32-bit id): the owner, the mask (or
// the owning group where there is no mask) and others limited by the mode.
std::string inherited_acl(std::string acl, mode_t mode)
{
    constexpr std::size_t kHeader = 4;
    constexpr std::size_t kEntry = 8;
    enum : std::uint16_t { kUserObj = 0x01, kGroupObj = 0x04, kMask = 0x10, kOther = 0x20 };
    const auto tag_at = [&](std::size_t at) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(acl[at]) | static_cast<unsigned char>(acl[at + 1]) << 8);
    };
    bool has_mask = false;
    for (std::size_t at = kHeader; at + kEntry <= acl.size(); at += kEntry)
        has_mask = has_mask || tag_at(at) == kMask;
    for (std::size_t at = kHeader; at + kEntry <= acl.size(); at += kEntry) {
        const std::uint16_t tag = tag_at(at);
        unsigned limit = 7;
        if (tag == kUserObj)
            limit = (mode >> 6) & 7;
        else if (tag == kMask || (tag == kGroupObj && !has_mask))
            limit = (mode >> 3) & 7;
        else if (tag == kOther)
            limit = mode & 7;
        acl[at + 2] = static_cast<char>(static_cast<unsigned char>(acl[at + 2]) & limit);
    }
    return acl;
}

bool is_refusal(int err) { return err == EPERM || err == EACCES || err == ENOTSUP || err == EOPNOTSUPP; }

// Reads the extended attributes (ACLs and capabilities among them) of the
// old file: through a descriptor open for reading where the writer may
// read it, else through the /proc entry of its O_PATH descriptor (listing
// and reading ACLs and capabilities need no read permission).
struct Attribute {
    std::string name;
    std::string value;
    int refused = 0;  // the errno that refused reading it
};

class AttributeReader {
public:
    AttributeReader(int readable, int path_only)
        : fd_(readable), path_("/proc/self/fd/" + std::to_string(path_only))
    {
    }

    // The names, or the errno that refused listing them.
    std::variant<std::vector<std::string>, int> names() const
    {
        std::string buffer;
        if (const int err = fill(buffer, [&](char* data, std::size_t size) { return list(data, size); }))
            return err;
        std::vector<std::string> names;
        for (std::size_t from = 0; from < buffer.size();) {
            const auto end = buffer.find('\0', from);
            names.push_back(buffer.substr(from, end - from));
            from = end + 1;
        }
        return names;
    }

    Attribute read(const std::string& name) const
    {
        Attribute attribute{name, {}, 0};
        attribute.refused = fill(attribute.value, [&](char* data, std::size_t size) {
            return fd_ >= 0 ? ::fgetxattr(fd_, name.c_str(), data, size) : ::getxattr(path_.c_str(), name.c_str(), data, size);
        });
        return attribute;
    }

private:
    ssize_t list(char* data, std::size_t size) const
    {
        return fd_ >= 0 ? ::flistxattr(fd_, data, size) : ::listxattr(path_.c_str(), data, size);
    }

    // Asks for the size, then the bytes, again while they grow meanwhile;
    // 0, or the errno that stopped it.
    template <typename Call>
    static int fill(std::string& out, Call call)
    {
        for (int attempt = 0; attempt < 8; ++attempt) {
            const ssize_t size = call(nullptr, 0);
            if (size < 0)
                return errno;
            out.resize(static_cast<std::size_t>(size));
            if (size == 0)
                return 0;
            const ssize_t got = call(out.data(), out.size());
            if (got >= 0) {
                out.resize(static_cast<std::size_t>(got));
                return 0;
            }
            if (errno != ERANGE)
                return errno;
        }
        return ERANGE;
    }

    int fd_;
    std::string path_;
};

// What a person reads for an attribute that was not kept.
std::string describe_attribute(const std::string& name)
{
    if (name == "system.posix_acl_access")
        return "ACL";
    if (name == "security.capability")
        return "file capabilities";
    return "extended attribute " + name;
}

}  // namespace

struct ReplacementFile::Impl {
    std::string shown;    // the path, escaped for a message
    std::string message;  // "cannot write PATH"
    SaveOptions options;
    Target target;
    UniqueFd file;
    bool named_from_start = false;
    std::string temporary;  // its name in the folder; empty while unnamed
    std::string tag = writer_tag();
    std::random_device entropy;

    [[noreturn]] void fail_errno(int err)
    {
        discard();
        fail(kind_of_errno(err), message);
    }

    [[noreturn]] void fail_with(ErrorKind kind, const std::string& why)
    {
        discard();
        fail(kind, message + " (" + why + ")");
    }

    void discard() noexcept
    {
        file.reset();
        if (!temporary.empty())
            ::unlinkat(target.folder.get(), temporary.c_str(), 0);
        temporary.clear();
    }

    std::string fresh_name()
    {
        return temporary_prefix(target.name) + std::to_string(::getpid()) + "." + (tag.empty() ? "0" : tag) + "." +
               std::to_string(entropy()) + ".tmp";
    }

    // 0666 lets the umask (or the folder's default ACL) decide a new file's
    // access, as a plain create would; nobody can open an unnamed file.
    bool open_unnamed()
    {
        file.reset(::openat(target.folder.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        if (file)
            return true;
        if (!refuses_unnamed_files(errno))
            fail_errno(errno);
        return false;
    }

    // Readable by its owner only from its first moment; commit gives it the
    // access the target has or a new file would have.
    void open_named()
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = fresh_name();
            file.reset(::openat(target.folder.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                0600));
            if (file) {
                temporary = std::move(name);
                named_from_start = true;
                return;
            }
            if (errno != EEXIST)
                fail_errno(errno);
        }
        fail_with(ErrorKind::PathFileAccess, "no free temporary name");
    }

    // The file now at the target's name, as O_PATH with its status; none
    // where there is none, or where a link was put there since the target
    // was resolved (the rename replaces the link itself).
    std::optional<std::pair<UniqueFd, struct stat>> current_target()
    {
        UniqueFd old(::openat(target.folder.get(), target.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!old) {
            if (errno == ENOENT)
                return std::nullopt;
            fail_errno(errno);
        }
        struct stat st {};
        if (::fstat(old.get(), &st) != 0)
            fail_errno(errno);
        if (S_ISLNK(st.st_mode))
            return std::nullopt;
        if (!S_ISREG(st.st_mode))
            fail_with(ErrorKind::PathFileAccess, "not a regular file");
        // Put there since the target was resolved: the same rule again.
        const bool same = target.existing && target.existing->st_dev == st.st_dev && target.existing->st_ino == st.st_ino;
        struct stat folder {};
        if (!same && (::fstat(target.folder.get(), &folder) != 0 || planted(folder, st)))
            fail_with(ErrorKind::PermissionDenied, kPlantedFile);
        return std::make_pair(std::move(old), st);
    }

    // The old file open for reading where the writer may, and it is still
    // the one at `old`; else none.
    UniqueFd readable(const struct stat& old)
    {
        UniqueFd fd(::openat(target.folder.get(), target.name.c_str(),
                             O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat st {};
        if (fd && (::fstat(fd.get(), &st) != 0 || st.st_dev != old.st_dev || st.st_ino != old.st_ino))
            fd.reset();
        return fd;
    }

    // Owner and group as before where the writer may set them; where it may
    // not, the new file is the writer's, as any file it creates. The
    // set-user-ID and set-group-ID bits are never carried over. Then the
    // ACL, the other extended attributes and the capabilities, after the
    // owner (a change of owner clears capabilities) and after the bits (the
    // ACL holds the group bits).
    void keep_access(int old, const struct stat& st)
    {
        std::vector<std::string> lost = keep_owner(st);
        if (::fchmod(file.get(), st.st_mode & 01777) != 0)
            fail_errno(errno);
        const UniqueFd open_old = readable(st);
        const AttributeReader reader(open_old.get(), old);
        const auto names = reader.names();
        if (const int* err = std::get_if<int>(&names)) {
            if (*err != ENOTSUP && *err != EOPNOTSUPP)
                lost.push_back("extended attributes (" + std::string(std::strerror(*err)) + ")");
        } else {
            for (const std::string& name : std::get<std::vector<std::string>>(names))
                if (!copy_attribute(reader.read(name)))
                    lost.push_back(describe_attribute(name));
        }
        report_losses(lost);
    }

    // The old owner and group where the writer may give them (root, or the
    // owner itself and a group it is in); what it could not give.
    std::vector<std::string> keep_owner(const struct stat& old)
    {
        if (::fchown(file.get(), old.st_uid, old.st_gid) != 0)
            (void)::fchown(file.get(), static_cast<uid_t>(-1), old.st_gid);
        struct stat now {};
        if (::fstat(file.get(), &now) != 0)
            fail_errno(errno);
        std::vector<std::string> lost;
        if (now.st_uid != old.st_uid)
            lost.push_back("owner (uid " + std::to_string(old.st_uid) + ")");
        if (now.st_gid != old.st_gid)
            lost.push_back("group (gid " + std::to_string(old.st_gid) + ")");
        return lost;
    }

    // False where the writer may not read or set it.
    bool copy_attribute(const Attribute& attribute)
    {
        if (attribute.refused != 0) {
            if (attribute.refused == ENODATA)
                return true;  // removed meanwhile
            if (!is_refusal(attribute.refused))
                fail_errno(attribute.refused);
            return false;
        }
        if (::fsetxattr(file.get(), attribute.name.c_str(), attribute.value.data(), attribute.value.size(), 0) == 0)
            return true;
        if (!is_refusal(errno))
            fail_errno(errno);
        return false;
    }

    void report_losses(const std::vector<std::string>& lost)
    {
        if (lost.empty())
            return;
        std::string list;
        for (const std::string& what : lost)
            list += (list.empty() ? "" : ", ") + what;
        if (!options.accept_loss)
            fail_with(ErrorKind::PermissionDenied, "the new file cannot keep the old one's " + list);
        options.accept_loss(shown + ": the new file lost the old one's " + list);
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
                const int direct = errno;
                const std::string proc = "/proc/self/fd/" + std::to_string(file.get());
                done = ::linkat(AT_FDCWD, proc.c_str(), at, name.c_str(), AT_SYMLINK_FOLLOW);
                if (done != 0 && errno == ENOENT && direct != EPERM)
                    errno = direct;  // no /proc: the direct link's reason is the one to report
            }
            if (done == 0) {
                temporary = std::move(name);
                return;
            }
            if (errno != EEXIST)
                fail_errno(errno);
        }
        fail_with(ErrorKind::PathFileAccess, "no free temporary name");
    }

    // What a plain create would have given the new file, for a temporary
    // that was created 0600 (the named fallback): the folder's default ACL,
    // where it has one, else the umask.
    void give_new_file_access()
    {
        const std::string folder = "/proc/self/fd/" + std::to_string(target.folder.get());
        const ssize_t size = ::getxattr(folder.c_str(), "system.posix_acl_default", nullptr, 0);
        std::string acl(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
        const ssize_t n = size > 0 ? ::getxattr(folder.c_str(), "system.posix_acl_default", acl.data(), acl.size()) : -1;
        if (n > 0) {
            acl.resize(static_cast<std::size_t>(n));
            acl = inherited_acl(std::move(acl), 0666);
            if (::fsetxattr(file.get(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
                fail_errno(errno);
            return;
        }
        if (::fchmod(file.get(), new_file_mode()) != 0)
            fail_errno(errno);
    }

    // The folder's new entry reaches the disk. A folder the writer may not
    // read cannot be opened to sync; file systems that cannot sync folders
    // say EINVAL.
    void sync_folder()
    {
        const UniqueFd listing(::openat(target.folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (listing && ::fsync(listing.get()) != 0 && errno != EINVAL && errno != EROFS)
            fail(kind_of_errno(errno), message + " (the file was replaced, but its folder could not be synced: " +
                                           std::strerror(errno) + ")");
    }
};

ReplacementFile::ReplacementFile(const Text& path, SaveOptions options, Temporary temporary)
    : impl_(std::make_unique<Impl>())
{
    check_file_name(path);
    Impl& impl = *impl_;
    impl.shown = escape_controls(to_utf8(path));
    impl.message = cannot_write(path);
    impl.options = std::move(options);
    impl.target = Resolver(impl.message).resolve(to_utf8(path));
    const Target& target = impl.target;

    // A rename needs only the folder's permission; a file its owner made
    // read-only still refuses, as it would refuse a write into it. Root may
    // write it, as the shell may.
    if (target.existing &&
        ::faccessat(target.folder.get(), target.name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
        impl.fail_errno(errno);
    if (impl.options.remove_stale)
        remove_stale_temporaries(target.folder.get(), target.name, impl.tag);
    if (temporary == Temporary::Named || !can_name_unnamed_files() || !impl.open_unnamed())
        impl.open_named();
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
    // The access of the file at the name now: another job may have
    // replaced it since this one began.
    if (auto old = impl.current_target())
        impl.keep_access(old->first.get(), old->second);
    else if (impl.named_from_start)
        impl.give_new_file_access();
    // fsync, not fdatasync: the owner, bits and attributes just given are
    // part of what must survive.
    if (impl.options.sync && ::fsync(impl.file.get()) != 0)
        impl.fail_errno(errno);
    // From here until the rename the file has a name of its own: a process
    // killed between these two calls leaves it behind, for a later save of
    // the same target to remove.
    if (impl.temporary.empty())
        impl.name_unnamed_file();
    if (!close_now(impl.file))
        impl.fail_errno(errno);
    const int folder = impl.target.folder.get();
    if (::renameat(folder, impl.temporary.c_str(), folder, impl.target.name.c_str()) != 0)
        impl.fail_errno(errno);
    impl.temporary.clear();
    if (impl.options.sync)
        impl.sync_folder();
}

}  // namespace lumarin
