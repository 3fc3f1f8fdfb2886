// Lumarin.dll as C++ clients use it, run under Wine: the class factory and
// unloading, the early-bound vtable, and late binding through IDispatch by
// name and by the fixed member ids. What the file carries is dll_check's.
//   client_test PATH-OF-Lumarin.dll OUTPUT-FOLDER
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "server/Lumarin_h.h"
#include "server/com_handles.hpp"
#include "server/resource_ids.h"
#include "tests/wine/checks.hpp"
#include "tests/wine/handles.hpp"
#include "tests/wine/members.hpp"

namespace {

using lumarin::win::Bstr;
using lumarin::win::ComPtr;
using lumarin::win::Variant;
using namespace lumarin::wine_test;

// --- the class factory and unloading

void test_class_factory(const std::wstring& dll)
{
    const Library module(dll.c_str());
    if (!module)
        return;
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    auto get_class_object =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module.get(), "DllGetClassObject")));
    auto can_unload =
        reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(module.get(), "DllCanUnloadNow")));
    check(get_class_object && can_unload, "exports DllGetClassObject and DllCanUnloadNow undecorated");
    check(GetProcAddress(module.get(), "DllRegisterServer") && GetProcAddress(module.get(), "DllUnregisterServer"),
          "exports DllRegisterServer and DllUnregisterServer undecorated");
    if (!get_class_object || !can_unload)
        return;

    ComPtr<IClassFactory> factory;
    check_hr(get_class_object(IID__synapse, IID_IClassFactory, factory.put_void()), CLASS_E_CLASSNOTAVAILABLE,
             "DllGetClassObject of another class");
    check_hr(get_class_object(CLSID_synapse, IID_IClassFactory, factory.put_void()), S_OK, "DllGetClassObject");
    if (!factory)
        return;
    // Holding the factory alone does not keep the library; LockServer does.
    check_hr(can_unload(), S_OK, "DllCanUnloadNow while only the factory is held");
    ComPtr<_synapse> object;
    ComPtr<IUnknown> outer;
    check_hr(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IUnknown, outer.put_void()),
             CLASS_E_NOAGGREGATION, "aggregation refused");
    check_hr(factory->CreateInstance(nullptr, IID__synapse, object.put_void()), S_OK, "CreateInstance");
    check_hr(factory->LockServer(TRUE), S_OK, "LockServer(TRUE)");
    factory.reset();
    check_hr(can_unload(), S_FALSE, "DllCanUnloadNow while an object lives");
    object.reset();
    check_hr(can_unload(), S_FALSE, "DllCanUnloadNow while locked");
    ComPtr<IClassFactory> again;
    get_class_object(CLSID_synapse, IID_IClassFactory, again.put_void());
    if (again)
        again->LockServer(FALSE);
    again.reset();
    check_hr(can_unload(), S_OK, "DllCanUnloadNow after everything is released");
}

// --- early binding

void expect_error_info(HRESULT hr, int number, const wchar_t* description, const std::string& what)
{
    check_hr(hr, control_error(number), what);
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) {
        check(false, what + ": no error information");
        return;
    }
    Bstr text, source;
    GUID guid{};
    info->GetDescription(text.put());
    info->GetSource(source.put());
    info->GetGUID(&guid);
    check(text.view() == std::u16string_view(reinterpret_cast<const char16_t*>(description)),
          what + ": description");
    check(source.view() == u"Lumarin.synapse", what + ": source");
    check(guid == IID__synapse, what + ": GUID");
}

long long file_size(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void test_early_bound(_synapse* o, const std::wstring& out)
{
    // Through the vtable a Boolean stays what the client stored.
    VARIANT_BOOL b = 0;
    check_hr(o->put_FinalBold(1), S_OK, "put_FinalBold(1)");
    check_hr(o->get_FinalBold(&b), S_OK, "get_FinalBold");
    check(b == 1, "FinalBold 1 reads back 1 through the vtable, not " + std::to_string(b));

    Bstr name;
    check_hr(o->get_FontName(name.put()), S_OK, "get_FontName");
    check(name.view().empty(), "FontName starts empty");
    check_hr(o->put_FontName(Bstr(u"Courier New").get()), S_OK, "put_FontName");
    check_hr(o->get_FontName(name.put()), S_OK, "get_FontName");
    check(name.view() == u"Courier New", "FontName reads back");
    check_hr(o->put_FontName(nullptr), S_OK, "put_FontName(null BSTR)");
    check_hr(o->get_FontName(name.put()), S_OK, "get_FontName");
    check(name.view().empty(), "a null BSTR stores empty text");

    check_hr(o->get_LineSpacing(nullptr), E_POINTER, "get_LineSpacing(nullptr)");
    check_hr(o->get_FileName(nullptr), E_POINTER, "get_FileName(nullptr)");
    check_hr(o->PrintText(nullptr, nullptr, nullptr), E_POINTER, "PrintText(nullptr...)");
    check_hr(o->TopPadding(nullptr), E_POINTER, "TopPadding(nullptr)");

    short length = -32768;
    expect_error_info(o->SidePadding(&length), 6, L"Overflow", "SidePadding(-32768)");

    ComPtr<ISupportErrorInfo> support;
    check_hr(o->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK, "ISupportErrorInfo");
    if (support) {
        check_hr(support->InterfaceSupportsErrorInfo(IID__synapse), S_OK, "supports error info on _synapse");
        check_hr(support->InterfaceSupportsErrorInfo(IID_IClassFactory), S_FALSE, "no error info elsewhere");
    }

    // TopPadding's VARIANT kinds.
    Variant v;
    V_VT(v.get()) = VT_BSTR;
    V_BSTR(v.get()) = Bstr(u" 7 ").detach();
    check_hr(o->TopPadding(v.get()), S_OK, "TopPadding(\" 7 \")");
    V_BSTR(v.get()) = (VariantClear(v.get()), Bstr(u"abc").detach());
    V_VT(v.get()) = VT_BSTR;
    expect_error_info(o->TopPadding(v.get()), 13, L"Type mismatch", "TopPadding(\"abc\")");
    V_VT(v.put()) = VT_NULL;
    expect_error_info(o->TopPadding(v.get()), 94, L"Invalid use of Null", "TopPadding(Null)");
    V_VT(v.put()) = VT_EMPTY;
    check_hr(o->TopPadding(v.get()), S_OK, "TopPadding(Empty)");
    V_VT(v.put()) = VT_DECIMAL;
    VarDecFromI4(3, &V_DECIMAL(v.get()));
    V_VT(v.get()) = VT_DECIMAL;
    check_hr(o->TopPadding(v.get()), S_OK, "TopPadding(decimal 3)");
    V_VT(v.put()) = VT_DATE;
    V_DATE(v.get()) = 2.0;
    check_hr(o->TopPadding(v.get()), S_OK, "TopPadding(date)");
    V_VT(v.put()) = VT_ERROR;
    V_ERROR(v.get()) = DISP_E_PARAMNOTFOUND;
    expect_error_info(o->TopPadding(v.get()), 13, L"Type mismatch", "TopPadding(missing)");
    Variant inner;
    V_VT(inner.get()) = VT_I4;
    V_I4(inner.get()) = 5;
    VARIANT ref;
    V_VT(&ref) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&ref) = inner.get();
    check_hr(o->TopPadding(&ref), S_OK, "TopPadding(by-reference variant)");
    LONG number = 9;
    V_VT(&ref) = VT_BYREF | VT_I4;
    V_I4REF(&ref) = &number;
    check_hr(o->TopPadding(&ref), S_OK, "TopPadding(by-reference long)");

    // A small job, colour then monochrome.
    ComPtr<_synapse> job;
    check_hr(o->QueryInterface(IID__synapse, job.put_void()), S_OK, "QueryInterface(_synapse)");
    const std::wstring path = out + L"\\client.bmp";
    Bstr file(std::u16string_view(reinterpret_cast<const char16_t*>(path.c_str())));
    Bstr longest(u"0123456789");
    check_hr(o->put_FileName(file.get()), S_OK, "put_FileName");
    check_hr(o->put_FontSize(10), S_OK, "put_FontSize");
    check_hr(o->put_LineSpacing(16), S_OK, "put_LineSpacing");
    check_hr(o->MaximumStringLength(in_out(longest)), S_OK, "MaximumStringLength");
    short weight = 0;
    o->get_FontWeight(&weight);
    check(weight == 80, "FontWeight 80 after MaximumStringLength");
    LONG x = 0, y = 0;
    Bstr line(u"client");
    check_hr(o->PrintText(in_out(line), &x, &y), S_OK, "PrintText");
    Bstr location;
    check_hr(o->Monotize(location.put()), S_OK, "Monotize");
    check(file_size(path) > 62, "Monotize wrote " + narrow(path));
}

// --- late binding

HRESULT invoke(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args_last_first, VARIANT* result,
               EXCEPINFO* info = nullptr)
{
    DISPPARAMS params{};
    DISPID named = DISPID_PROPERTYPUT;
    params.rgvarg = args_last_first.data();
    params.cArgs = static_cast<UINT>(args_last_first.size());
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    EXCEPINFO local{};
    UINT arg_error = 0;
    const HRESULT hr = d->Invoke(id, IID_NULL, 0x0409, flags, &params, result, info ? info : &local, &arg_error);
    if (!info) {
        free_strings(local);
    }
    return hr;
}

VARIANT by_ref(VARIANT* target)
{
    VARIANT v;
    V_VT(&v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&v) = target;
    return v;
}

void test_late_bound(IDispatch* d, const std::wstring& out)
{
    // Names and member ids, and the vtable order behind them.
    for (const Member& s : kMembers) {
        auto* name = const_cast<LPOLESTR>(s.name);
        DISPID id = 0;
        check_hr(d->GetIDsOfNames(IID_NULL, &name, 1, 0x0409, &id), S_OK, "GetIDsOfNames " + narrow(s.name));
        check(id == s.id, "member id of " + narrow(s.name));
    }
    LPOLESTR unknown = const_cast<LPOLESTR>(L"NoSuchMember");
    DISPID id = 0;
    check_hr(d->GetIDsOfNames(IID_NULL, &unknown, 1, 0x0409, &id), DISP_E_UNKNOWNNAME, "unknown name");

    ComPtr<ITypeInfo> info;
    check_hr(d->GetTypeInfo(0, 0x0409, info.put()), S_OK, "GetTypeInfo");
    if (info) {
        for (UINT i = 0; i < std::size(kMembers); ++i) {
            FUNCDESC* f = nullptr;
            // The vtable side lists IDispatch's members first when it
            // inherits them; find ours by order among the rest.
            if (FAILED(info->GetFuncDesc(i, &f)) || !f) {
                check(false, "function " + std::to_string(i));
                continue;
            }
            check(f->memid == kMembers[i].id && f->invkind == kMembers[i].kind,
                  "slot " + std::to_string(i) + " is " + narrow(kMembers[i].name));
            check(f->oVft == static_cast<SHORT>((kDispatchSlots + i) * sizeof(void*)),
                  "vtable offset of " + narrow(kMembers[i].name));
            info->ReleaseFuncDesc(f);
        }
    }

    // A number stored in a Boolean property through dispatch becomes True.
    Variant one, result;
    V_VT(one.get()) = VT_I2;
    V_I2(one.get()) = 1;
    check_hr(invoke(d, 0x40030005, DISPATCH_PROPERTYPUT, {*one.get()}, nullptr), S_OK, "FinalBold = 1 by id");
    check_hr(invoke(d, 0x40030005, DISPATCH_PROPERTYGET, {}, result.put()), S_OK, "FinalBold by id");
    check(V_VT(result.get()) == VT_BOOL && V_BOOL(result.get()) == VARIANT_TRUE, "FinalBold reads back -1");

    LPOLESTR font_size = const_cast<LPOLESTR>(L"FontSize");
    DISPID size_id = 0;
    d->GetIDsOfNames(IID_NULL, &font_size, 1, 0x0409, &size_id);
    Variant ten;
    V_VT(ten.get()) = VT_BSTR;
    V_BSTR(ten.get()) = Bstr(u"10").detach();
    check_hr(invoke(d, size_id, DISPATCH_PROPERTYPUT, {*ten.get()}, nullptr), S_OK, "FontSize = \"10\" by name");
    check_hr(invoke(d, size_id, DISPATCH_PROPERTYGET, {}, result.put()), S_OK, "FontSize by name");
    check(V_VT(result.get()) == VT_I2 && V_I2(result.get()) == 10, "FontSize reads back 10");

    // Failures arrive as exceptions carrying our error.
    Variant low;
    V_VT(low.get()) = VT_I2;
    V_I2(low.get()) = -32768;
    EXCEPINFO e{};
    check_hr(invoke(d, 0x60030006, DISPATCH_METHOD, {*low.get()}, nullptr, &e), DISP_E_EXCEPTION,
             "SidePadding(-32768) by value");
    check_hr(e.scode, control_error(6), "SidePadding exception code");
    check(e.bstrDescription && std::wstring(e.bstrDescription) == L"Overflow", "SidePadding exception description");
    free_strings(e);

    // Arguments as a script passes variables: by-reference variants of
    // any type, converted for the call and left in their own type.
    const std::wstring path = out + L"\\client-late.bmp";
    Variant file;
    V_VT(file.get()) = VT_BSTR;
    V_BSTR(file.get()) = Bstr(std::u16string_view(reinterpret_cast<const char16_t*>(path.c_str()))).detach();
    check_hr(invoke(d, 0x40030006, DISPATCH_PROPERTYPUT, {*file.get()}, nullptr), S_OK, "FileName by id");
    Variant text, x, y;
    V_VT(text.get()) = VT_BSTR;
    V_BSTR(text.get()) = Bstr(u"late").detach();
    V_VT(x.get()) = VT_BSTR;
    V_BSTR(x.get()) = Bstr(u"3").detach();
    V_VT(y.get()) = VT_I2;
    V_I2(y.get()) = 2;
    check_hr(invoke(d, 0x60030003, DISPATCH_METHOD, {by_ref(y.get()), by_ref(x.get()), by_ref(text.get())},
                    nullptr),
             S_OK, "PrintText with by-reference variants");
    check(V_VT(x.get()) == VT_BSTR && std::wstring(V_BSTR(x.get())) == L"3", "text x keeps its type");
    check(V_VT(y.get()) == VT_I2 && V_I2(y.get()) == 2, "Integer y keeps its type");
    check(file_size(path) > 54, "PrintText wrote " + narrow(path));
    // Literals: by value.
    Variant lx;
    V_VT(lx.get()) = VT_I4;
    V_I4(lx.get()) = 0;
    check_hr(invoke(d, 0x60030003, DISPATCH_METHOD, {*lx.get(), *lx.get(), *text.get()}, nullptr), S_OK,
             "PrintText with values");
    V_VT(x.put()) = VT_BSTR;
    V_BSTR(x.get()) = Bstr(u"abc").detach();
    check_hr(invoke(d, 0x60030003, DISPATCH_METHOD, {*lx.get(), by_ref(x.get()), *text.get()}, nullptr),
             DISP_E_TYPEMISMATCH, "PrintText with x = \"abc\"");
    Variant abc;
    V_VT(abc.get()) = VT_BSTR;
    V_BSTR(abc.get()) = Bstr(u"abc").detach();
    e = EXCEPINFO{};
    check_hr(invoke(d, 0x60030005, DISPATCH_METHOD, {by_ref(abc.get())}, nullptr, &e), DISP_E_EXCEPTION,
             "TopPadding(\"abc\") by id");
    check_hr(e.scode, control_error(13), "TopPadding exception code");
    free_strings(e);
    check_hr(invoke(d, 0x60030004, DISPATCH_METHOD, {}, nullptr), DISP_E_BADPARAMCOUNT,
             "MaximumStringLength without its argument");
    check_hr(invoke(d, 0x60030004, DISPATCH_METHOD, {*text.get(), *text.get()}, nullptr), DISP_E_BADPARAMCOUNT,
             "MaximumStringLength with two arguments");
    check_hr(invoke(d, 0x40030007, DISPATCH_PROPERTYGET, {*lx.get()}, result.put()), DISP_E_BADPARAMCOUNT,
             "FontSize read with an argument");

    // Named arguments reach their parameters whatever their order.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"PrintText"), const_cast<LPOLESTR>(L"y"),
                        const_cast<LPOLESTR>(L"x")};
    DISPID ids[3] = {};
    check_hr(d->GetIDsOfNames(IID_NULL, names, 3, 0x0409, ids), S_OK, "GetIDsOfNames of PrintText's parameters");
    check(ids[1] == 2 && ids[2] == 1, "y and x are PrintText's parameters 2 and 1");
    Variant nx, ny;
    V_VT(nx.get()) = VT_BSTR;
    V_BSTR(nx.get()) = Bstr(u"1").detach();
    V_VT(ny.get()) = VT_I2;
    V_I2(ny.get()) = 1;
    VARIANT named_args[3] = {by_ref(ny.get()), by_ref(nx.get()), *text.get()};
    DISPID named_ids[2] = {2, 1};
    DISPPARAMS named{named_args, named_ids, 3, 2};
    UINT arg_error = 0;
    check_hr(d->Invoke(0x60030003, IID_NULL, 0x0409, DISPATCH_METHOD, &named, nullptr, nullptr, &arg_error), S_OK,
             "PrintText with y and x named");
    check(V_VT(nx.get()) == VT_BSTR && V_VT(ny.get()) == VT_I2, "named variables keep their types");
    named_ids[0] = 7;
    check_hr(d->Invoke(0x60030003, IID_NULL, 0x0409, DISPATCH_METHOD, &named, nullptr, nullptr, &arg_error),
             DISP_E_PARAMNOTFOUND, "PrintText with a name that is no parameter");
    check(arg_error == 0, "the argument that names no parameter is reported");
}

// --- memory running out

// A string whose length prefix claims 2 Gi characters: copying it asks for
// more than any BSTR may hold, so the copy fails whatever memory is free,
// and nothing reads past its few real characters. Never freed: not ours.
struct HugeBstr {
    DWORD bytes = 0xFFFFFFFE;
    wchar_t text[4] = L"abc";
};

// Both routes into a member report memory running out as error 7 with its
// description, as any other failure of ours: never a bare E_OUTOFMEMORY.
void test_out_of_memory(_synapse* o, IDispatch* d)
{
    HugeBstr huge;
    VARIANT text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = huge.text;
    expect_error_info(o->TopPadding(&text), 7, L"Out of memory", "TopPadding(a string too long to copy)");

    // Through Invoke the literal is copied to fit PrintText's BSTR*, before
    // the member runs.
    VARIANT zero;
    V_VT(&zero) = VT_I4;
    V_I4(&zero) = 0;
    EXCEPINFO e{};
    check_hr(invoke(d, 0x60030003, DISPATCH_METHOD, {zero, zero, text}, nullptr, &e), DISP_E_EXCEPTION,
             "PrintText(a string too long to copy) by id");
    check_hr(e.scode, control_error(7), "PrintText exception code");
    check(e.bstrDescription && std::wstring(e.bstrDescription) == L"Out of memory",
          "PrintText exception description");
    free_strings(e);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::printf("usage: client_test DLL OUTPUT-FOLDER\n");
        return 2;
    }
    const std::wstring dll = windows_path(argv[1]);
    const std::wstring out = windows_path(argv[2]);
    CreateDirectoryW(out.c_str(), nullptr);
    const ComApartment apartment;
    check_hr(apartment.result(), S_OK, "CoInitializeEx");

    test_class_factory(dll);

    // Registered: the ProgID and CoCreateInstance route.
    CLSID clsid{};
    check_hr(CLSIDFromProgID(L"Lumarin.synapse", &clsid), S_OK, "CLSIDFromProgID");
    check(clsid == CLSID_synapse, "ProgID names the class");
    ComPtr<_synapse> object;
    check_hr(CoCreateInstance(CLSID_synapse, nullptr, CLSCTX_INPROC_SERVER, IID__synapse, object.put_void()), S_OK,
             "CoCreateInstance");
    if (object) {
        test_early_bound(object.get(), out);
        ComPtr<IDispatch> dispatch;
        check_hr(object->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK, "QueryInterface(IDispatch)");
        if (dispatch) {
            test_late_bound(dispatch.get(), out);
            test_out_of_memory(object.get(), dispatch.get());
        }
    }
    object.reset();
    std::printf("%d failure(s)\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
