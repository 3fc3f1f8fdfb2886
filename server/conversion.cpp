#include "server/conversion.hpp"

#include <oleauto.h>

#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "server/com_handles.hpp"
#include "server/errors.hpp"

namespace lumarin::server {

static_assert(sizeof(OLECHAR) == sizeof(char16_t));

Text text_of(BSTR b)
{
    return Text(reinterpret_cast<const char16_t*>(b), b ? SysStringLen(b) : 0u);
}

lumarin::Variant variant_of(VARIANT& given)
{
    win::Variant plain;
    HRESULT hr = VariantCopyInd(plain.get(), &given);
    throw_if_out_of_memory(hr);
    if (FAILED(hr))
        fail(ErrorKind::TypeMismatch);
    switch (V_VT(plain.get())) {
    case VT_EMPTY: return Empty{};
    case VT_NULL: return Null{};
    case VT_BSTR: return text_of(V_BSTR(plain.get()));
    default: break;
    }
    win::Variant number;
    hr = VariantChangeType(number.get(), plain.get(), 0, VT_R8);
    if (hr == DISP_E_OVERFLOW)
        fail(ErrorKind::Overflow);
    throw_if_out_of_memory(hr);
    if (FAILED(hr))
        fail(ErrorKind::TypeMismatch);
    return V_R8(number.get());
}

}  // namespace lumarin::server
