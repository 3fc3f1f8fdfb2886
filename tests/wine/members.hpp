// The members of _synapse as clients were built against them: each vtable
// slot after IDispatch's seven, in order, with its member id, its kind and
// its parameters as the interface declares them.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <iterator>

namespace lumarin::wine_test {

struct Param {
    VARTYPE type;        // VT_PTR: passed by reference, `target` is what it points at
    VARTYPE target;
    USHORT flags;        // PARAMFLAG_*
    const wchar_t* name;  // nullptr: unnamed
};

struct Member {
    const wchar_t* name;
    DISPID id;
    INVOKEKIND kind;
    int count;  // parameters used of `params`
    Param params[3];
};

constexpr INVOKEKIND kGet = INVOKE_PROPERTYGET, kPut = INVOKE_PROPERTYPUT, kCall = INVOKE_FUNC;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kInOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;

// A property read returns its value through a pointer named after it; a
// write takes it by value, unnamed.
constexpr Member property_get(const wchar_t* name, DISPID id, VARTYPE type)
{
    return {name, id, kGet, 1, {{VT_PTR, type, kRetval, name}}};
}
constexpr Member property_put(const wchar_t* name, DISPID id, VARTYPE type)
{
    return {name, id, kPut, 1, {{type, VT_EMPTY, kIn, nullptr}}};
}

constexpr Member kMembers[] = {
    property_get(L"LineSpacing", 0x40030003, VT_I2),      property_put(L"LineSpacing", 0x40030003, VT_I2),
    property_get(L"FinalBold", 0x40030005, VT_BOOL),      property_put(L"FinalBold", 0x40030005, VT_BOOL),
    property_get(L"FileName", 0x40030006, VT_BSTR),       property_put(L"FileName", 0x40030006, VT_BSTR),
    property_get(L"FontSize", 0x40030007, VT_I2),         property_put(L"FontSize", 0x40030007, VT_I2),
    property_get(L"FontName", 0x40030008, VT_BSTR),       property_put(L"FontName", 0x40030008, VT_BSTR),
    property_get(L"FontUnderline", 0x40030009, VT_BOOL),  property_put(L"FontUnderline", 0x40030009, VT_BOOL),
    property_get(L"FontItalic", 0x4003000A, VT_BOOL),     property_put(L"FontItalic", 0x4003000A, VT_BOOL),
    property_get(L"FontStrikethru", 0x4003000B, VT_BOOL), property_put(L"FontStrikethru", 0x4003000B, VT_BOOL),
    property_get(L"ForeColor", 0x4003000C, VT_BSTR),      property_put(L"ForeColor", 0x4003000C, VT_BSTR),
    property_get(L"BackColor", 0x4003000D, VT_BSTR),      property_put(L"BackColor", 0x4003000D, VT_BSTR),
    property_get(L"FontWeight", 0x40030010, VT_I2),       property_put(L"FontWeight", 0x40030010, VT_I2),
    {L"Monotize", 0x60030002, kCall, 1, {{VT_PTR, VT_BSTR, kInOut, L"location"}}},
    {L"PrintText", 0x60030003, kCall, 3,
     {{VT_PTR, VT_BSTR, kInOut, L"TextString"}, {VT_PTR, VT_I4, kInOut, L"x"}, {VT_PTR, VT_I4, kInOut, L"y"}}},
    {L"MaximumStringLength", 0x60030004, kCall, 1, {{VT_PTR, VT_BSTR, kInOut, L"longString"}}},
    {L"TopPadding", 0x60030005, kCall, 1, {{VT_PTR, VT_VARIANT, kInOut, L"height"}}},
    {L"SidePadding", 0x60030006, kCall, 1, {{VT_PTR, VT_I2, kInOut, L"length"}}},
};
static_assert(std::size(kMembers) == 27);
constexpr int kDispatchSlots = 7;

}  // namespace lumarin::wine_test
