// Saves that the file system refuses: a file-size limit, a full device, a
// missing folder, a path through a file, a folder the writer may not
// change, a read-only file, an immutable file, a link the kernel will not
// follow and targets that are no regular file. Each must fail with its
// error number, leave the previous file byte for byte and leave no
// temporary beside it, for both the colour save of PrintText and the 1-bit
// save of Monotize, and a file-size limit for the PNG and PBM writers too.
// Then what a replacement keeps of the file it replaces: owner, group,
// permission bits and other hard links.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "lumarin/synapse.hpp"
#include "child.hpp"
#include "support.hpp"
#include "surface/picture.hpp"

namespace lumarin {
namespace {

using test::TempDir;
using test::become_nobody;
using test::error_in_child;
using test::kNobody;
using test::kNogroup;
using test::Sysctl;

enum class Save { PrintText, Monotize };

const char* name_of(Save save) { return save == Save::PrintText ? "PrintText" : "Monotize"; }

// A surface of width x height, ready to print into `path`.
void prepare(synapse& s, const std::filesystem::path& path, int width, int height)
{
    s.FontName = u"Liberation Mono";
    s.FontSize = 10;
    s.FontWeight = 100;
    s.LineSpacing = 0;
    s.FileName = test::text_of(path);
    s.MaximumStringLength(Text(static_cast<std::size_t>(width / 10), u'x'));
    s.TopPadding(static_cast<double>(height / 2));
}

// An empty line grows the surface and saves it like any other, without
// asking the text engine: a forked child must not take fontconfig's locks.
void save(synapse& s, Save how)
{
    if (how == Save::PrintText)
        s.PrintText(u"", 0, 0);
    else
        s.Monotize(u"");
}

// A folder's entries and every regular file's bytes.
struct Snapshot {
    std::vector<std::string> names;
    std::vector<std::vector<std::byte>> contents;
    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

// Links are not followed: one the kernel refuses to follow has no status,
// and the file it names is in the folder itself.
void add_to_snapshot(Snapshot& shot, const std::filesystem::path& root, const std::filesystem::path& folder)
{
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        shot.names.push_back(entry.path().lexically_relative(root).string());
        const auto type = entry.symlink_status().type();
        const bool file = type == std::filesystem::file_type::regular;
        shot.contents.push_back(file ? test::read_bytes(entry.path()) : std::vector<std::byte>{});
        if (type == std::filesystem::file_type::directory)
            add_to_snapshot(shot, root, entry.path());
    }
}

Snapshot snapshot(const std::filesystem::path& folder)
{
    Snapshot shot;
    add_to_snapshot(shot, folder, folder);
    std::sort(shot.names.begin(), shot.names.end());
    return shot;
}

// The folder holds one good bitmap, out.bmp, written by an ordinary save.
std::filesystem::path previous_file(const std::filesystem::path& folder)
{
    const auto path = folder / "out.bmp";
    synapse s;
    prepare(s, path, 40, 10);
    s.PrintText(u"old", 0, 0);
    return path;
}

// Files may grow to 64 KiB. Without SIGXFSZ ignored the kernel would kill
// the process; ignored, the write that passes the limit fails with EFBIG.
void limit_file_size()
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

// Expects `number` from the save, with the folder exactly as it was.
// A save of a fresh width x height surface to `target`, in this process.
std::function<int(Save)> save_here(const std::filesystem::path& target, int width, int height)
{
    return [=](Save how) {
        synapse s;
        prepare(s, target, width, height);
        return test::error_number([&] { save(s, how); });
    };
}

// A save of a small surface to `target` in a child that, when run as root,
// has become nobody, so permission bits apply.
std::function<int(Save)> save_as_nobody(const std::filesystem::path& target)
{
    return [=](Save how) {
        synapse s;
        prepare(s, target, 40, 10);
        return error_in_child(become_nobody, [&] { save(s, how); });
    };
}

void expect_refused(const std::filesystem::path& folder, const std::function<int(Save)>& attempt, int number)
{
    for (const Save how : {Save::PrintText, Save::Monotize}) {
        const Snapshot before = snapshot(folder);
        EXPECT_EQ(attempt(how), number) << name_of(how);
        EXPECT_EQ(snapshot(folder), before) << name_of(how) << ": the folder changed";
    }
}

TEST(SaveFaults, AFileSizeLimitIsDiskFull)
{
    TempDir dir;
    const auto target = previous_file(dir.path());
    expect_refused(
        dir.path(),
        [&](Save how) {
            synapse s;
            prepare(s, target, 2000, 400);  // 2.4 MB in colour, 100 KB in one bit
            return error_in_child(limit_file_size, [&] { save(s, how); });
        },
        61);
}

// PNG and PBM go out in pieces from writers of their own, PNG's from
// between libpng's calls: the error of a piece that passes the limit
// reaches the caller the same way.
TEST(SaveFaults, AFileSizeLimitIsDiskFullForPngAndPbmToo)
{
    TempDir dir;
    const auto target = previous_file(dir.path());
    // Noise does not compress: 2.2 MB as a PNG, 90 KB as a PBM.
    Image noise(1200, 600, 0xFFFFFF);
    std::mt19937 random(3);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.set(x, y, random() & 0xFFFFFF);
    for (const auto format : {PictureFormat::Png, PictureFormat::Pbm}) {
        if (!can_write(format))
            continue;
        const Snapshot before = snapshot(dir.path());
        EXPECT_EQ(error_in_child(limit_file_size,
                                 [&] { save_picture(noise, format, false, 0xFFFFFF, test::text_of(target)); }),
                  61)
            << format_name(format);
        EXPECT_EQ(snapshot(dir.path()), before) << format_name(format) << ": the folder changed";
    }
}

// A tmpfs of 64 KiB, mounted for the test and lazily detached after it.
class SmallDevice {
public:
    explicit SmallDevice(const std::filesystem::path& at) : at_(at)
    {
        std::filesystem::create_directory(at_);
        mounted_ = ::mount("lumarin-test", at_.c_str(), "tmpfs", 0, "size=64k") == 0;
        if (!mounted_)
            why_ = std::strerror(errno);
    }
    ~SmallDevice()
    {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
    }
    SmallDevice(const SmallDevice&) = delete;
    SmallDevice& operator=(const SmallDevice&) = delete;
    bool mounted() const noexcept { return mounted_; }
    const std::string& why() const noexcept { return why_; }

private:
    std::filesystem::path at_;
    bool mounted_ = false;
    std::string why_;
};

TEST(SaveFaults, AFullDeviceIsDiskFull)
{
    TempDir dir;
    SmallDevice device(dir / "small");
    if (!device.mounted())
        GTEST_SKIP() << "cannot mount a 64 KiB tmpfs here (" << device.why() << "); the file-size limit covers error 61";
    const auto target = previous_file(dir / "small");
    expect_refused(
        dir.path(),
        save_here(target, 2000, 400),
        61);
}

TEST(SaveFaults, AMissingFolderOrAPathThroughAFileIsPathNotFound)
{
    TempDir dir;
    const auto good = previous_file(dir.path());
    for (const auto& target : {dir / "missing" / "x.bmp", good / "x.bmp"}) {
        expect_refused(
            dir.path(),
            save_here(target, 40, 10),
            76);
    }
}

TEST(SaveFaults, AFolderTheWriterMayNotChangeIsPermissionDenied)
{
    // Root ignores permission bits, so as root the save runs in a child that
    // has become nobody; the folder stays root's.
    TempDir dir;
    const auto locked = dir / "locked";
    std::filesystem::create_directory(locked);
    const auto target = previous_file(locked);
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                             std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                                             std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
    expect_refused(
        dir.path(),
        save_as_nobody(target),
        70);
}

TEST(SaveFaults, AReadOnlyFileIsPermissionDenied)
{
    // The folder is the writer's own, so only the file's bits say no; as
    // root the save runs as nobody, who owns both.
    TempDir dir;
    const auto own = dir / "own";
    std::filesystem::create_directory(own);
    const auto target = previous_file(own);
    ::chmod(target.c_str(), 0444);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
    }
    expect_refused(
        dir.path(),
        save_as_nobody(target),
        70);
}

// Sets or clears the immutable attribute; false where the file system has
// none.
bool set_immutable(const std::filesystem::path& path, bool on)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

class Immutable {
public:
    explicit Immutable(std::filesystem::path path) : path_(std::move(path)), set_(set_immutable(path_, true)) {}
    ~Immutable()
    {
        if (set_)
            set_immutable(path_, false);
    }
    Immutable(const Immutable&) = delete;
    Immutable& operator=(const Immutable&) = delete;
    bool set() const noexcept { return set_; }

private:
    std::filesystem::path path_;
    bool set_;
};

TEST(SaveFaults, AnImmutableFileIsPermissionDenied)
{
    // Stops root too: the file may not be replaced, renamed over or removed.
    TempDir dir;
    const auto target = previous_file(dir.path());
    const Immutable guard(target);
    if (!guard.set())
        GTEST_SKIP() << "this file system or user cannot set the immutable attribute";
    expect_refused(
        dir.path(),
        save_here(target, 40, 10),
        70);
}

// A folder that anyone may write and only owners may rename in, as /tmp,
// holding `link` by nobody that points at `victim`.
std::filesystem::path shared_sticky_link(const test::TempDir& dir, const std::filesystem::path& victim)
{
    const auto shared = dir / "shared";
    std::filesystem::create_directory(shared);
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(shared.c_str(), 01777);
    const auto link = shared / "out.bmp";
    std::filesystem::create_symlink(victim, link);
    if (::lchown(link.c_str(), kNobody, kNogroup) != 0)
        throw std::runtime_error("lchown");
    return link;
}

TEST(SaveFaults, ALinkInASharedStickyFolderThatTheKernelRefusesIsPermissionDenied)
{
    // The attack: nobody plants a link at the fixed name root writes to.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the link must belong to nobody and the save be root's";
    const Sysctl protect("/proc/sys/fs/protected_symlinks", "1");
    if (!protect.set())
        GTEST_SKIP() << "cannot switch fs.protected_symlinks on here";
    TempDir dir;
    const auto victim = previous_file(dir.path());
    const auto link = shared_sticky_link(dir, victim);
    expect_refused(dir.path(), save_here(link, 40, 10), 70);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
}

TEST(SaveFaults, ALinkToNothingInASharedStickyFolderIsRefusedWhateverTheSetting)
{
    // The file layer follows a link to nothing itself, under the kernel's
    // rule, so nothing may be created where nobody's link points.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the link must belong to nobody and the save be root's";
    TempDir dir;
    const auto link = shared_sticky_link(dir, dir / "created-by-root.bmp");
    expect_refused(dir.path(), save_here(link, 40, 10), 70);
}

// A file of each kind that is no regular file, named `name` in `folder`;
// empty when this process may not make it.
std::filesystem::path special_file(const std::filesystem::path& folder, const std::string& kind)
{
    const auto path = folder / kind;
    if (kind == "fifo")
        return ::mkfifo(path.c_str(), 0666) == 0 ? path : std::filesystem::path{};
    if (kind == "socket") {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.native().size() >= sizeof address.sun_path)
            return {};
        std::strcpy(address.sun_path, path.c_str());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);  // the socket file stays
        return bound ? path : std::filesystem::path{};
    }
    // A copy of /dev/null's device node: writing it would lose nothing,
    // replacing it would break every program that uses it.
    return ::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0 ? path : std::filesystem::path{};
}

TEST(SaveFaults, ATargetThatIsNoRegularFileIsPathFileAccessAndStaysWhatItWas)
{
    TempDir dir;
    for (const std::string kind : {"fifo", "socket", "device"}) {
        const auto target = special_file(dir.path(), kind);
        if (target.empty()) {
            std::cout << "[  SKIPPED ] a " << kind << " target: cannot make one here (" << std::strerror(errno)
                      << ")\n";
            continue;
        }
        struct stat before {};
        ASSERT_EQ(::lstat(target.c_str(), &before), 0);
        const auto link = dir / (kind + "-link");
        std::filesystem::create_symlink(target.filename(), link);
        for (const auto& name : {target, link}) {
            SCOPED_TRACE(name.filename().string());
            expect_refused(dir.path(), save_here(name, 40, 10), 75);
            struct stat after {};
            ASSERT_EQ(::lstat(target.c_str(), &after), 0);
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_EQ(after.st_rdev, before.st_rdev);
        }
    }
}

struct Owner {
    uid_t uid;
    gid_t gid;
    mode_t mode;
    friend bool operator==(const Owner&, const Owner&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Owner& o)
    {
        return out << o.uid << ":" << o.gid << " " << std::oct << o.mode << std::dec;
    }
};

Owner owner_of(const std::filesystem::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {st.st_uid, st.st_gid, st.st_mode & 07777};
}

// nobody's file of `mode` in nobody's folder, then a save over it by this
// process (root).
Owner after_root_replaces_nobodys(mode_t mode)
{
    TempDir dir;
    const auto own = dir / "own";
    std::filesystem::create_directory(own);
    const auto target = previous_file(own);
    EXPECT_EQ(::chown(own.c_str(), kNobody, kNogroup), 0);
    EXPECT_EQ(::chown(target.c_str(), kNobody, kNogroup), 0);
    EXPECT_EQ(::chmod(target.c_str(), mode), 0);
    const auto old = test::read_bytes(target);
    EXPECT_EQ(save_here(target, 40, 10)(Save::PrintText), 0);
    EXPECT_NE(test::read_bytes(target), old);
    EXPECT_EQ(std::filesystem::directory_iterator(own)->path(), target) << "a temporary was left";
    return owner_of(target);
}

TEST(SaveOwnership, RootReplacingAUsersFileKeepsItsOwnerGroupAndBitsButNeverSetId)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give files to nobody";
    // Readable by its owner still; not a root-owned file nobody cannot read.
    EXPECT_EQ(after_root_replaces_nobodys(0600), (Owner{kNobody, kNogroup, 0600}));
    // Never a root-owned set-user-ID program, nor a set-ID one of nobody's.
    EXPECT_EQ(after_root_replaces_nobodys(06755), (Owner{kNobody, kNogroup, 0755}));
}

TEST(SaveOwnership, AWritersOwnSetIdFileKeepsItsOwnerAndLosesTheSetIdBits)
{
    // Any user: the owner replacing its own set-ID program gets a plain one.
    TempDir dir;
    const auto target = previous_file(dir.path());
    ASSERT_EQ(::chmod(target.c_str(), 06755), 0);
    const Owner before = owner_of(target);
    EXPECT_EQ(save_here(target, 40, 10)(Save::PrintText), 0);
    EXPECT_EQ(owner_of(target), (Owner{before.uid, before.gid, 0755}));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bmp"});
}

TEST(SaveOwnership, AnotherUsersFileInAFolderTheWriterMayChangeIsRefusedUnlessTheLossIsAccepted)
{
    // nobody may write root's 0666 file and rename in its 0777 folder, but
    // may not give a file to root: the save is refused, and where the
    // caller accepts the loss the replacement is nobody's, 0666.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make the file and folder, and to become nobody";
    TempDir dir;
    const auto open_folder = dir / "open";
    std::filesystem::create_directory(open_folder);
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(open_folder.c_str(), 0777);
    const auto target = previous_file(open_folder);
    ::chmod(target.c_str(), 0666);
    const auto old = test::read_bytes(target);
    synapse s;
    prepare(s, target, 40, 10);
    EXPECT_EQ(error_in_child(become_nobody, [&] { save(s, Save::PrintText); }), 70);
    EXPECT_EQ(test::read_bytes(target), old);
    s.Saving.accept_loss = [](const std::string&) {};
    EXPECT_EQ(error_in_child(become_nobody, [&] { save(s, Save::PrintText); }), 0);
    EXPECT_EQ(owner_of(target), (Owner{kNobody, kNogroup, 0666}));
    EXPECT_NE(test::read_bytes(target), old);
    EXPECT_EQ(std::filesystem::directory_iterator(open_folder)->path(), target) << "a temporary was left";
}

TEST(SaveOwnership, AFileWithOtherHardLinksIsReplacedAtItsOwnNameOnly)
{
    TempDir dir;
    const auto target = previous_file(dir.path());
    const auto other = dir / "other-name.bmp";
    std::filesystem::create_hard_link(target, other);
    const auto old = test::read_bytes(target);
    EXPECT_EQ(save_here(target, 40, 10)(Save::PrintText), 0);
    EXPECT_EQ(test::read_bytes(other), old);
    EXPECT_NE(test::read_bytes(target), old);
    EXPECT_EQ(std::filesystem::hard_link_count(other), 1u);
    EXPECT_EQ(std::filesystem::hard_link_count(target), 1u);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"other-name.bmp", "out.bmp"}));
}

}  // namespace
}  // namespace lumarin
