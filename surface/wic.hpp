// What the Windows Imaging Component's users share: a failed call as the
// one error type, and COM on the calling thread for as long as they need it.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "common/fail.hpp"
#include "lumarin/error.hpp"

namespace lumarin::win {

// `job` says what failed ("cannot read the PNG"), `step` which call.
[[noreturn]] inline void fail_wic(HRESULT hr, const char* job, const char* step)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    const ErrorKind kind = hr == E_OUTOFMEMORY ? ErrorKind::OutOfMemory : ErrorKind::InvalidPicture;
    fail(kind, std::string(job) + ": " + step + " failed (" + code + ")");
}

// COM on this thread for as long as it lives, leaving the thread as it
// found it: a thread without COM joins the multithreaded apartment (no
// message loop needed) and leaves it again; a thread already in an
// apartment of either kind keeps it. Every successful CoInitializeEx,
// S_FALSE included, is balanced by one CoUninitialize.
class ComApartment {
public:
    explicit ComApartment(const char* job)
    {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(hr))
            joined_ = true;
        else if (hr != RPC_E_CHANGED_MODE)  // a single-threaded apartment already: use it
            fail_wic(hr, job, "starting COM");
    }
    ~ComApartment()
    {
        if (joined_)
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool joined_ = false;
};

}  // namespace lumarin::win
