#include "bench/floor.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace lumarin::bench {

namespace {

bool write_and_rename(const std::filesystem::path& target, std::span<const std::byte> bytes, bool durably)
{
    const std::string temporary = target.string() + ".floor.tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const auto* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if ((durably && ::fsync(fd) != 0) || ::close(fd) != 0)
        return false;
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return false;
    if (!durably)
        return true;
    const int folder = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return false;
    const bool synced = ::fsync(folder) == 0;
    ::close(folder);
    return synced;
}

}  // namespace

bool write_and_rename(const std::filesystem::path& target, std::span<const std::byte> bytes)
{
    return write_and_rename(target, bytes, false);
}

bool write_and_rename_durably(const std::filesystem::path& target, std::span<const std::byte> bytes)
{
    return write_and_rename(target, bytes, true);
}

bool write_in_place(int fd, std::span<const std::byte> bytes)
{
    const auto* data = bytes.data();
    std::size_t left = bytes.size();
    off_t at = 0;
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, data, left, at);
        if (n <= 0)
            return false;
        data += n;
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

OpenFile::OpenFile(const std::filesystem::path& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666))
{
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "open " + path.string());
}

OpenFile::~OpenFile() { ::close(fd_); }

ScratchDir::ScratchDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lumarin-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace lumarin::bench
