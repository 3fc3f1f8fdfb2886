// Replacing a file atomically: bytes go to a temporary file beside the
// target, which is renamed over the target only once everything is
// written. A failure at any point leaves the previous file as it was and
// removes the temporary. A symbolic link is followed, so the file it points
// at is replaced and the link stays; an existing file keeps its permission
// bits, and one the writer may not write to is not replaced.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "lumarin/types.hpp"

namespace lumarin {

class ReplacementFile {
public:
    // Opens the temporary file; throws the file error that stops it.
    explicit ReplacementFile(const Text& path);
    ~ReplacementFile();  // discards the temporary unless committed
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    void write(std::span<const std::byte> bytes);
    // The pieces one after another, in as few system calls as the platform
    // allows (writev on POSIX).
    void write(std::span<const std::span<const std::byte>> pieces);
    // Closes the temporary and renames it over the target.
    void commit();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Checks that a path can name a file at all: not empty, no NUL, no lone
// surrogate. Throws BadFileName otherwise.
void check_file_name(const Text& path);

}  // namespace lumarin
