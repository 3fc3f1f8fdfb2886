// Small owning types for the COM and registry handles the server and its
// Windows clients hold: each releases what it owns exactly once. Handles
// closed by one function are UniqueHandles, as the surface's are; a COM
// pointer (surface/com_ptr.hpp) counts references instead, and a VARIANT is
// a value cleared once.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <new>
#include <string_view>
#include <utility>

#include "surface/com_ptr.hpp"
#include "surface/win_handles.hpp"

namespace lumarin::win {

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
