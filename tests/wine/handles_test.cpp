// The owning handle types: each handle is closed exactly once, whatever
// moves, resets and out-parameters it goes through, and "no handle" is
// never closed.
//   handles_test
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <utility>

#include "server/com_handles.hpp"
#include "surface/win_handles.hpp"
#include "tests/wine/checks.hpp"

namespace {

using lumarin::win::Bstr;
using lumarin::win::UniqueHandle;
using namespace lumarin::wine_test;

// Stands in for a handle: closing one counts it.
struct Fake {
    int closed = 0;
};

int& null_closes()
{
    static int count = 0;
    return count;
}

void close_fake(Fake* f)
{
    ++(f ? f->closed : null_closes());
}

using Owned = UniqueHandle<Fake*, close_fake>;

void test_each_handle_closed_once()
{
    Fake a, b, c;
    {
        Owned first(&a);
        Owned second(std::move(first));
        check(!first && second.get() == &a, "a move hands the handle over");
        Owned third(&b);
        third = std::move(second);
        check(b.closed == 1 && a.closed == 0, "a move assignment closes only the handle it replaces");
        Owned& alias = third;
        third = std::move(alias);
        check(a.closed == 0 && third.get() == &a, "a move onto itself keeps the handle");
        *third.put() = &c;
        check(a.closed == 1 && c.closed == 0, "put() closes the handle it exposes the slot of");
        Fake* kept = third.detach();
        check(kept == &c && !third, "detach() gives the handle up");
        third.reset(kept);
    }
    check(a.closed == 1 && b.closed == 1 && c.closed == 1, "each handle closed once, by its last owner");
    check(null_closes() == 0, "no handle is never closed");
}

void test_no_handle_is_never_closed()
{
    // Closing INVALID_HANDLE_VALUE or null would report an error here; an
    // owner of "no handle" must not try.
    SetLastError(ERROR_SUCCESS);
    {
        lumarin::win::File file;
        check(!file && file.get() == INVALID_HANDLE_VALUE, "a file owner starts with INVALID_HANDLE_VALUE");
        lumarin::win::File moved(std::move(file));
        lumarin::win::DeviceContext dc;
        check(!dc, "a device context owner starts empty");
    }
    check(GetLastError() == ERROR_SUCCESS, "no close was tried: " + std::to_string(GetLastError()));
}

void test_bstr()
{
    Bstr text(u"abc");
    check(text.view() == u"abc", "a Bstr holds a copy of its text");
    Bstr adopted = Bstr::adopt(SysAllocString(L"def"));
    check(adopted.view() == u"def", "a Bstr adopts a string");
    check(Bstr().view().empty(), "no string is empty text");
}

}  // namespace

int main()
{
    test_each_handle_closed_once();
    test_no_handle_is_never_closed();
    test_bstr();
    std::printf("%d failure(s)\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
