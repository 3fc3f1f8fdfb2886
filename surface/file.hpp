// Replacing a file atomically: bytes go to a temporary file in the target's
// folder, which takes the target's name only once everything is written. A
// failure at any point leaves the previous file as it was and removes the
// temporary.
//
// The target is resolved one name at a time, by our own rules rather than
// whatever the system's settings say: in a sticky folder that others may
// write (as /tmp), a symbolic link is followed only where it belongs to the
// writer or to the folder's owner, and a file with other hard links is
// replaced only where it belongs to one of them (the kernel's
// protected_symlinks and protected_hardlinks); nor is another user's file
// there given the writer's data (protected_regular), also where it appears
// while the save is being written. A link is otherwise followed and the
// file it names is replaced while the link stays. A target that
// exists and is not a regular file (a folder, device, FIFO or socket) is
// refused with PathFileAccess and left alone.
//
// An existing file keeps who may read it: its permission bits except
// set-user-ID and set-group-ID, its owner and group, its ACL, its extended
// attributes and its file capabilities, all given to the new file before it
// takes the name. One the writer may not give (an owner other than itself
// where it is not root, capabilities where it lacks CAP_SETFCAP) refuses the
// save, unless the caller accepts the loss (SaveOptions::accept_loss),
// which is then told what was lost. Attributes the writer cannot even see
// (another user's trusted.* where it is not root) are lost unnoticed. A
// file the writer may not write to is not replaced. A file with other hard
// links is replaced at its own name only: the other names keep the old
// contents.
//
// Durable by default: the new file reaches the disk before it takes
// the name, and the folder's entry after, so that a power cut leaves the old
// file or the new one, never an empty one. Scratch files can skip that.
//
// On Linux the temporary has no name until it is complete (O_TMPFILE);
// where the file system has no unnamed files, a named one is used, created
// readable by its owner only. Between naming the temporary and renaming it
// (two calls) a killed process leaves a ".NAME.PID.TAG.N.tmp" behind; a save
// removes those of its own target whose process has gone (unless told not
// to list the folder, SaveOptions::remove_stale). On Windows
// the temporary is marked for deletion while it is written, so that a
// process that dies leaves nothing either.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "lumarin/save_options.hpp"
#include "lumarin/types.hpp"

namespace lumarin {

class ReplacementFile {
public:
    // How the temporary is made. Unnamed falls back to Named where the file
    // system refuses unnamed files; Named is there so that this fallback can
    // be tested on any file system. Windows always names its temporary.
    enum class Temporary { Unnamed, Named };

    // Opens the temporary file; throws the file error that stops it.
    explicit ReplacementFile(const Text& path, SaveOptions options = {}, Temporary temporary = Temporary::Unnamed);
    ~ReplacementFile();  // discards the temporary unless committed
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    void write(std::span<const std::byte> bytes);
    // The pieces one after another, in as few system calls as the platform
    // allows (writev on POSIX).
    void write(std::span<const std::span<const std::byte>> pieces);
    // Gives the temporary the old file's access, syncs it, renames it over
    // the target and syncs the folder (as the options say).
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
