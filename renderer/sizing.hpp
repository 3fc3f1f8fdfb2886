// The object's sizing rules that its clients predict: the command refuses
// a job the object could not finish before drawing it.
#pragma once

#include "lumarin/types.hpp"

namespace lumarin {

// The column width in percent of FontSize when FontWeight is 0.
inline constexpr Integer kDefaultWidthFactor = 80;

}  // namespace lumarin
