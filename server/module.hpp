// What the synapse object needs from its module: the object count that
// decides unloading, the cached type information of the embedded type
// library, and the factory function the class factory calls.
#pragma once

#include <windows.h>

#include "server/Lumarin_h.h"

namespace lumarin::server {

// Every live object (and the class factory while referenced) counts.
void object_created() noexcept;
void object_destroyed() noexcept;

// The _synapse type information from the type library embedded in this
// DLL, loaded once and kept until the DLL may unload.
HRESULT synapse_type_info(ITypeInfo** out) noexcept;

// A new object, queried for iid.
HRESULT create_synapse(REFIID iid, void** out) noexcept;

// The path this DLL was loaded from.
HRESULT module_path(wchar_t* buffer, DWORD size) noexcept;

}  // namespace lumarin::server
