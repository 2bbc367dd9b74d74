#pragma once

namespace hv {

// The lower end of the display brightness range that scripts' 0..1 brightness maps onto.
constexpr double minimumBrightness = 0.5;

} // namespace hv
