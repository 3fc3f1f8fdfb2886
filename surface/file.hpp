// Replacing a file atomically: bytes go to a temporary file in the target's
// folder, which takes the target's name only once everything is written. A
// failure at any point leaves the previous file as it was and removes the
// temporary.
//
// The target is resolved by the kernel, with its protections: a symbolic
// link is followed as an open() would follow it (so fs.protected_symlinks
// applies), and the file it names is replaced while the link stays. A link
// the kernel refuses to follow is PermissionDenied. A target that exists and
// is not a regular file (a folder, device, FIFO or socket) is refused with
// PathFileAccess and left alone. A link to nothing is followed one step at a
// time, under the same rule as the kernel's protected_symlinks whatever that
// setting says.
//
// An existing file keeps its permission bits except set-user-ID and
// set-group-ID, and its owner and group where the writer may set them (root,
// or the owner itself); one the writer may not write to is not replaced. A
// file with other hard links is replaced at its own name only: the other
// names keep the old contents.
//
// On Linux the temporary has no name until it is complete (O_TMPFILE), so
// a process killed while writing leaves nothing; where the file system has
// no unnamed files, a named ".NAME.N.tmp" is used instead. On Windows the
// temporary is marked for deletion while it is written, so that a process
// that dies leaves nothing either.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "lumarin/types.hpp"

namespace lumarin {

class ReplacementFile {
public:
    // How the temporary is made. Unnamed falls back to Named where the file
    // system refuses unnamed files; Named is there so that this fallback can
    // be tested on any file system. Windows always names its temporary.
    enum class Temporary { Unnamed, Named };

    // Opens the temporary file; throws the file error that stops it.
    explicit ReplacementFile(const Text& path, Temporary temporary = Temporary::Unnamed);
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

// "cannot write PATH" with the path's control characters escaped, so that
// an error message stays on one line.
std::string cannot_write(const Text& path);

}  // namespace lumarin
