// Throwing the one error type from inside the library.
#pragma once

#include <string_view>

#include "lumarin/error.hpp"

namespace lumarin {

[[noreturn]] void fail(ErrorKind kind);
[[noreturn]] void fail(ErrorKind kind, std::string_view context);

}  // namespace lumarin
