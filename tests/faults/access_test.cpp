// Who may read a file after a save replaces it, and which files a save may
// replace. A replacement keeps the old file's ACL (named readers, a denied
// user, the mask), its extended attributes and its file capabilities, or
// refuses and leaves the old file unless the caller accepts the loss. In a
// shared sticky folder, another user's planted symbolic link (at the name
// or on the way to it) or hard link is refused whatever the system's
// protected_* settings say. The fallback temporary is private from its
// first moment, and two jobs saving one target both succeed.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "child.hpp"
#include "support.hpp"
#include "surface/bmp.hpp"
#include "surface/file.hpp"
#include "common/fail.hpp"

namespace lumarin {
namespace {

using test::become_nobody;
using test::error_in_child;
using test::kNobody;
using test::kNogroup;
using test::Sysctl;
using test::TempDir;

constexpr uid_t kDaemon = 1;

const Image kOld(8, 4, 0xFFFFFF);
const Image kNew(12, 6, 0x102030);

void save(const std::filesystem::path& target, const SaveOptions& options = {})
{
    SavePicture(kNew, test::text_of(target), options);
}

// Every extended attribute of the file, the ACL among them.
std::map<std::string, std::string> attributes(const std::filesystem::path& path)
{
    std::map<std::string, std::string> all;
    std::string names(65536, '\0');
    const ssize_t n = ::llistxattr(path.c_str(), names.data(), names.size());
    for (std::size_t from = 0; n > 0 && from < static_cast<std::size_t>(n);) {
        const std::string name = names.c_str() + from;
        std::string value(65536, '\0');
        const ssize_t size = ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
        value.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
        all[name] = value;
        from += name.size() + 1;
    }
    return all;
}

mode_t mode_of(const std::filesystem::path& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

// A file as the careful administrator left it: a named reader, a user
// denied, no access for the owning group; a user attribute; and, where the
// test is root, a trusted attribute. Empty when this machine has no tools
// or file system for ACLs.
std::string with_access(const std::filesystem::path& file, bool trusted)
{
    const std::string q = "'" + file.string() + "'";
    if (!run("setfacl -m u:daemon:r--,u:nobody:---,g::---,o::--- " + q))
        return "setfacl cannot set an ACL here (the acl package, or a file system with ACLs)";
    if (!run("setfattr -n user.origin -v till-3 " + q))
        return "setfattr cannot set a user attribute here (the attr package)";
    if (trusted && !run("setfattr -n trusted.audit -v kept " + q))
        return "setfattr cannot set a trusted attribute here";
    return {};
}

class Access : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path target = dir / "out.bmp";

    void SetUp() override { SavePicture(kOld, test::text_of(target)); }
};

TEST_F(Access, AnAclAndExtendedAttributesAreKeptByRootAndByTheOwner)
{
    const bool root = ::geteuid() == 0;
    if (const auto why = with_access(target, root); !why.empty())
        GTEST_SKIP() << why;
    const auto before = attributes(target);
    const mode_t mode = mode_of(target);
    ASSERT_TRUE(before.contains("system.posix_acl_access"));
    save(target);
    EXPECT_EQ(attributes(target), before);
    EXPECT_EQ(mode_of(target), mode) << "the mask, held in the group bits";
    EXPECT_EQ(test::read_bytes(target), encode_bmp24(kNew));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bmp"});

    if (!root)
        return;
    // The owner itself, not root: nobody's file in nobody's folder.
    const auto own = dir / "own";
    std::filesystem::create_directory(own);
    const auto mine = own / "out.bmp";
    SavePicture(kOld, test::text_of(mine));
    ASSERT_EQ(::chown(own.c_str(), kNobody, kNogroup), 0);
    ASSERT_EQ(::chown(mine.c_str(), kNobody, kNogroup), 0);
    ::chmod(dir.path().c_str(), 0755);
    ASSERT_EQ(with_access(mine, false), "");
    const auto nobodys = attributes(mine);
    EXPECT_EQ(error_in_child(become_nobody, [&] { save(mine); }), 0);
    EXPECT_EQ(attributes(mine), nobodys);
    EXPECT_EQ(test::read_bytes(mine), encode_bmp24(kNew));
}

TEST_F(Access, FileCapabilitiesAreKept)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a file capabilities";
    if (!run("setcap cap_net_raw+ep '" + target.string() + "'"))
        GTEST_SKIP() << "setcap cannot set capabilities here (libcap2-bin)";
    const auto before = attributes(target);
    ASSERT_TRUE(before.contains("security.capability"));
    save(target);
    EXPECT_EQ(attributes(target), before);
}

// nobody's own file, to which root gave capabilities: nobody may replace
// the file but not set capabilities.
class LostAccess : public Access {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to give nobody's file capabilities";
        Access::SetUp();
        ::chmod(dir.path().c_str(), 0777);
        ASSERT_EQ(::chown(target.c_str(), kNobody, kNogroup), 0);
        if (!run("setcap cap_net_raw+ep '" + target.string() + "'"))
            GTEST_SKIP() << "setcap cannot set capabilities here (libcap2-bin)";
    }
};

TEST_F(LostAccess, RefusesTheSaveAndLeavesTheOldFile)
{
    const auto old = test::read_bytes(target);
    const auto before = attributes(target);
    EXPECT_EQ(error_in_child(become_nobody, [&] { save(target); }), 70);
    EXPECT_EQ(test::read_bytes(target), old);
    EXPECT_EQ(attributes(target), before);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bmp"});
}

TEST_F(LostAccess, SavesWhenTheCallerAcceptsTheLossAndSaysWhatWasLost)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    SaveOptions accepting;
    accepting.accept_loss = [&](const std::string& lost) { (void)!::write(fds[1], lost.data(), lost.size()); };
    EXPECT_EQ(error_in_child(become_nobody, [&] { save(target, accepting); }), 0);
    ::close(fds[1]);
    std::string said(4096, '\0');
    said.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(fds[0], said.data(), said.size()))));
    ::close(fds[0]);
    EXPECT_NE(said.find("out.bmp: the new file lost the old one's file capabilities"), std::string::npos) << said;
    EXPECT_EQ(test::read_bytes(target), encode_bmp24(kNew));
    EXPECT_FALSE(attributes(target).contains("security.capability"));
}

// A folder that anyone may write and only owners may rename in, as /tmp,
// owned by root, beside a folder of the victim's own.
class SharedFolder : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path shared = dir / "shared";
    std::filesystem::path victims = dir / "victims";
    std::filesystem::path victim = victims / "victim.bmp";

    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: the planted link must be nobody's and the save root's";
        ::chmod(dir.path().c_str(), 0755);
        std::filesystem::create_directory(shared);
        ::chmod(shared.c_str(), 01777);
        std::filesystem::create_directory(victims);
        SavePicture(kOld, test::text_of(victim));
        ASSERT_EQ(::chown(victim.c_str(), kDaemon, kDaemon), 0);
    }

    // Expects root's save to `at` refused with PermissionDenied, the victim
    // and the folder untouched.
    void expect_refused(const std::filesystem::path& at)
    {
        const auto old = test::read_bytes(victim);
        EXPECT_EQ(test::error_number([&] { save(at); }), 70);
        EXPECT_EQ(test::read_bytes(victim), old);
        EXPECT_EQ(std::filesystem::directory_iterator(victims)->path(), victim) << "a temporary was left";
    }
};

// nobody plants a symbolic link in the shared folder.
std::filesystem::path plant_symlink(const std::filesystem::path& at, const std::filesystem::path& to)
{
    std::filesystem::create_symlink(to, at);
    if (::lchown(at.c_str(), kNobody, kNogroup) != 0)
        throw std::runtime_error("lchown");
    return at;
}

// Runs `check` with fs.`name` set to 0 and then to 1, restored after each;
// a setting this machine refuses is reported skipped.
void with_each_setting(const std::string& name, const std::function<void(const std::string&)>& check)
{
    for (const std::string setting : {"0", "1"}) {
        SCOPED_TRACE("fs." + name + "=" + setting);
        const Sysctl protect("/proc/sys/fs/" + name, setting);
        if (!protect.set()) {
            std::cout << "[  SKIPPED ] " << name << "=" << setting << ": cannot set it here\n";
            continue;
        }
        check(setting);
    }
}

TEST_F(SharedFolder, APlantedSymbolicLinkIsRefusedWhateverTheSetting)
{
    with_each_setting("protected_symlinks", [&](const std::string& setting) {
        const auto at = plant_symlink(shared / ("out-" + setting + ".bmp"), victim);
        expect_refused(at);
        EXPECT_TRUE(std::filesystem::is_symlink(at));
        // On the way to the name: a planted link to the victim's folder.
        const auto way = plant_symlink(shared / ("dir-" + setting), victims);
        expect_refused(way / "victim.bmp");
    });
}

TEST_F(SharedFolder, RootsOwnLinkAndTheFoldersOwnersAreFollowed)
{
    const auto mine = shared / "mine.bmp";
    std::filesystem::create_symlink(victim, mine);
    const Sysctl relax("/proc/sys/fs/protected_symlinks", "0");
    save(mine);
    EXPECT_EQ(test::read_bytes(victim), encode_bmp24(kNew));
    EXPECT_TRUE(std::filesystem::is_symlink(mine));
}

TEST_F(SharedFolder, APlantedHardLinkIsRefusedWhateverTheSetting)
{
    with_each_setting("protected_hardlinks", [&](const std::string& setting) {
        const auto at = shared / ("hard-" + setting + ".bmp");
        // nobody plants it where the system allows; where it does not, root
        // stands in for an earlier plant, and the save is refused all the same.
        const int planted = error_in_child(become_nobody, [&] {
            if (::link(victim.c_str(), at.c_str()) != 0)
                fail(ErrorKind::PermissionDenied);
        });
        EXPECT_EQ(planted, setting == "0" ? 0 : 70) << "what the kernel allows nobody";
        if (planted != 0) {
            ASSERT_EQ(::link(victim.c_str(), at.c_str()), 0);
        }
        const auto old = test::read_bytes(at);
        expect_refused(at);
        EXPECT_EQ(test::read_bytes(at), old);
        EXPECT_EQ(std::filesystem::hard_link_count(victim), 2u);
        std::filesystem::remove(at);
    });
}

TEST_F(SharedFolder, AnotherUsersFileThereIsNotGivenRootsData)
{
    // nobody's own file in the shared folder: a save would hand root's
    // data to nobody (the kernel's protected_regular).
    const auto theirs = shared / "theirs.bmp";
    SavePicture(kOld, test::text_of(theirs));
    ASSERT_EQ(::chown(theirs.c_str(), kNobody, kNogroup), 0);
    EXPECT_EQ(test::error_number([&] { save(theirs); }), 70);
    EXPECT_EQ(test::read_bytes(theirs), encode_bmp24(kOld));
    // A file nobody puts at the name while root writes: refused at the
    // rename, and left as nobody made it.
    const auto later = shared / "later.bmp";
    {
        ReplacementFile file(test::text_of(later));
        file.write(encode_bmp24(kNew));
        EXPECT_EQ(error_in_child(become_nobody, [&] { SavePicture(kOld, test::text_of(later)); }), 0);
        EXPECT_EQ(test::error_number([&] { file.commit(); }), 70);
    }
    EXPECT_EQ(test::read_bytes(later), encode_bmp24(kOld));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(shared))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"later.bmp", "theirs.bmp"})) << "a temporary was left";
}

TEST(Temporary, TheNamedFallbackIsPrivateFromItsFirstMoment)
{
    TempDir dir;
    const auto target = dir / "out.bmp";
    SavePicture(kOld, test::text_of(target));
    ::chmod(target.c_str(), 0644);
    const mode_t mask = ::umask(022);
    {
        ReplacementFile file(test::text_of(target), {}, ReplacementFile::Temporary::Named);
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            if (entry.path() != target) {
                EXPECT_EQ(mode_of(entry.path()), 0600u) << entry.path();
            }
        }
        file.write(encode_bmp24(kNew));
        file.commit();
    }
    EXPECT_EQ(mode_of(target), 0644u);
    // A new file gets what a plain create gives: the umask's.
    ::umask(027);
    {
        ReplacementFile file(test::text_of(dir / "new.bmp"), {}, ReplacementFile::Temporary::Named);
        file.write(encode_bmp24(kNew));
        file.commit();
    }
    ::umask(mask);
    EXPECT_EQ(mode_of(dir / "new.bmp"), 0640u);
}

TEST(Temporary, TheNamedFallbackGivesANewFileWhatAPlainCreateGives)
{
    // Under a default ACL a plain create ignores the umask and inherits
    // the folder's entries, limited by its mode.
    TempDir dir;
    if (!run("setfacl -d -m u:nobody:rw,g::r,o::r '" + dir.path().string() + "'"))
        GTEST_SKIP() << "setfacl cannot set a default ACL here (the acl package, or a file system with ACLs)";
    const mode_t mask = ::umask(077);
    const auto plain = dir / "plain.bmp";
    ::close(::open(plain.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666));
    {
        ReplacementFile file(test::text_of(dir / "named.bmp"), {}, ReplacementFile::Temporary::Named);
        file.write(encode_bmp24(kNew));
        file.commit();
    }
    ::umask(mask);
    EXPECT_EQ(attributes(dir / "named.bmp"), attributes(plain));
    EXPECT_EQ(mode_of(dir / "named.bmp"), mode_of(plain));
    EXPECT_TRUE(attributes(plain).contains("system.posix_acl_access"));
}

// Two processes save one target over and over: every save succeeds and
// the file is always one of them, whole.
TEST(Temporary, TwoJobsOnOneTargetBothSave)
{
    TempDir dir;
    const auto target = dir / "out.bmp";
    SavePicture(kOld, test::text_of(target));
    pid_t jobs[2];
    for (pid_t& job : jobs) {
        job = ::fork();
        if (job == 0) {
            SaveOptions scratch;
            scratch.sync = false;
            int failed = 0;
            for (int i = 0; i < 200; ++i) {
                failed += test::error_number([&] { save(target, scratch); }) != 0;
            }
            ::_exit(failed == 0 ? 0 : 1);
        }
    }
    for (const pid_t job : jobs) {
        int status = 0;
        ::waitpid(job, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a job's save failed";
    }
    EXPECT_EQ(test::read_bytes(target), encode_bmp24(kNew));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bmp"});
}

}  // namespace
}  // namespace lumarin
