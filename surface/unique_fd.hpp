// An owning POSIX file descriptor: move-only, closed once, -1 for none.
#pragma once

#include <unistd.h>

#include <utility>

namespace lumarin {

class UniqueFd {
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    // Gives up ownership without closing.
    int release() noexcept { return std::exchange(fd_, -1); }
    void reset(int fd = -1) noexcept
    {
        if (const int old = std::exchange(fd_, fd); old >= 0)
            ::close(old);
    }
    // Closes now and says whether the kernel reported an error, which for
    // a written file can mean lost data.
    bool close() noexcept { return ::close(release()) == 0; }

private:
    int fd_ = -1;
};

}  // namespace lumarin
