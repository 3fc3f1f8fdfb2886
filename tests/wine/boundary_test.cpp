// The rule that turns an exception into an HRESULT at the server's
// boundaries, for the failures no client call can bring about on demand:
// memory running out at a library entry point, and exceptions that are
// none of ours. (Memory running out in a member call is client_test's.)
//   boundary_test
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <new>
#include <stdexcept>

#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "server/com_handles.hpp"
#include "server/errors.hpp"
#include "tests/wine/checks.hpp"
#include "tests/wine/handles.hpp"

namespace {

using lumarin::ErrorKind;
using lumarin::fail;
using lumarin::server::entry_point;
using lumarin::server::member_call;
using lumarin::win::ComPtr;
using namespace lumarin::wine_test;

bool error_info_left()
{
    ComPtr<IErrorInfo> info;
    return GetErrorInfo(0, info.put()) == S_OK && info;
}

// An entry point has no error information to give: memory running out is
// E_OUTOFMEMORY, in whichever form it was thrown, and nothing else is.
void test_entry_points()
{
    check_hr(entry_point([] { throw std::bad_alloc(); }), E_OUTOFMEMORY, "entry point, std::bad_alloc");
    check_hr(entry_point([] { fail(ErrorKind::OutOfMemory, "cannot allocate"); }), E_OUTOFMEMORY,
             "entry point, OutOfMemory");
    check_hr(entry_point([] { fail(ErrorKind::PermissionDenied); }), control_error(70),
             "entry point, PermissionDenied");
    check_hr(entry_point([] { throw std::length_error("too long"); }), E_UNEXPECTED, "entry point, length_error");
    check(!error_info_left(), "entry points leave no error information");
    check_hr(entry_point([] { return CLASS_E_CLASSNOTAVAILABLE; }), CLASS_E_CLASSNOTAVAILABLE,
             "entry point's own failure");
}

// A member call reports ours with error information; an exception that is
// none of ours is E_UNEXPECTED, with nothing to describe it.
void test_member_calls()
{
    check_hr(member_call([] { throw std::length_error("too long"); }), E_UNEXPECTED, "member, length_error");
    check(!error_info_left(), "no error information for an exception not ours");
    check_hr(member_call([] { throw std::bad_alloc(); }), control_error(7), "member, std::bad_alloc");
    check(error_info_left(), "error information for memory running out");
    check_hr(member_call([] {}), S_OK, "member that returns");
}

}  // namespace

int main()
{
    const ComApartment apartment;
    check_hr(apartment.result(), S_OK, "CoInitializeEx");
    test_entry_points();
    test_member_calls();
    std::printf("%d failure(s)\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
