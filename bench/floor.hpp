// The floor every file-writing benchmark is held against: the same number
// of bytes written with one write() to a temporary in the target's folder,
// then renamed over the target, which is the least an atomic replace costs.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>

namespace lumarin::bench {

// Writes `bytes` to `target` by temporary + one write + rename. Returns
// false (errno set) on any failure.
bool write_and_rename(const std::filesystem::path& target, std::span<const std::byte> bytes);

// The same, durably: fsync before the rename and fsync of the folder
// after, the least a save that survives a power cut costs.
bool write_and_rename_durably(const std::filesystem::path& target, std::span<const std::byte> bytes);

// The other limit: `bytes` written over the start of one file kept open,
// with one pwrite, no new file and no rename (not atomic). Returns false
// (errno set) on any failure.
bool write_in_place(int fd, std::span<const std::byte> bytes);

// An open file descriptor, closed with it.
class OpenFile {
public:
    explicit OpenFile(const std::filesystem::path& path);
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const noexcept { return fd_; }

private:
    int fd_;
};

// A private folder under the system's temporary folder, removed with it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace lumarin::bench
