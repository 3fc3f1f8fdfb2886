// Small owning types for the COM and registry handles the server and its
// Windows clients hold: each releases what it owns exactly once. Handles
// closed by one function are UniqueHandles, as the surface's are; a COM
// pointer counts references instead, and a VARIANT is a value cleared once.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <new>
#include <string_view>
#include <utility>

#include "surface/win_handles.hpp"

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

// A BSTR, freed once.
class Bstr : public UniqueHandle<BSTR, SysFreeString> {
public:
    Bstr() = default;
    // A copy of the text; throws std::bad_alloc when it cannot be allocated.
    explicit Bstr(std::u16string_view text);
    explicit Bstr(const wchar_t* text) : Bstr(std::u16string_view(reinterpret_cast<const char16_t*>(text))) {}
    // Adopts a string the caller owns.
    static Bstr adopt(BSTR b) noexcept
    {
        Bstr owner;
        owner.reset(b);
        return owner;
    }

    std::u16string_view view() const noexcept
    {
        return {reinterpret_cast<const char16_t*>(get()), get() ? SysStringLen(get()) : 0u};
    }
};

inline Bstr::Bstr(std::u16string_view text)
{
    if (text.size() > 0x7FFFFFF0u)
        throw std::bad_alloc();
    reset(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size())));
    if (!get())
        throw std::bad_alloc();
}

class Variant {
public:
    Variant() noexcept { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }

    VARIANT* get() noexcept { return &v_; }
    const VARIANT* get() const noexcept { return &v_; }
    VARIANT* operator->() noexcept { return &v_; }
    // Clears the old value and exposes the slot for an out-parameter.
    VARIANT* put() noexcept
    {
        VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

using RegKey = UniqueHandle<HKEY, RegCloseKey>;

}  // namespace lumarin::win
