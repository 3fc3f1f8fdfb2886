// IDispatch::Invoke through an object's type information, as scripting
// clients call it: variables and literals made to fit by-reference
// parameters, named arguments, surplus arguments refused, and a member's
// failure handed back as an exception with its description. Nothing here
// knows which object it calls.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace lumarin::server {

// Calls member `id` of `object`, whose vtable `info` describes, for
// IDispatch::Invoke; the interface id has been checked. A failure of the
// member, or memory running out here, is error information's HRESULT
// (0x800A0000 + number), returned as DISP_E_EXCEPTION with `exception`
// filled when the caller gave one.
HRESULT invoke_member(ITypeInfo* info, void* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* arg_error) noexcept;

}  // namespace lumarin::server
