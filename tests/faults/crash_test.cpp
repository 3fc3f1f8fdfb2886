// Saves killed half-way. A child saves a large surface over the file and is
// killed with SIGKILL; after each kill the file must be the old or the new
// bitmap, whole, and nothing may be left beside it: the temporary has no
// name while it is written.
//
// Where each kill lands follows from how the parent synchronises with the
// child, never from how fast either runs:
// - At a chosen byte: a file-size limit raises SIGXFSZ in the child when
//   its write reaches that byte of the temporary; the child's handler stops
//   it there and the parent kills it while stopped. So the kill is
//   mid-write by construction.
// - At a random moment: the child reports through a pipe when each save
//   starts and ends, and the parent kills it at a random offset into a save
//   it knows has started. What the child reported bounds what the file may
//   hold. Only between naming the finished temporary and renaming it over
//   the file (two system calls) does a save have a file of its own in the
//   folder; the parent stops the child first and, should it have stopped
//   there, lets it run on a little, so that every kill lands where the
//   promise holds.
// - Between the two calls: a traced child is stopped at the entry of its
//   rename, where its finished temporary has a name, and killed there; the
//   next save of the same target removes what it left, and leaves alone
//   the temporary of a writer that is still alive, and files that only
//   look like temporaries.
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "surface/bmp.hpp"
#include "support.hpp"

namespace lumarin {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 2000;
constexpr int kHeight = 2000;  // 12 MB: a dozen of the writer's 1 MiB writes

// Two surfaces that differ in every row, so any mix of the two shows.
Image striped(Pixel a, Pixel b)
{
    Image image(kWidth, kHeight, a);
    for (int y = 0; y < kHeight; y += 2)
        for (int x = y % 7; x < kWidth; x += 7)
            image.set(x, y, b);
    return image;
}

std::uint32_t u32_at(const std::vector<std::byte>& bytes, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | std::to_integer<std::uint32_t>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

// What a killed save left beside the file; they are removed, so that a
// later kill is judged on its own.
std::vector<std::string> remove_leftovers(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename() != "out.bmp") {
            names.push_back(entry.path().filename().string());
            std::filesystem::remove(entry.path());
        }
    return names;
}

bool has_leftovers(const std::filesystem::path& folder)
{
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename() != "out.bmp")
            return true;
    return false;
}

// Stops the child; should it have stopped between naming its finished
// temporary and renaming it, lets it run on until it is past that point.
void stop_outside_the_naming(pid_t pid, const std::filesystem::path& folder)
{
    int status = 0;
    ::kill(pid, SIGSTOP);
    ::waitpid(pid, &status, WUNTRACED);
    for (int tries = 0; tries < 1000 && WIFSTOPPED(status) && has_leftovers(folder); ++tries) {
        ::kill(pid, SIGCONT);
        std::this_thread::sleep_for(std::chrono::microseconds(200));  // decides only where it stops
        ::kill(pid, SIGSTOP);
        ::waitpid(pid, &status, WUNTRACED);
    }
}

// The two bitmaps, their files, and the folder the saves go to.
class KilledSaves : public ::testing::Test {
protected:
    test::TempDir dir;
    const std::filesystem::path target = dir / "out.bmp";
    const Text name = test::text_of(target);
    const Image images[2] = {striped(0xFFFFFF, 0x000000), striped(0x203040, 0xF0E0D0)};
    const std::vector<std::byte> files[2] = {encode_bmp24(images[0]), encode_bmp24(images[1])};

    void SetUp() override
    {
        ASSERT_NE(files[0], files[1]);
        SavePicture(images[0], name);
    }

    // Which bitmap the file holds, 0 or 1, after checking that it is one of
    // them, whole.
    int bitmap_in_file(const std::string& when)
    {
        const auto bytes = test::read_bytes(target);
        EXPECT_GE(bytes.size(), kBmp24HeaderSize) << when;
        if (bytes.size() >= kBmp24HeaderSize) {
            EXPECT_EQ(u32_at(bytes, 2), bytes.size()) << when << ": bfSize is not the file size";
            EXPECT_EQ(u32_at(bytes, 18), static_cast<std::uint32_t>(kWidth)) << when;
            EXPECT_EQ(u32_at(bytes, 22), static_cast<std::uint32_t>(kHeight)) << when;
        }
        if (bytes == files[0])
            return 0;
        if (bytes == files[1])
            return 1;
        ADD_FAILURE() << when << ": the file is neither bitmap";
        return -1;
    }
};

// The child's handler: stop right at the write that reached the limit, so
// the parent can kill it there.
extern "C" void stop_at_limit(int) { ::raise(SIGSTOP); }

// Forks a child that saves `image` over `name` and is stopped by its own
// handler once the temporary holds `limit` bytes. Returns its pid.
pid_t save_until(const Image& image, const Text& name, rlim_t limit)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    struct sigaction stop {};
    stop.sa_handler = stop_at_limit;
    const rlimit size{limit, limit};
    if (::sigaction(SIGXFSZ, &stop, nullptr) != 0 || ::setrlimit(RLIMIT_FSIZE, &size) != 0)
        ::_exit(3);
    try {
        SavePicture(image, name);
    } catch (...) {
        ::_exit(2);
    }
    ::_exit(0);
}

TEST_F(KilledSaves, AtAChosenByteTheFileIsTheOldBitmapAndNothingIsLeft)
{
    const auto size = static_cast<rlim_t>(files[0].size());
    // The edges of the header and of the first write of rows, the last
    // byte, random bytes between, and a few saves let through whole so that
    // the file changes bitmap and later kills cut into either.
    std::vector<rlim_t> limits = {0, 1, kBmp24HeaderSize - 1, kBmp24HeaderSize, kBmp24HeaderSize + 1,
                                  size, (1 << 20) + kBmp24HeaderSize, size - 1, size};
    std::mt19937 random(20240611);
    std::uniform_int_distribution<rlim_t> byte(0, size - 1);
    for (int i = 0; i < 12; ++i)
        limits.push_back(i % 4 == 3 ? size : byte(random));

    int holds = 0;
    for (const rlim_t limit : limits) {
        const std::string when = "a save of bitmap " + std::to_string(1 - holds) + " killed at byte " +
                                 std::to_string(limit) + " of " + std::to_string(size);
        const pid_t pid = save_until(images[1 - holds], name, limit);
        ASSERT_GE(pid, 0) << "fork: " << std::strerror(errno);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, WUNTRACED), pid);
        ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 3)
            << "the child could not set its file-size limit to " << limit << " (a lower hard limit?)";
        if (limit < size) {
            ASSERT_TRUE(WIFSTOPPED(status))
                << when << ": the child did not stop at the limit (status " << status << ")";
            ::kill(pid, SIGKILL);
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << when;
            EXPECT_EQ(bitmap_in_file(when), holds) << when;
            EXPECT_EQ(remove_leftovers(dir.path()), std::vector<std::string>{}) << when;
        } else {
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << when << ": a save within the limit failed (status " << status << ")";
            holds = 1 - holds;
            EXPECT_EQ(bitmap_in_file(when), holds) << when;
        }
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bmp"});
}

// What a saving child said before it died: saves started and saves ended.
struct Reports {
    int started = 0;
    int ended = 0;
};

// The child saves the two bitmaps in turn, the one the file does not hold
// first, and writes 'S' before and 'E' after each save.
[[noreturn]] void save_and_report(const Image& fresh, const Image& old, const Text& name, int report)
{
    const auto say = [report](char c) {
        if (::write(report, &c, 1) != 1)
            ::_exit(3);
    };
    try {
        for (;;) {
            for (const Image* image : {&fresh, &old}) {
                say('S');
                SavePicture(*image, name);
                say('E');
            }
        }
    } catch (...) {
    }
    ::_exit(2);
}

Reports read_reports(int from)
{
    Reports r;
    char c = 0;
    while (::read(from, &c, 1) == 1)
        (c == 'S' ? r.started : r.ended) += 1;
    return r;
}

TEST_F(KilledSaves, AtARandomMomentTheFileIsWhatTheReportsAllow)
{
    // One save's duration spreads the kill moments over the start, the
    // middle and the end of a save. It decides only where kills land; what
    // the file may hold follows from the reports.
    const auto started = Clock::now();
    SavePicture(images[0], name);
    const auto one_save = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);
    std::mt19937 random(20240612);
    std::uniform_int_distribution<long long> moment(0, one_save.count() * 3 / 2);

    int holds = 0;
    int mid_save = 0;
    for (int kill = 0; kill < 12; ++kill) {
        int pipe_ends[2];
        ASSERT_EQ(::pipe(pipe_ends), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0) << "fork: " << std::strerror(errno);
        if (pid == 0) {
            ::close(pipe_ends[0]);
            save_and_report(images[1 - holds], images[holds], name, pipe_ends[1]);
        }
        ::close(pipe_ends[1]);
        char first = 0;
        const bool began = ::read(pipe_ends[0], &first, 1) == 1 && first == 'S';
        if (began) {
            std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
            stop_outside_the_naming(pid, dir.path());
        }
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        Reports said = read_reports(pipe_ends[0]);
        ::close(pipe_ends[0]);
        ASSERT_TRUE(began) << "kill " << kill << ": the child never reported the start of a save";
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "kill " << kill << ": the saving child stopped by itself";
        said.started += 1;

        // Save i writes bitmap (holds + 1 + i) % 2. Every ended save has
        // replaced the file; one started but not reported ended may have.
        const std::string when = "kill " + std::to_string(kill) + " after " + std::to_string(said.started) +
                                 " saves started and " + std::to_string(said.ended) + " ended";
        ASSERT_TRUE(said.ended == said.started || said.ended + 1 == said.started) << when;
        const int after_ended = (holds + said.ended) % 2;
        const int found = bitmap_in_file(when);
        if (said.ended == said.started) {
            EXPECT_EQ(found, after_ended) << when;
        }
        mid_save += said.ended < said.started;
        holds = found < 0 ? holds : found;
        EXPECT_EQ(remove_leftovers(dir.path()), std::vector<std::string>{}) << when;
    }
    // Only for the reader: where kills land depends on the machine.
    std::cout << "12 kills at random moments, " << mid_save << " of them within a save\n";
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bmp"});
}

#if defined(__x86_64__)
bool is_rename(unsigned long long call) { return call == SYS_rename || call == SYS_renameat || call == SYS_renameat2; }

constexpr pid_t kNoTrace = -2;  // tracing refused here
constexpr pid_t kFailed = -1;   // the save failed
constexpr pid_t kFinished = 0;  // the save ran to its end

// Forks a child that saves `image` over `name` under trace. `at_entry`
// hears each system call as it is entered and returns true to leave the
// child stopped there; returns the stopped child, kFinished, kFailed or
// kNoTrace.
pid_t traced_save(const Image& image, const Text& name, const SaveOptions& options,
                  const std::function<bool(unsigned long long)>& at_entry)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            ::_exit(4);
        ::raise(SIGSTOP);
        try {
            SavePicture(image, name, options);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFSTOPPED(status))
        return kNoTrace;
    ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
    bool entry = true;  // syscall stops alternate, entry first
    int pass = 0;       // a signal to hand on
    for (;;) {
        ::ptrace(PTRACE_SYSCALL, pid, nullptr, pass);
        ::waitpid(pid, &status, 0);
        if (!WIFSTOPPED(status))
            return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? kFinished : kFailed;
        pass = 0;
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            pass = WSTOPSIG(status);
            continue;
        }
        user_regs_struct regs{};
        ::ptrace(PTRACE_GETREGS, pid, nullptr, &regs);
        if (entry && at_entry(regs.orig_rax))
            return pid;
        entry = !entry;
    }
}

// Stopped at the entry of its rename, where its finished temporary has a
// name.
pid_t save_stopped_before_rename(const Image& image, const Text& name)
{
    return traced_save(image, name, {}, is_rename);
}

// The syncs and renames a save makes, in order; none where it cannot be
// traced.
std::optional<std::vector<std::string>> syncs_and_renames(const Image& image, const Text& name,
                                                          const SaveOptions& options)
{
    std::vector<std::string> calls;
    const pid_t pid = traced_save(image, name, options, [&](unsigned long long call) {
        if (call == SYS_fsync || call == SYS_fdatasync || call == SYS_sync_file_range || call == SYS_syncfs)
            calls.push_back("sync");
        else if (is_rename(call))
            calls.push_back("rename");
        return false;
    });
    if (pid == kNoTrace)
        return std::nullopt;
    if (pid != kFinished)
        calls.assign({"the traced save failed"});
    return calls;
}

TEST_F(KilledSaves, ADurableSaveSyncsTheFileBeforeTheRenameAndTheFolderAfter)
{
    const auto durable = syncs_and_renames(images[1], name, {});
    if (!durable)
        GTEST_SKIP() << "cannot trace a child here (kernel.yama.ptrace_scope)";
    EXPECT_EQ(*durable, (std::vector<std::string>{"sync", "rename", "sync"}));
    SaveOptions scratch;
    scratch.sync = false;
    EXPECT_EQ(syncs_and_renames(images[0], name, scratch), std::vector<std::string>{"rename"});
    EXPECT_EQ(bitmap_in_file("after the scratch save"), 0);
}

TEST_F(KilledSaves, BetweenNamingAndRenamingTheNextSaveRemovesWhatWasLeft)
{
    const pid_t pid = save_stopped_before_rename(images[1], name);
    if (pid <= 0)
        GTEST_SKIP() << "cannot trace a child here (kernel.yama.ptrace_scope)";
    const auto named = dir.entries();
    ASSERT_EQ(named.size(), 2u) << "no named temporary at the rename";
    // A writer that is alive keeps its temporary through another's save.
    SavePicture(images[0], name);
    EXPECT_EQ(dir.entries(), named);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(dir.entries(), named) << "only a save removes it";
    // Files that only look like it stay: another machine's or container's
    // (another tag), another user's, and a name of the user's own choice.
    const std::string left = named[0] == "out.bmp" ? named[1] : named[0];  // .out.bmp.PID.TAG.N.tmp
    const auto tag_at = left.find('.', std::string(".out.bmp.").size()) + 1;
    std::string foreign = left;
    foreign[tag_at] = foreign[tag_at] == '0' ? '1' : '0';
    std::vector<std::string> kept = {foreign, ".out.bmp.20240101.3.tmp"};
    if (::geteuid() == 0)
        kept.push_back(left.substr(0, left.rfind('.', left.size() - 5) + 1) + "7.tmp");
    for (const std::string& file : kept)
        test::write_bytes(dir / file, files[0]);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((dir / kept.back()).c_str(), 65534, 65534), 0);
    }
    SavePicture(images[1], name);
    kept.push_back("out.bmp");
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(dir.entries(), kept);
    EXPECT_EQ(bitmap_in_file("after the next save"), 1);
}
#endif

}  // namespace
}  // namespace lumarin
