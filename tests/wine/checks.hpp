// What the Windows client tests share: failures printed and counted, HRESULTs
// shown in hex, and Unix paths given on the command line made Windows ones.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace lumarin::wine_test {

inline int g_failures = 0;

inline void check(bool ok, const std::string& what)
{
    if (!ok) {
        std::printf("FAIL: %s\n", what.c_str());
        ++g_failures;
    }
}

inline std::string hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

inline void check_hr(HRESULT got, HRESULT want, const std::string& what)
{
    check(got == want, what + ": " + hex(got) + ", expected " + hex(want));
}

// Our texts are ASCII.
inline std::string narrow(std::wstring_view w) { return std::string(w.begin(), w.end()); }

inline std::wstring windows_path(const char* path)
{
    std::wstring w(path, path + std::strlen(path));
    if (!w.empty() && w[0] == L'/')
        w = L"Z:" + w;
    for (auto& c : w)
        if (c == L'/')
            c = L'\\';
    return w;
}

constexpr HRESULT control_error(int n) { return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, n); }

// Frees the strings a caller receives in an EXCEPINFO.
inline void free_strings(EXCEPINFO& e)
{
    SysFreeString(e.bstrSource);
    SysFreeString(e.bstrDescription);
    SysFreeString(e.bstrHelpFile);
}

}  // namespace lumarin::wine_test
