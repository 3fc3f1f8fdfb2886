// A save killed at a random moment: a child saves a large surface over and
// over, alternating two images, and is killed with SIGKILL again and again.
// After each kill the file must be the old or the new bitmap, complete. A
// killed process cannot remove its temporary, so each kill may leave one
// ".out.bmp.<n>.tmp" beside the target; the test counts and removes them.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <thread>

#include "surface/bmp.hpp"
#include "support.hpp"

namespace lumarin {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 2000;
constexpr int kHeight = 8000;
constexpr int kKills = 30;

// Two surfaces that differ in every row, so any mix of the two shows.
Image striped(Pixel a, Pixel b)
{
    Image image(kWidth, kHeight, a);
    for (int y = 0; y < kHeight; y += 2)
        for (int x = y % 7; x < kWidth; x += 7)
            image.set(x, y, b);
    return image;
}

std::vector<std::byte> whole_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<std::byte> bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::uint32_t u32_at(const std::vector<std::byte>& bytes, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | std::to_integer<std::uint32_t>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

// Removes the temporaries a killed save left and returns how many.
int remove_orphans(const std::filesystem::path& folder)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".out.bmp.") && name.ends_with(".tmp")) {
            std::filesystem::remove(entry.path());
            ++count;
        }
    }
    return count;
}

TEST(KilledSave, TheFileIsAlwaysTheOldOrTheNewBitmapWhole)
{
    test::TempDir dir;
    const auto target = dir / "out.bmp";
    const Text name = test::text_of(target);
    const Image first = striped(0xFFFFFF, 0x000000);
    const Image second = striped(0x203040, 0xF0E0D0);
    const auto first_bytes = encode_bmp24(first);
    const auto second_bytes = encode_bmp24(second);
    ASSERT_NE(first_bytes, second_bytes);

    // One save's duration sets the range of the kill moments, so that kills
    // land early, midway and late in a save on fast and slow builds alike.
    SavePicture(second, name);
    const auto started = Clock::now();
    SavePicture(first, name);
    const auto one_save = Clock::now() - started;

    std::mt19937 random(20240611);
    std::uniform_int_distribution<long long> moment(0, std::chrono::duration_cast<std::chrono::microseconds>(one_save).count() * 5 / 2);
    int saw_first = 0;  // kills after which the file held the first bitmap
    int saw_second = 0;
    int orphans = 0;
    bool holds_first = true;
    for (int kill = 0; kill < kKills; ++kill) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // It starts with the bitmap the file does not hold: the new one.
            const Image& fresh = holds_first ? second : first;
            const Image& old = holds_first ? first : second;
            try {
                for (;;) {
                    SavePicture(fresh, name);
                    SavePicture(old, name);
                }
            } catch (...) {
            }
            ::_exit(2);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the saving child stopped by itself";

        const auto bytes = whole_file(target);
        ASSERT_GE(bytes.size(), kBmp24HeaderSize) << "kill " << kill;
        EXPECT_EQ(u32_at(bytes, 2), bytes.size()) << "kill " << kill << ": bfSize is not the file size";
        EXPECT_EQ(u32_at(bytes, 18), static_cast<std::uint32_t>(kWidth));
        EXPECT_EQ(u32_at(bytes, 22), static_cast<std::uint32_t>(kHeight));
        const bool is_first = bytes == first_bytes;
        const bool is_second = bytes == second_bytes;
        ASSERT_TRUE(is_first || is_second) << "kill " << kill << ": the file is neither bitmap";
        holds_first = is_first;
        saw_first += is_first;
        saw_second += is_second;
        orphans += remove_orphans(dir.path());
    }
    std::cout << kKills << " kills: " << saw_first << " times the first bitmap, " << saw_second
              << " times the second, " << orphans << " temporaries left by killed saves\n";
    // Kills spread over more than two saves catch both images and most land
    // mid-write; neither can fail by chance with this seed and range.
    EXPECT_GT(saw_first, 0);
    EXPECT_GT(saw_second, 0);
    EXPECT_GT(orphans, 0);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bmp"});
}

}  // namespace
}  // namespace lumarin
