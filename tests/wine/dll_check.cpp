// What Lumarin.dll carries, read from the file without running its code:
// the resources and the embedded type library. A 64-bit program can read
// the 32-bit DLL this way, so these checks hold for both bitnesses on
// machines that cannot execute 32-bit programs.
//   dll_check PATH-OF-Lumarin.dll 32|64
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "server/com_handles.hpp"
#include "server/resource_ids.h"
#include "tests/wine/checks.hpp"
#include "tests/wine/handles.hpp"
#include "tests/wine/members.hpp"

namespace {

using lumarin::win::Bstr;
using lumarin::win::ComPtr;
using namespace lumarin::wine_test;

// Fixed from one build to the next: clients and registries hold them.
constexpr const wchar_t* kLibraryId = L"{E2E50B3F-C7D9-48C9-A6AA-D0B0D613AF82}";
constexpr const wchar_t* kInterfaceId = L"{2DAC5E58-3B02-4506-A9A6-2BF051189C90}";
constexpr const wchar_t* kClassId = L"{BEDCD68F-89F6-4240-99F1-9DE4619B0DC0}";

GUID guid(const wchar_t* text)
{
    GUID g{};
    CLSIDFromString(const_cast<LPOLESTR>(text), &g);
    return g;
}

// --- resources

std::wstring version_string(const std::vector<BYTE>& block, const wchar_t* name, bool* found)
{
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    *found = VerQueryValueW(block.data(), query.c_str(), &value, &length) != 0;
    return *found && value ? std::wstring(static_cast<const wchar_t*>(value)) : std::wstring();
}

void check_iid_resource(HMODULE module)
{
    HRSRC blob = FindResourceW(module, MAKEINTRESOURCEW(LUMARIN_RES_IID_SYNAPSE), LUMARIN_RES_IID_SYNAPSE_TYPE_W);
    check(blob != nullptr, "_IID_SYNAPSE resource");
    if (!blob)
        return;
    const DWORD size = SizeofResource(module, blob);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(module, blob)));
    check(size == 20, "_IID_SYNAPSE is 20 bytes, not " + std::to_string(size));
    if (size == 20 && bytes) {
        const GUID iid = guid(kInterfaceId);
        check(bytes[0] == 16 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0, "_IID_SYNAPSE length 16");
        check(std::memcmp(bytes + 4, &iid, 16) == 0, "_IID_SYNAPSE holds the interface identifier");
    }
}

void check_version_resource(const std::wstring& dll)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
    check(size > 0, "version information present");
    if (size == 0)
        return;
    std::vector<BYTE> block(size);
    check(GetFileVersionInfoW(dll.c_str(), 0, size, block.data()) != 0, "GetFileVersionInfo");
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } strings[] = {{L"FileVersion", L"1.00"},     {L"ProductVersion", L"1.00"},
                   {L"ProductName", L"Lumarin"},  {L"InternalName", L"Lumarin"},
                   {L"OriginalFilename", L"Lumarin.dll"}, {L"OLESelfRegister", L""}};
    for (const auto& s : strings) {
        bool found = false;
        const std::wstring value = version_string(block, s.name, &found);
        check(found && value == s.value, "version string " + narrow(s.name) + " = \"" + narrow(value) + "\"");
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        check(fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0, "FILEVERSION 1,0,0,0");
        check(fixed->dwProductVersionMS == 0x00010000 && fixed->dwProductVersionLS == 0, "PRODUCTVERSION 1,0,0,0");
        check(fixed->dwFileType == VFT_DLL, "FILETYPE VFT_DLL");
    } else {
        check(false, "fixed version information");
    }
    WORD* translation = nullptr;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                       &length) &&
        length >= 4)
        check(translation[0] == 0x0409 && translation[1] == 1200, "Translation 0x0409, 1200");
    else
        check(false, "Translation present");
}

void check_resources(const std::wstring& dll)
{
    // As data: a 64-bit process may map a 32-bit DLL only this way.
    const Library module(dll.c_str(), LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    check(bool(module), "LoadLibraryEx as data " + narrow(dll));
    if (!module)
        return;
    check_iid_resource(module.get());
    check(FindResourceW(module.get(), MAKEINTRESOURCEW(LUMARIN_RES_TYPELIB), L"TYPELIB") != nullptr,
          "TYPELIB resource");
    check_version_resource(dll);
}

// --- the type library

std::wstring name_of(ITypeInfo* info, MEMBERID id = MEMBERID_NIL)
{
    Bstr name;
    info->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr);
    return name.get() ? std::wstring(name.get()) : std::wstring();
}

// Type attributes for the time of a check.
class TypeAttr {
public:
    explicit TypeAttr(ITypeInfo* info) : info_(info) { info->GetTypeAttr(&attr_); }
    TypeAttr(const TypeAttr&) = delete;
    TypeAttr& operator=(const TypeAttr&) = delete;
    ~TypeAttr()
    {
        if (attr_)
            info_->ReleaseTypeAttr(attr_);
    }
    const TYPEATTR* operator->() const noexcept { return attr_; }
    explicit operator bool() const noexcept { return attr_ != nullptr; }

private:
    ITypeInfo* info_;
    TYPEATTR* attr_ = nullptr;
};

void check_param(const ELEMDESC& got, const Param& want, const std::string& what)
{
    const TYPEDESC& t = got.tdesc;
    check(t.vt == want.type, what + " type " + std::to_string(t.vt));
    if (t.vt == VT_PTR && want.type == VT_PTR)
        check(t.lptdesc && t.lptdesc->vt == want.target, what + " points at type " +
                                                             std::to_string(t.lptdesc ? t.lptdesc->vt : -1));
    check(got.paramdesc.wParamFlags == want.flags, what + " flags " + std::to_string(got.paramdesc.wParamFlags));
}

// The vtable view of the dual interface: every member in its slot, with
// its id, kind and the parameters the interface declares.
void check_members(ITypeInfo* vtable)
{
    const TypeAttr attr(vtable);
    check(attr && attr->typekind == TKIND_INTERFACE, "the dual interface has a vtable view");
    const WORD flags = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION;
    check(attr && (attr->wTypeFlags & flags) == flags,
          "the vtable view is dual and automation-compatible: flags " + std::to_string(attr ? attr->wTypeFlags : 0));
    check(attr && attr->cFuncs == std::size(kMembers), "vtable view lists " + std::to_string(std::size(kMembers)) +
                                                           " members, not " +
                                                           std::to_string(attr ? attr->cFuncs : -1));
    for (UINT i = 0; i < std::size(kMembers); ++i) {
        const Member& m = kMembers[i];
        const std::string what = "slot " + std::to_string(kDispatchSlots + i) + " " + narrow(m.name);
        FUNCDESC* f = nullptr;
        if (FAILED(vtable->GetFuncDesc(i, &f)) || !f) {
            check(false, what + " missing");
            continue;
        }
        check(f->memid == m.id, what + " member id");
        check(f->invkind == m.kind, what + " kind " + std::to_string(f->invkind));
        check(f->funckind == FUNC_PUREVIRTUAL && f->callconv == CC_STDCALL, what + " is a stdcall vtable entry");
        check(f->oVft / static_cast<SHORT>(sizeof(void*)) == kDispatchSlots + static_cast<int>(i),
              what + " vtable offset " + std::to_string(f->oVft));
        check(f->elemdescFunc.tdesc.vt == VT_HRESULT, what + " returns HRESULT");
        check(f->cParams == m.count, what + " has " + std::to_string(f->cParams) + " parameters");
        BSTR names[4] = {};
        UINT named = 0;
        vtable->GetNames(f->memid, names, 4, &named);  // the first matching entry: a read before its write
        for (int p = 0; p < m.count && p < f->cParams; ++p) {
            check_param(f->lprgelemdescParam[p], m.params[p], what + " parameter " + std::to_string(p));
        }
        if (m.kind != kPut) {
            check(named == static_cast<UINT>(m.count) + 1 && names[0] && std::wstring(names[0]) == m.name,
                  what + " names " + std::to_string(named));
            for (int p = 0; p < m.count && static_cast<UINT>(p) + 1 < named; ++p)
                check(names[p + 1] && std::wstring(names[p + 1]) == m.params[p].name,
                      what + " parameter " + std::to_string(p) + " is named " + narrow(names[p + 1] ? names[p + 1] : L""));
        }
        for (BSTR& n : names)
            SysFreeString(n);
        vtable->ReleaseFuncDesc(f);
    }
}

// The dispatch view: IDispatch's seven members then ours, each found by id.
void check_dispatch(ITypeInfo* dispatch)
{
    const TypeAttr attr(dispatch);
    check(attr && attr->typekind == TKIND_DISPATCH, "_synapse is a dispatch interface");
    if (!attr)
        return;
    check(attr->guid == guid(kInterfaceId), "_synapse's interface identifier");
    const WORD flags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
    check((attr->wTypeFlags & flags) == flags,
          "_synapse is hidden, dual and non-extensible: flags " + std::to_string(attr->wTypeFlags));
    check(attr->cFuncs == kDispatchSlots + std::size(kMembers),
          "dispatch view lists " + std::to_string(attr->cFuncs) + " functions");
    check(attr->wMajorVerNum == 1 && attr->wMinorVerNum == 0, "_synapse version 1.0");

    HREFTYPE vtable_ref = 0;
    ComPtr<ITypeInfo> vtable;
    check_hr(dispatch->GetRefTypeOfImplType(-1, &vtable_ref), S_OK, "the dual interface's vtable view");
    if (SUCCEEDED(dispatch->GetRefTypeInfo(vtable_ref, vtable.put())))
        check_members(vtable.get());

    // Its base is IDispatch, from the standard library it imports.
    HREFTYPE base_ref = 0;
    ComPtr<ITypeInfo> base;
    if (vtable && SUCCEEDED(vtable->GetRefTypeOfImplType(0, &base_ref)) &&
        SUCCEEDED(vtable->GetRefTypeInfo(base_ref, base.put()))) {
        const TypeAttr base_attr(base.get());
        check(base_attr && base_attr->guid == IID_IDispatch, "_synapse derives from IDispatch");
    } else {
        check(false, "_synapse has a base interface");
    }
}

void check_class(ITypeInfo* coclass)
{
    const TypeAttr attr(coclass);
    check(attr && attr->typekind == TKIND_COCLASS, "synapse is a class");
    if (!attr)
        return;
    check(attr->guid == guid(kClassId), "synapse's class identifier");
    check((attr->wTypeFlags & TYPEFLAG_FCANCREATE) != 0, "synapse is creatable");
    check(attr->cImplTypes == 1, "synapse implements one interface");
    INT impl_flags = 0;
    HREFTYPE ref = 0;
    ComPtr<ITypeInfo> implemented;
    coclass->GetImplTypeFlags(0, &impl_flags);
    check((impl_flags & IMPLTYPEFLAG_FDEFAULT) != 0, "_synapse is synapse's default interface");
    if (SUCCEEDED(coclass->GetRefTypeOfImplType(0, &ref)) && SUCCEEDED(coclass->GetRefTypeInfo(ref, implemented.put())))
        check(name_of(implemented.get()) == L"_synapse", "synapse implements _synapse");
    else
        check(false, "synapse's interface");
}

void check_type_library(const std::wstring& dll, int bits)
{
    ComPtr<ITypeLib> library;
    check_hr(LoadTypeLibEx(dll.c_str(), REGKIND_NONE, library.put()), S_OK, "LoadTypeLibEx " + narrow(dll));
    if (!library)
        return;
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attr)) && attr) {
        const SYSKIND want = bits == 64 ? SYS_WIN64 : SYS_WIN32;
        check(attr->syskind == want, "syskind " + std::to_string(attr->syskind) + ", expected " + std::to_string(want));
        check(attr->guid == guid(kLibraryId), "the library identifier");
        check(attr->lcid == 0x0409, "lcid " + std::to_string(attr->lcid));
        check(attr->wMajorVerNum == 1 && attr->wMinorVerNum == 0, "library version 1.0");
        library->ReleaseTLibAttr(attr);
    } else {
        check(false, "GetLibAttr");
    }
    Bstr name;
    library->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr);
    check(name.get() && std::wstring(name.get()) == L"Lumarin", "library name " + narrow(name.get() ? name.get() : L""));
    check(library->GetTypeInfoCount() == 2, "two types, not " + std::to_string(library->GetTypeInfoCount()));

    ComPtr<ITypeInfo> dispatch, coclass;
    check_hr(library->GetTypeInfoOfGuid(guid(kInterfaceId), dispatch.put()), S_OK, "_synapse by identifier");
    check_hr(library->GetTypeInfoOfGuid(guid(kClassId), coclass.put()), S_OK, "synapse by identifier");
    if (dispatch) {
        check(name_of(dispatch.get()) == L"_synapse", "the interface is named _synapse");
        check_dispatch(dispatch.get());
    }
    if (coclass) {
        check(name_of(coclass.get()) == L"synapse", "the class is named synapse");
        check_class(coclass.get());
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const int bits = argc == 3 ? std::atoi(argv[2]) : 0;
    if (bits != 32 && bits != 64) {
        std::printf("usage: dll_check DLL 32|64\n");
        return 2;
    }
    const std::wstring dll = windows_path(argv[1]);
    const ComApartment apartment;
    check_resources(dll);
    check_type_library(dll, bits);
    std::printf("%s (%d-bit): %d failure(s)\n", argv[1], bits, g_failures);
    return g_failures == 0 ? 0 : 1;
}
