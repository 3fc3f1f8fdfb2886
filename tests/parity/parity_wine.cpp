// The parity jobs through Lumarin.dll, loaded directly (no registration):
//   parity_wine DLL OUTPUT-FOLDER
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "server/Lumarin_h.h"
#include "server/com_handles.hpp"
#include "tests/parity/parity_jobs.hpp"
#include "tests/wine/checks.hpp"
#include "tests/wine/handles.hpp"

namespace {

using namespace lumarin;
using win::Bstr;
using win::ComPtr;

void ok(HRESULT hr, const char* what)
{
    if (FAILED(hr))
        throw std::runtime_error(std::string(what) + " failed: " + std::to_string(static_cast<unsigned long>(hr)));
}

VARIANT_BOOL vb(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

class DllObject {
public:
    explicit DllObject(IClassFactory& factory)
    {
        ok(factory.CreateInstance(nullptr, IID__synapse, s_.put_void()), "CreateInstance");
    }
    void font(std::u16string_view name, int size)
    {
        ok(s_->put_FontName(Bstr(name).get()), "FontName");
        ok(s_->put_FontSize(static_cast<short>(size)), "FontSize");
    }
    void style(const parity::Style& st)
    {
        ok(s_->put_FinalBold(vb(st.bold)), "FinalBold");
        ok(s_->put_FontItalic(vb(st.italic)), "FontItalic");
        ok(s_->put_FontUnderline(vb(st.underline)), "FontUnderline");
        ok(s_->put_FontStrikethru(vb(st.strikethru)), "FontStrikethru");
    }
    void spacing(int pixels) { ok(s_->put_LineSpacing(static_cast<short>(pixels)), "LineSpacing"); }
    void width_factor(int percent) { ok(s_->put_FontWeight(static_cast<short>(percent)), "FontWeight"); }
    void file(const std::u16string& path) { ok(s_->put_FileName(Bstr(path).get()), "FileName"); }
    void size_for(std::u16string_view longest)
    {
        Bstr text(longest);
        ok(s_->MaximumStringLength(wine_test::in_out(text)), "MaximumStringLength");
    }
    void pad(int side, int top)
    {
        short s = static_cast<short>(side);
        ok(s_->SidePadding(&s), "SidePadding");
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_I2;
        V_I2(&v) = static_cast<short>(top);
        ok(s_->TopPadding(&v), "TopPadding");
    }
    void print(std::u16string_view line)
    {
        Bstr text(line);
        long x = 0;
        long y = 0;
        ok(s_->PrintText(wine_test::in_out(text), &x, &y), "PrintText");
    }
    void monotize()
    {
        Bstr location(u"");
        ok(s_->Monotize(wine_test::in_out(location)), "Monotize");
    }

private:
    ComPtr<_synapse> s_;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: parity_wine DLL OUTPUT-FOLDER\n");
        return 2;
    }
    try {
        const wine_test::ComApartment apartment;
        const wine_test::Library module(wine_test::windows_path(argv[1]).c_str());
        if (!module)
            throw std::runtime_error("cannot load the DLL");
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto get_class_object = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(module.get(), "DllGetClassObject")));
        if (!get_class_object)
            throw std::runtime_error("no DllGetClassObject");
        ComPtr<IClassFactory> factory;
        ok(get_class_object(CLSID_synapse, IID_IClassFactory, factory.put_void()), "DllGetClassObject");

        const std::wstring out = wine_test::windows_path(argv[2]);
        CreateDirectoryW(out.c_str(), nullptr);
        for (const int size : parity::kSizes)
            for (const auto& style : parity::kStyles) {
                DllObject o(*factory.get());
                const std::string name = parity::file_name(size, style);
                std::u16string path(reinterpret_cast<const char16_t*>(out.c_str()));
                path += u'\\';
                path.append(name.begin(), name.end());
                parity::run_job(o, size, style, path);
            }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "parity_wine: %s\n", e.what());
        return 1;
    }
    return 0;
}
