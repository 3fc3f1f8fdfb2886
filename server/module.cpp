// The module side of Lumarin.dll: entry points, the class factory, the
// object and lock counts that decide unloading, and the cached type
// information of the embedded type library.
#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <mutex>

#include "server/com_handles.hpp"
#include "server/errors.hpp"
#include "server/module.hpp"

namespace lumarin::server {

namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

std::mutex g_type_info_mutex;
win::ComPtr<ITypeInfo> g_type_info;

// The factory is static and its references are not counted: as COM has
// it, a client that wants the library kept loaded between creations calls
// LockServer. (Counting them would also keep the library loaded for good
// under script engines that never release the factory CreateObject used,
// as Wine's VBScript does.)
class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory)
            return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return create_synapse(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            ++g_locks;
        else
            --g_locks;
        return S_OK;
    }
};

ClassFactory g_factory;

}  // namespace

void object_created() noexcept { ++g_objects; }
void object_destroyed() noexcept { --g_objects; }

HRESULT module_path(ModulePath& path) noexcept
{
    const auto size = static_cast<DWORD>(path.size());
    const DWORD n = GetModuleFileNameW(g_module, path.data(), size);
    if (n == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    if (n >= size)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    return S_OK;
}

HRESULT embedded_type_library(ITypeLib** out) noexcept
{
    *out = nullptr;
    ModulePath path;
    const HRESULT hr = module_path(path);
    if (FAILED(hr))
        return hr;
    return LoadTypeLibEx(path.data(), REGKIND_NONE, out);
}

HRESULT synapse_type_info(ITypeInfo** out) noexcept
{
    *out = nullptr;
    const std::lock_guard lock(g_type_info_mutex);
    if (!g_type_info) {
        win::ComPtr<ITypeLib> library;
        HRESULT hr = embedded_type_library(library.put());
        if (FAILED(hr))
            return hr;
        win::ComPtr<ITypeInfo> info;
        hr = library->GetTypeInfoOfGuid(IID__synapse, info.put());
        if (FAILED(hr))
            return hr;
        // A dual interface's entry is its dispinterface; Invoke needs the
        // vtable side to call through.
        TYPEATTR* attr = nullptr;
        hr = info->GetTypeAttr(&attr);
        if (FAILED(hr))
            return hr;
        const bool dispatch = attr->typekind == TKIND_DISPATCH;
        info->ReleaseTypeAttr(attr);
        if (dispatch) {
            HREFTYPE vtable = 0;
            hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable);
            if (FAILED(hr))
                return hr;
            win::ComPtr<ITypeInfo> side;
            hr = info->GetRefTypeInfo(vtable, side.put());
            if (FAILED(hr))
                return hr;
            info = side;
        }
        g_type_info = info;
    }
    *out = win::ComPtr<ITypeInfo>(g_type_info).detach();
    return S_OK;
}

}  // namespace lumarin::server

using namespace lumarin::server;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved) {
        // The process is ending and oleaut32 may be gone already: the type
        // information is left to the system rather than released.
        g_type_info.detach();
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return entry_point([&] {
        if (clsid != CLSID_synapse)
            return CLASS_E_CLASSNOTAVAILABLE;
        return g_factory.QueryInterface(iid, out);
    });
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    if (g_objects > 0 || g_locks > 0)
        return S_FALSE;
    const std::lock_guard lock(g_type_info_mutex);
    g_type_info.reset();
    return S_OK;
}
