// A small early-bound client: creates the registered synapse object,
// prints three lines through the _synapse vtable and reports a failure the
// way COM hands it over, as an HRESULT and its IErrorInfo.
//   lumarin_client OUTPUT.bmp
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

#include "server/Lumarin_h.h"
#include "server/com_handles.hpp"

using lumarin::win::Bstr;
using lumarin::win::ComPtr;

namespace {

std::u16string_view view(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

void report(HRESULT hr)
{
    std::printf("failed: 0x%08lX", static_cast<unsigned long>(hr));
    ComPtr<IErrorInfo> info;
    Bstr description;
    if (GetErrorInfo(0, info.put()) == S_OK && info && SUCCEEDED(info->GetDescription(description.put())))
        std::printf(" (error %ld: %ls)", static_cast<long>(HRESULT_CODE(hr)), description.get());
    std::printf("\n");
}

HRESULT run(const wchar_t* file)
{
    ComPtr<_synapse> synapse;
    HRESULT hr = CoCreateInstance(CLSID_synapse, nullptr, CLSCTX_INPROC_SERVER, IID__synapse, synapse.put_void());
    if (FAILED(hr))
        return hr;
    synapse->put_FontName(Bstr(u"Courier New").get());
    synapse->put_FontSize(10);
    synapse->put_LineSpacing(16);
    synapse->put_ForeColor(Bstr(u"Red").get());
    synapse->put_FileName(Bstr(view(file)).get());

    const char16_t* lines[] = {u"Early-bound client", u"through the vtable", u"of _synapse"};
    Bstr longest(lines[0]);
    if (FAILED(hr = synapse->MaximumStringLength(longest.in_out())))
        return hr;
    short side = 4;
    if (FAILED(hr = synapse->SidePadding(&side)))
        return hr;
    VARIANT top;
    VariantInit(&top);
    V_VT(&top) = VT_I2;
    V_I2(&top) = 4;
    if (FAILED(hr = synapse->TopPadding(&top)))
        return hr;
    for (const char16_t* line : lines) {
        Bstr text(line);
        LONG x = 0, y = 0;
        if (FAILED(hr = synapse->PrintText(text.in_out(), &x, &y)))
            return hr;
    }
    // An error on purpose: the side margin leaves 16 bits.
    side = -32768;
    hr = synapse->SidePadding(&side);
    if (hr != MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 6))
        return E_UNEXPECTED;
    std::printf("expected failure, ");
    report(hr);
    return S_OK;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::printf("usage: lumarin_client OUTPUT.bmp\n");
        return 2;
    }
    const lumarin::win::ComApartment apartment;
    if (FAILED(apartment.result()))
        return 1;
    const HRESULT hr = run(argv[1]);
    if (FAILED(hr)) {
        report(hr);
        return 1;
    }
    std::printf("wrote %ls\n", argv[1]);
    return 0;
}
