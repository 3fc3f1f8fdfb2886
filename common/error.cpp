#include "common/fail.hpp"
#include "lumarin/error.hpp"

namespace lumarin {

std::string_view description(ErrorKind kind) noexcept
{
    switch (kind) {
    case ErrorKind::Overflow: return "Overflow";
    case ErrorKind::OutOfMemory: return "Out of memory";
    case ErrorKind::SubscriptOutOfRange: return "Subscript out of range";
    case ErrorKind::FloatingPoint: return "Floating-point error";
    case ErrorKind::TypeMismatch: return "Type mismatch";
    case ErrorKind::BadFileName: return "Bad file name or number";
    case ErrorKind::FileNotFound: return "File not found";
    case ErrorKind::DeviceIO: return "Device I/O error";
    case ErrorKind::DiskFull: return "Disk full";
    case ErrorKind::DeviceUnavailable: return "Device unavailable";
    case ErrorKind::PermissionDenied: return "Permission denied";
    case ErrorKind::PathFileAccess: return "Path/File access error";
    case ErrorKind::PathNotFound: return "Path not found";
    case ErrorKind::InvalidUseOfNull: return "Invalid use of Null";
    case ErrorKind::InvalidPropertyValue: return "Invalid property value";
    case ErrorKind::InvalidPicture: return "Invalid picture";
    }
    return "Unknown error";
}

namespace {
std::string message(ErrorKind kind, std::string_view context)
{
    std::string text(context);
    if (!text.empty())
        text += ": ";
    text += description(kind);
    return text;
}
}  // namespace

Error::Error(ErrorKind kind) : Error(kind, {}) {}

Error::Error(ErrorKind kind, std::string_view context)
    : std::runtime_error(message(kind, context)), kind_(kind), context_(context)
{
}

Error Error::at(std::string_view where) const
{
    std::string context(where);
    if (!context_.empty())
        context += ": " + context_;
    return Error(kind_, context);
}

void fail(ErrorKind kind) { throw Error(kind); }
void fail(ErrorKind kind, std::string_view context) { throw Error(kind, context); }

}  // namespace lumarin
