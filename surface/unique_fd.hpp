// An owning POSIX file descriptor: a UniqueHandle closed by close(), -1 for
// none.
#pragma once

#include <unistd.h>

#include "surface/unique_handle.hpp"

namespace lumarin {

struct MinusOneIsNone {
    template <typename Raw>
    static Raw none() noexcept
    {
        return -1;
    }
};

using UniqueFd = UniqueHandle<int, ::close, MinusOneIsNone>;

// Closes now and says whether the kernel reported an error, which for a
// written file can mean lost data.
inline bool close_now(UniqueFd& fd) noexcept { return ::close(fd.detach()) == 0; }

}  // namespace lumarin
