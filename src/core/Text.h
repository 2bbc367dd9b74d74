#pragma once

#include <string>

namespace hv {

// Plain position-by-position search; an empty needle is always found.
bool containsSubstring(const std::string& text, const std::string& needle);

} // namespace hv
