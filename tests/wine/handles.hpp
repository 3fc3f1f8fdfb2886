// What the Windows tests hold beyond the server's own handle types: a
// loaded library, COM for the scope of a test, and a BSTR lent to an
// [in, out] parameter.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "server/com_handles.hpp"

namespace lumarin::wine_test {

// LoadLibraryExW's module, freed once.
class Library : public win::UniqueHandle<HMODULE, FreeLibrary> {
public:
    explicit Library(const wchar_t* path, DWORD flags = 0) : UniqueHandle(LoadLibraryExW(path, nullptr, flags)) {}
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

// A string lent to an [in, out] parameter for one call: the callee may free
// it and store another, and whatever it leaves is owned again afterwards.
//   o->PrintText(in_out(line), &x, &y);
class InOut {
public:
    explicit InOut(win::Bstr& owner) noexcept : owner_(owner), slot_(owner.detach()) {}
    InOut(const InOut&) = delete;
    InOut& operator=(const InOut&) = delete;
    ~InOut() { owner_ = win::Bstr::adopt(slot_); }
    operator BSTR*() noexcept { return &slot_; }

private:
    win::Bstr& owner_;
    BSTR slot_;
};

inline InOut in_out(win::Bstr& owner) noexcept { return InOut(owner); }

}  // namespace lumarin::wine_test
