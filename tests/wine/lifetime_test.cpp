// Ten thousand synapse objects made and released one after another, by C++
// through the vtable and by VBScript in the script engine hosted here, with
// the process's memory measured between the first thousand and the end;
// then the library must say it may unload, unload, and load again.
//   lifetime_test cpp OUTPUT-FOLDER
//   lifetime_test vbscript SCRIPT OUTPUT-FOLDER
// cscript cannot take part in the unloading: it never asks a library
// whether it may go.
#include <windows.h>
#include <activscp.h>
#include <oleauto.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "server/Lumarin_h.h"
#include "server/com_handles.hpp"
#include "tests/wine/checks.hpp"
#include "tests/wine/handles.hpp"

namespace {

using lumarin::win::Bstr;
using lumarin::win::ComPtr;
using lumarin::win::Variant;
using namespace lumarin::wine_test;

constexpr int kWarmUp = 1000;
constexpr int kObjects = 10000;
// Private memory may grow this much over the last 9,000 objects: heaps
// settling, caches filling. Anything kept per object passes it: each
// leaked object costs some 35 KB.
constexpr SIZE_T kAllowedGrowth = 4u << 20;

SIZE_T private_bytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof counters))
        return 0;
    // Wine fills PagefileUsage (the process's resident anonymous memory)
    // and leaves PrivateUsage 0; Windows makes the two the same.
    return std::max(counters.PrivateUsage, counters.PagefileUsage);
}

std::u16string u16(const std::wstring& w) { return {w.begin(), w.end()}; }

// --- C++ through the vtable

void use_once(_synapse* o, int i, const std::wstring& out)
{
    Bstr path(u16(out + L"\\lifetime-cpp-" + std::to_wstring(i % 3) + L".bmp"));
    Bstr font(u"Courier New"), fore(u"Blue"), back(u"White");
    o->put_FontName(font.get());
    o->put_FontSize(static_cast<short>(8 + i % 5));
    o->put_LineSpacing(14);
    o->put_FinalBold(i % 2 ? VARIANT_FALSE : VARIANT_TRUE);
    o->put_ForeColor(fore.get());
    o->put_BackColor(back.get());
    o->put_FileName(path.get());
    Bstr longest(u"Object number 00000");
    check_hr(o->MaximumStringLength(in_out(longest)), S_OK, "MaximumStringLength " + std::to_string(i));
    Variant top;
    V_VT(top.get()) = VT_I4;
    V_I4(top.get()) = 3;
    check_hr(o->TopPadding(top.get()), S_OK, "TopPadding " + std::to_string(i));
    Bstr line(u16(L"Object number " + std::to_wstring(i)));
    LONG x = 0, y = 0;
    check_hr(o->PrintText(in_out(line), &x, &y), S_OK, "PrintText " + std::to_string(i));
    if (i % 16 == 0)
        check_hr(o->Monotize(in_out(path)), S_OK, "Monotize " + std::to_string(i));
    if (i % 50 == 0) {
        // A failure leaves error information with the thread; taking it
        // must release it.
        Bstr missing(u16(out + L"\\no such folder\\x.bmp"));
        o->put_FileName(missing.get());
        check_hr(o->PrintText(in_out(line), &x, &y), control_error(76), "PrintText into a missing folder");
        ComPtr<IErrorInfo> info;
        check(GetErrorInfo(0, info.put()) == S_OK && info, "error information of 76");
    }
    if (i % 2) {
        // Late bound as well: dispatch and its argument conversions.
        ComPtr<IDispatch> d;
        if (SUCCEEDED(o->QueryInterface(IID_IDispatch, d.put_void()))) {
            Variant text, y_text;
            V_VT(text.get()) = VT_BSTR;
            V_BSTR(text.get()) = Bstr(u"late").detach();
            V_VT(y_text.get()) = VT_BSTR;
            V_BSTR(y_text.get()) = Bstr(u"0").detach();
            VARIANT args[3];  // last first: y, x, the text
            V_VT(&args[0]) = VT_BYREF | VT_VARIANT;  // a text variable, converted for the call
            V_VARIANTREF(&args[0]) = y_text.get();
            V_VT(&args[1]) = VT_I2;
            V_I2(&args[1]) = 0;
            V_VT(&args[2]) = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&args[2]) = text.get();
            DISPPARAMS params{args, nullptr, 3, 0};
            EXCEPINFO e{};
            check_hr(d->Invoke(0x60030003, IID_NULL, 0x0409, DISPATCH_METHOD, &params, nullptr, &e, nullptr), S_OK,
                     "late-bound PrintText " + std::to_string(i));
        }
    }
}

void make_objects_in_cpp(int count, int first, const std::wstring& out)
{
    for (int i = first; i < first + count; ++i) {
        ComPtr<_synapse> o;
        const HRESULT hr =
            CoCreateInstance(CLSID_synapse, nullptr, CLSCTX_INPROC_SERVER, IID__synapse, o.put_void());
        if (FAILED(hr)) {
            check_hr(hr, S_OK, "CoCreateInstance " + std::to_string(i));
            return;
        }
        use_once(o.get(), i, out);
    }
}

// --- VBScript in the script engine

// The engine's site: no named items; errors are printed and counted.
class ScriptSite final : public IActiveScriptSite {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != __uuidof(IActiveScriptSite))
            return E_NOINTERFACE;
        *out = static_cast<IActiveScriptSite*>(this);
        return S_OK;
    }
    // Lives on the host's stack, longer than the engine.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE GetLCID(LCID* lcid) override
    {
        *lcid = 0x0409;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR, DWORD, IUnknown**, ITypeInfo**) override
    {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override
    {
        EXCEPINFO e{};
        DWORD context = 0;
        ULONG line = 0;
        LONG column = 0;
        error->GetExceptionInfo(&e);
        error->GetSourcePosition(&context, &line, &column);
        check(false, "script error at line " + std::to_string(line + 1) + ": " + hex(e.scode) + " " +
                         (e.bstrDescription ? narrow(e.bstrDescription) : std::string()));
        free_strings(e);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }
};

std::wstring read_ascii_file(const std::wstring& path)
{
    std::wstring text;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;)
            text.push_back(static_cast<wchar_t>(c));
        std::fclose(f);
    }
    return text;
}

// A script engine with one script loaded and running, closed on scope
// exit.
class ScriptEngine {
public:
    ScriptEngine(const std::wstring& source, ScriptSite& site)
    {
        CLSID vbscript{};
        check_hr(CLSIDFromProgID(L"VBScript", &vbscript), S_OK, "the VBScript engine is registered");
        check_hr(CoCreateInstance(vbscript, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript), engine_.put_void()),
                 S_OK, "create the VBScript engine");
        ComPtr<IActiveScriptParse> parse;
        if (!engine_ || FAILED(engine_.query(__uuidof(IActiveScriptParse), parse))) {
            check(false, "IActiveScriptParse");
            return;
        }
        check_hr(parse->InitNew(), S_OK, "InitNew");
        check_hr(engine_->SetScriptSite(&site), S_OK, "SetScriptSite");
        EXCEPINFO e{};
        check_hr(parse->ParseScriptText(source.c_str(), nullptr, nullptr, nullptr, 0, 0, 0, nullptr, &e), S_OK,
                 "ParseScriptText");
        check_hr(engine_->SetScriptState(SCRIPTSTATE_CONNECTED), S_OK, "run the script");
        check_hr(engine_->GetScriptDispatch(nullptr, globals_.put()), S_OK, "GetScriptDispatch");
    }
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;
    ~ScriptEngine()
    {
        globals_.reset();
        if (engine_)
            engine_->Close();
    }

    // Calls one of the script's functions or reads one of its variables.
    HRESULT invoke(const wchar_t* name, WORD flags, std::vector<VARIANT> args_last_first, VARIANT* result)
    {
        if (!globals_)
            return E_POINTER;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = 0;
        HRESULT hr = globals_->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id);
        if (FAILED(hr))
            return hr;
        DISPPARAMS params{args_last_first.data(), nullptr, static_cast<UINT>(args_last_first.size()), 0};
        EXCEPINFO e{};
        hr = globals_->Invoke(id, IID_NULL, 0x0409, flags, &params, result, &e, nullptr);
        free_strings(e);
        return hr;
    }

private:
    ComPtr<IActiveScript> engine_;
    ComPtr<IDispatch> globals_;
};

void make_objects_in_script(ScriptEngine& script, int count, const std::wstring& out)
{
    Variant folder, n, failed, report;
    V_VT(folder.get()) = VT_BSTR;
    V_BSTR(folder.get()) = Bstr(u16(out)).detach();
    V_VT(n.get()) = VT_I4;
    V_I4(n.get()) = count;
    check_hr(script.invoke(L"MakeObjects", DISPATCH_METHOD, {*folder.get(), *n.get()}, failed.get()), S_OK,
             "MakeObjects(" + std::to_string(count) + ")");
    check(V_VT(failed.get()) == VT_I4 || V_VT(failed.get()) == VT_I2, "MakeObjects returns a number");
    const long failures = V_VT(failed.get()) == VT_I2 ? V_I2(failed.get()) : V_I4(failed.get());
    if (failures != 0 &&
        SUCCEEDED(script.invoke(L"Report", DISPATCH_PROPERTYGET, {}, report.get())) &&
        V_VT(report.get()) == VT_BSTR)
        std::printf("%s", narrow(V_BSTR(report.get())).c_str());
    check(failures == 0, "the script's checks: " + std::to_string(failures) + " failed");
}

// --- unloading

using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();

void check_unloads()
{
    HMODULE module = GetModuleHandleW(L"Lumarin.dll");
    check(module != nullptr, "Lumarin.dll is loaded");
    if (!module)
        return;
    auto can_unload =
        reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    check(can_unload != nullptr, "DllCanUnloadNow");
    if (!can_unload)
        return;
    check_hr(can_unload(), S_OK, "DllCanUnloadNow once every object is released");
    CoFreeUnusedLibrariesEx(0, 0);
    check(GetModuleHandleW(L"Lumarin.dll") == nullptr, "COM unloads Lumarin.dll");

    // Loaded afresh, the library works as before.
    ComPtr<_synapse> o;
    check_hr(CoCreateInstance(CLSID_synapse, nullptr, CLSCTX_INPROC_SERVER, IID__synapse, o.put_void()), S_OK,
             "CoCreateInstance after the unload");
    short size = -1;
    if (o)
        check(SUCCEEDED(o->get_FontSize(&size)) && size == 0, "a new object after the unload");
}

void check_growth(SIZE_T before, SIZE_T after, const char* who)
{
    const long long growth = static_cast<long long>(after) - static_cast<long long>(before);
    std::printf("%s: private memory %.1f MiB after %d objects, %.1f MiB after %d\n", who, before / 1048576.0,
                kWarmUp, after / 1048576.0, kObjects);
    check(before > 0 && after > 0, "process memory counters");
    check(growth < static_cast<long long>(kAllowedGrowth),
          std::string(who) + ": memory grew by " + std::to_string(growth) + " bytes over " +
              std::to_string(kObjects - kWarmUp) + " objects");
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!((mode == "cpp" && argc == 3) || (mode == "vbscript" && argc == 4))) {
        std::printf("usage: lifetime_test cpp OUTPUT-FOLDER | vbscript SCRIPT OUTPUT-FOLDER\n");
        return 2;
    }
    const std::wstring out = windows_path(argv[argc - 1]);
    CreateDirectoryW(out.c_str(), nullptr);
    const ComApartment apartment;
    check_hr(apartment.result(), S_OK, "CoInitializeEx");

    if (mode == "cpp") {
        make_objects_in_cpp(kWarmUp, 1, out);
        const SIZE_T before = private_bytes();
        make_objects_in_cpp(kObjects - kWarmUp, kWarmUp + 1, out);
        check_growth(before, private_bytes(), "C++");
    } else {
        ScriptSite site;
        {
            const std::wstring source = read_ascii_file(windows_path(argv[2]));
            check(!source.empty(), "read the script");
            ScriptEngine script(source, site);
            make_objects_in_script(script, kWarmUp, out);
            const SIZE_T before = private_bytes();
            make_objects_in_script(script, kObjects - kWarmUp, out);
            check_growth(before, private_bytes(), "VBScript");
        }
    }
    check_unloads();
    std::printf("%d failure(s)\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
