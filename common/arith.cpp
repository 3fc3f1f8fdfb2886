#include "common/arith.hpp"

#include <cmath>
#include <limits>

#include "common/fail.hpp"
#include "lumarin/error.hpp"

namespace lumarin {

namespace {
template <typename T>
T round_checked(double value)
{
    const double r = round_half_even(value);
    // Compare in double: both limits of 16- and 32-bit types are exact there.
    if (!(r >= std::numeric_limits<T>::min() && r <= std::numeric_limits<T>::max()))
        fail(ErrorKind::Overflow);
    return static_cast<T>(r);
}
}  // namespace

Integer add16(Integer a, Integer b) { return narrow_checked<Integer>(0LL + a + b); }
Integer multiply16(Integer a, Integer b) { return narrow_checked<Integer>(1LL * a * b); }
Long add32(Long a, Long b) { return narrow_checked<Long>(0LL + a + b); }
Integer abs16(Integer a) { return narrow_checked<Integer>(a < 0 ? -1LL * a : a); }

double round_half_even(double value) noexcept
{
    // nearbyint follows the rounding mode, which is round-to-nearest-even
    // unless someone changed it; do it by hand so nothing global matters.
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

Integer round_to_integer(double value) { return round_checked<Integer>(value); }
Long round_to_long(double value) { return round_checked<Long>(value); }

Single checked_single(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<Single>::max())
        fail(ErrorKind::FloatingPoint);
    return static_cast<Single>(value);
}

}  // namespace lumarin
