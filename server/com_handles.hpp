// Small owning types for the COM and registry handles the server and its
// Windows clients hold: each releases what it owns exactly once.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <new>
#include <string_view>
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

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::u16string_view text);
    explicit Bstr(const wchar_t* text) : Bstr(std::u16string_view(reinterpret_cast<const char16_t*>(text))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept
    {
        std::swap(b_, other.b_);
        return *this;
    }
    ~Bstr() { reset(); }

    void reset() noexcept
    {
        if (BSTR b = std::exchange(b_, nullptr))
            SysFreeString(b);
    }
    BSTR* put() noexcept
    {
        reset();
        return &b_;
    }
    BSTR get() const noexcept { return b_; }
    // For an [in, out] parameter: the value stays and may be replaced.
    BSTR* in_out() noexcept { return &b_; }
    BSTR detach() noexcept { return std::exchange(b_, nullptr); }
    std::u16string_view view() const noexcept
    {
        return {reinterpret_cast<const char16_t*>(b_), b_ ? SysStringLen(b_) : 0u};
    }

private:
    BSTR b_ = nullptr;
};

// Throws std::bad_alloc when the string cannot be allocated.
inline Bstr::Bstr(std::u16string_view text)
{
    if (text.size() > 0x7FFFFFF0u)
        throw std::bad_alloc();
    b_ = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
    if (!b_)
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

class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& other) noexcept : k_(std::exchange(other.k_, nullptr)) {}
    ~RegKey()
    {
        if (k_)
            RegCloseKey(k_);
    }
    HKEY* put() noexcept
    {
        if (k_)
            RegCloseKey(std::exchange(k_, nullptr));
        return &k_;
    }
    HKEY get() const noexcept { return k_; }
    explicit operator bool() const noexcept { return k_ != nullptr; }

private:
    HKEY k_ = nullptr;
};

class Library {
public:
    explicit Library(const wchar_t* path, DWORD flags = 0) : h_(LoadLibraryExW(path, nullptr, flags)) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library()
    {
        if (h_)
            FreeLibrary(h_);
    }
    HMODULE get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != nullptr; }

private:
    HMODULE h_;
};

// CoInitializeEx for a scope; CoUninitialize only when it succeeded.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : hr_(CoInitializeEx(nullptr, model)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment()
    {
        if (SUCCEEDED(hr_))
            CoUninitialize();
    }
    HRESULT result() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

}  // namespace lumarin::win
