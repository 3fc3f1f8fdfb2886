// A counted COM pointer: one reference owned, released once. The surface's
// WIC writer and the server's objects and clients share it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <utility>

namespace lumarin::win {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a reference of its own.
    explicit ComPtr(T* p) : p_(p)
    {
        if (p_)
            p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Adopts a reference the caller already owns.
    static ComPtr adopt(T* p) noexcept
    {
        ComPtr c;
        c.p_ = p;
        return c;
    }

    void reset() noexcept
    {
        if (T* p = std::exchange(p_, nullptr))
            p->Release();
    }
    // For out-parameters: releases what is held and exposes the slot.
    T** put() noexcept
    {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    T* detach() noexcept { return std::exchange(p_, nullptr); }

    template <typename U>
    HRESULT query(const IID& iid, ComPtr<U>& out) const
    {
        return p_ ? p_->QueryInterface(iid, out.put_void()) : E_POINTER;
    }

private:
    T* p_ = nullptr;
};

}  // namespace lumarin::win
