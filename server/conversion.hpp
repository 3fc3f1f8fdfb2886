// Automation values as the renderer takes them: a BSTR as Text, and the
// VARIANT that TopPadding takes as the renderer's Variant.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "lumarin/types.hpp"
#include "lumarin/variant.hpp"

namespace lumarin::server {

// A null BSTR is empty text.
Text text_of(BSTR b);

// By-reference variants are followed; anything not empty, null or text is
// converted to a number. Throws TypeMismatch or Overflow when it cannot be,
// and std::bad_alloc when memory runs out.
lumarin::Variant variant_of(VARIANT& given);

}  // namespace lumarin::server
