// The command's own failures: what the user did or gave that cannot be
// used. Each carries the exit status of its kind, so that main turns every
// one into the same thing: one line on standard error and that status.
#pragma once

#include <stdexcept>
#include <string>

namespace lumarin::cli {

// The exit statuses docs/command.md lists for the command's failures.
enum class Failure : int {
    Usage = 2,     // a bad option or combination; the message names it
    BadInput = 3,  // text that cannot be read as text or drawn as asked
    File = 4,      // a file or standard output that cannot be read or written
    Printer = 5,   // a printer that cannot be reached or did not take the whole job
};

class CommandError : public std::runtime_error {
public:
    CommandError(Failure kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Failure kind() const noexcept { return kind_; }
    int exit_status() const noexcept { return static_cast<int>(kind_); }

private:
    Failure kind_;
};

// Shorthands for the throw sites, which are many.
[[noreturn]] inline void usage_error(const std::string& message) { throw CommandError(Failure::Usage, message); }
[[noreturn]] inline void input_error(const std::string& message) { throw CommandError(Failure::BadInput, message); }
[[noreturn]] inline void file_error(const std::string& message) { throw CommandError(Failure::File, message); }

}  // namespace lumarin::cli
