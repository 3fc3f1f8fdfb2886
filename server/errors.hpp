// Where an exception meets COM: the one rule that turns whatever a call
// threw into its HRESULT, used at every boundary of the server.
#pragma once

#include <windows.h>

#include <type_traits>

namespace lumarin::server {

enum class Boundary {
    Member,      // an object's method, through its vtable or through Invoke
    EntryPoint,  // DllGetClassObject, DllRegisterServer, DllUnregisterServer
};

// The HRESULT for the exception being handled. A member call fails with
// our error's number, 0x800A0000 + number, and leaves error information
// with its description; running out of memory is error 7, "Out of memory".
// An entry point sets no error information: it returns E_OUTOFMEMORY when
// memory ran out and 0x800A0000 + number for our other errors. Any other
// exception is E_UNEXPECTED at both.
HRESULT current_exception_hresult(Boundary at) noexcept;

// Runs body at a boundary: what body returns (S_OK when it returns
// nothing), or the HRESULT above when it throws.
template <typename F>
HRESULT at_boundary(Boundary at, F&& body) noexcept
{
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<F&>>) {
            body();
            return S_OK;
        } else {
            return body();
        }
    } catch (...) {
        return current_exception_hresult(at);
    }
}

template <typename F>
HRESULT member_call(F&& body) noexcept
{
    return at_boundary(Boundary::Member, body);
}

template <typename F>
HRESULT entry_point(F&& body) noexcept
{
    return at_boundary(Boundary::EntryPoint, body);
}

// For a system call's result: E_OUTOFMEMORY throws std::bad_alloc, so that
// memory running out is reported as such wherever the call was made.
void throw_if_out_of_memory(HRESULT hr);

}  // namespace lumarin::server
