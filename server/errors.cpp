#include "server/errors.hpp"

#include <oleauto.h>

#include <algorithm>
#include <array>
#include <new>
#include <optional>
#include <string_view>

#include "lumarin/error.hpp"
#include "server/Lumarin_h.h"
#include "server/com_handles.hpp"

namespace lumarin::server {

namespace {

constexpr const wchar_t* kSource = L"Lumarin.synapse";

HRESULT hresult_of(ErrorKind kind) noexcept
{
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<int>(kind));
}
static_assert(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 6) == static_cast<HRESULT>(0x800A0006));

// Sets the thread's error information for a failure of ours and returns
// its HRESULT. Nothing here allocates on the C++ heap: it runs when memory
// has run out too.
HRESULT report(ErrorKind kind) noexcept
{
    // The descriptions are short and ASCII.
    const std::string_view text = description(kind);
    std::array<wchar_t, 64> wide{};
    std::copy_n(text.begin(), std::min(text.size(), wide.size() - 1), wide.begin());
    win::ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.put()))) {
        create->SetGUID(IID__synapse);
        create->SetSource(const_cast<LPOLESTR>(kSource));
        create->SetDescription(wide.data());
        win::ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.query(IID_IErrorInfo, info)))
            SetErrorInfo(0, info.get());
    }
    return hresult_of(kind);
}

// Our kind of failure for the exception being handled; none for an
// exception that is neither ours nor memory running out.
std::optional<ErrorKind> kind_of_current_exception() noexcept
{
    try {
        throw;
    } catch (const Error& e) {
        return e.kind();
    } catch (const std::bad_alloc&) {
        return ErrorKind::OutOfMemory;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

HRESULT current_exception_hresult(Boundary at) noexcept
{
    const std::optional<ErrorKind> kind = kind_of_current_exception();
    if (!kind)
        return E_UNEXPECTED;
    if (at == Boundary::Member)
        return report(*kind);
    return *kind == ErrorKind::OutOfMemory ? E_OUTOFMEMORY : hresult_of(*kind);
}

void throw_if_out_of_memory(HRESULT hr)
{
    if (hr == E_OUTOFMEMORY)
        throw std::bad_alloc();
}

}  // namespace lumarin::server
