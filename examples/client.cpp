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

// COM for this thread while main runs; released only if it was taken.
struct Apartment {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Apartment() = default;
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment()
    {
        if (SUCCEEDED(hr))
            CoUninitialize();
    }
};

// The methods take their text [in, out]: the object may free the string
// and store another, so the string is lent for the call and whatever
// comes back is owned again.
template <typename Call>
HRESULT lend(Bstr& text, Call call)
{
    BSTR slot = text.detach();
    const HRESULT hr = call(&slot);
    text = Bstr::adopt(slot);
    return hr;
}

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
    if (FAILED(hr = lend(longest, [&](BSTR* s) { return synapse->MaximumStringLength(s); })))
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
        if (FAILED(hr = lend(text, [&](BSTR* s) { return synapse->PrintText(s, &x, &y); })))
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
    const Apartment apartment;
    if (FAILED(apartment.hr))
        return 1;
    const HRESULT hr = run(argv[1]);
    if (FAILED(hr)) {
        report(hr);
        return 1;
    }
    std::printf("wrote %ls\n", argv[1]);
    return 0;
}
