// Saves that the file system refuses: a file-size limit, a full device, a
// missing folder, a path through a file, a folder the writer may not
// change, a read-only file and an immutable file. Each must fail with its
// error number, leave the previous file byte for byte and leave no
// temporary beside it, for both the colour save of PrintText and the 1-bit
// save of Monotize, and a file-size limit for the PNG and PBM writers too.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "lumarin/synapse.hpp"
#include "support.hpp"
#include "surface/picture.hpp"

namespace lumarin {
namespace {

using test::TempDir;

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

Snapshot snapshot(const std::filesystem::path& folder)
{
    Snapshot shot;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        shot.names.push_back(std::filesystem::relative(entry.path(), folder).string());
        shot.contents.push_back(entry.is_regular_file() ? test::read_bytes(entry.path()) : std::vector<std::byte>{});
    }
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

// Runs `restrict` and then `call` in a child process and returns the number
// of the lumarin::Error that `call` threw: 0 when it returned, -1 for any
// other exception. A crashed child fails the test.
int error_in_child(const std::function<void()>& restrict, const std::function<void()>& call)
{
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        int number = -1;
        try {
            restrict();
            call();
            number = 0;
        } catch (const Error& e) {
            number = e.number();
        } catch (...) {
        }
        const bool written = ::write(fds[1], &number, sizeof number) == sizeof number;
        ::_exit(written ? 0 : 1);
    }
    ::close(fds[1]);
    int number = -2;
    const bool read_ok = ::read(fds[0], &number, sizeof number) == sizeof number;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    EXPECT_TRUE(read_ok) << "child reported nothing";
    return number;
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
        return error_in_child(
            [] {
                if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                    throw std::runtime_error("cannot become nobody");
            },
            [&] { save(s, how); });
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

}  // namespace
}  // namespace lumarin
