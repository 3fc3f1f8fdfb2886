// An owning handle of any kind: one move-only owner, given the function
// that closes it and, where it is not null, the value that means "no
// handle". Every constructor adopts a handle the caller already owns; none
// duplicates one. The Windows handles (win_handles.hpp) and POSIX file
// descriptors (unique_fd.hpp) are aliases of it.
#pragma once

#include <utility>

namespace lumarin {

// "No handle" for most handle types.
struct NullIsNone {
    template <typename Raw>
    static Raw none() noexcept
    {
        return nullptr;
    }
};

template <typename Raw, auto Close, typename None = NullIsNone>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Raw h) noexcept : h_(h) {}
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.detach()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        reset(other.detach());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Raw get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != none(); }
    // Gives up ownership without closing.
    Raw detach() noexcept { return std::exchange(h_, none()); }
    void reset(Raw h = none()) noexcept
    {
        if (const Raw old = std::exchange(h_, h); old != none())
            Close(old);
    }
    // For an out-parameter: closes what is held and exposes the slot.
    Raw* put() noexcept
    {
        reset();
        return &h_;
    }

private:
    static Raw none() noexcept { return None::template none<Raw>(); }

    Raw h_ = none();
};

}  // namespace lumarin
