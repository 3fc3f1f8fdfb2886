// The one error type. Each kind has a fixed number and description, the
// numbers scripting clients already know; they travel unchanged to every
// client (through COM as 0x800A0000 + number).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace lumarin {

enum class ErrorKind : int {
    Overflow = 6,
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    FloatingPoint = 11,
    TypeMismatch = 13,
    BadFileName = 52,
    FileNotFound = 53,
    DeviceIO = 57,
    DiskFull = 61,
    DeviceUnavailable = 68,
    PermissionDenied = 70,
    PathFileAccess = 75,
    PathNotFound = 76,
    InvalidUseOfNull = 94,
    InvalidPropertyValue = 380,
    InvalidPicture = 481,
};

// The fixed description of a kind, as scripts read it from Err.Description.
std::string_view description(ErrorKind kind) noexcept;

class Error : public std::runtime_error {
public:
    explicit Error(ErrorKind kind);
    // context says where it happened, e.g. "cannot write /tmp/x.bmp"
    Error(ErrorKind kind, std::string_view context);

    ErrorKind kind() const noexcept { return kind_; }
    int number() const noexcept { return static_cast<int>(kind_); }
    std::string_view description() const noexcept { return lumarin::description(kind_); }
    // Where it happened, without the description.
    const std::string& context() const noexcept { return context_; }
    // The same failure, with `where` in front of its context.
    Error at(std::string_view where) const;

private:
    ErrorKind kind_;
    std::string context_;
};


}  // namespace lumarin
