// Owning Windows handles: per handle type a one-line alias of UniqueHandle
// naming the function that closes it and, where it is not null, the value
// that means "no handle".
#pragma once

#include <windows.h>

#include "surface/unique_handle.hpp"

namespace lumarin::win {

using lumarin::NullIsNone;
using lumarin::UniqueHandle;

// "No handle" for what CreateFileW returns.
struct InvalidIsNone {
    template <typename Raw>
    static Raw none() noexcept
    {
        return INVALID_HANDLE_VALUE;
    }
};

using File = UniqueHandle<HANDLE, CloseHandle, InvalidIsNone>;
using DeviceContext = UniqueHandle<HDC, DeleteDC>;
template <typename Handle>
using GdiObject = UniqueHandle<Handle, DeleteObject>;

}  // namespace lumarin::win
