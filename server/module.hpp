// What the rest of the server needs from its module: the object count
// that decides unloading, the embedded type library and the cached type
// information from it, the DLL's path, and the factory function the class
// factory calls.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <array>

#include "server/Lumarin_h.h"

namespace lumarin::server {

// Every live object (and the class factory while referenced) counts.
void object_created() noexcept;
void object_destroyed() noexcept;

// The type library embedded in this DLL, loaded from the DLL's own path
// and not registered.
HRESULT embedded_type_library(ITypeLib** out) noexcept;

// The _synapse type information from the embedded type library, loaded
// once and kept until the DLL may unload.
HRESULT synapse_type_info(ITypeInfo** out) noexcept;

// A new object, queried for iid.
HRESULT create_synapse(REFIID iid, void** out) noexcept;

// Room for the long paths a DLL may be loaded from.
using ModulePath = std::array<wchar_t, MAX_PATH * 4>;

// The path this DLL was loaded from.
HRESULT module_path(ModulePath& path) noexcept;

}  // namespace lumarin::server
