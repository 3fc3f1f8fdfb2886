// Self-registration. The class lives under CLSID in the registry view of
// this DLL's bitness; the ProgID and the type library keys are shared by
// the 32- and 64-bit views, so unregistering one bitness leaves them alone
// while the other view still has the class.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "server/com_handles.hpp"
#include "server/errors.hpp"
#include "server/module.hpp"

namespace lumarin::server {

namespace {

constexpr const wchar_t* kProgId = L"Lumarin.synapse";
constexpr const wchar_t* kClassName = L"synapse";

#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
constexpr const wchar_t* kPlatform = L"win64";
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
constexpr const wchar_t* kPlatform = L"win32";
#endif

std::wstring guid_string(const GUID& guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

HRESULT set_value(const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    win::RegKey handle;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE, nullptr, handle.put(), nullptr);
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(status);
}

void delete_tree(const std::wstring& key)
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
}

bool other_view_has_class(const std::wstring& clsid)
{
    // On 32-bit Windows there is no other view and this finds our own,
    // already deleted, key.
    const std::wstring key = L"Software\\Classes\\CLSID\\" + clsid + L"\\InprocServer32";
    win::RegKey handle;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | kOtherView, handle.put()) ==
           ERROR_SUCCESS;
}

HRESULT register_server()
{
    ModulePath path;
    HRESULT hr = module_path(path);
    if (FAILED(hr))
        return hr;
    const std::wstring clsid = guid_string(CLSID_synapse);
    const std::wstring libid = guid_string(LIBID_Lumarin);
    const std::wstring base = L"CLSID\\" + clsid;

    const struct {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    } values[] = {
        {base, nullptr, kClassName},
        {base + L"\\InprocServer32", nullptr, path.data()},
        {base + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {base + L"\\ProgID", nullptr, kProgId},
        {base + L"\\VERSION", nullptr, L"1.0"},
        {base + L"\\TypeLib", nullptr, libid},
        {base + L"\\Programmable", nullptr, L""},
        {kProgId, nullptr, kClassName},
        {std::wstring(kProgId) + L"\\CLSID", nullptr, clsid},
    };
    for (const auto& v : values) {
        hr = set_value(v.key, v.name, v.value);
        if (FAILED(hr))
            return SELFREG_E_CLASS;
    }

    win::ComPtr<ITypeLib> library;
    hr = embedded_type_library(library.put());
    if (SUCCEEDED(hr))
        hr = RegisterTypeLib(library.get(), path.data(), nullptr);
    return FAILED(hr) ? SELFREG_E_TYPELIB : S_OK;
}

HRESULT unregister_server()
{
    const std::wstring clsid = guid_string(CLSID_synapse);
    delete_tree(L"CLSID\\" + clsid);
    if (other_view_has_class(clsid)) {
        // Only our platform's entry of the shared type library goes.
        const std::wstring libid = guid_string(LIBID_Lumarin);
        delete_tree(L"TypeLib\\" + libid + L"\\1.0\\409\\" + kPlatform);
        return S_OK;
    }
    UnRegisterTypeLib(LIBID_Lumarin, 1, 0, 0x0409, kSysKind);
    delete_tree(L"TypeLib\\" + guid_string(LIBID_Lumarin));
    delete_tree(kProgId);
    return S_OK;
}

}  // namespace

}  // namespace lumarin::server

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
    return lumarin::server::entry_point(lumarin::server::register_server);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    return lumarin::server::entry_point(lumarin::server::unregister_server);
}
