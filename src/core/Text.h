#pragma once

#include <string>

namespace hv {

// Plain position-by-position search; an empty needle is always found.
bool containsSubstring(const std::string& text, const std::string& needle);

// Every byte as two lower-case hexadecimal digits, bytes of 0x80 and above too: the spelling
// of a path in the names of the files baked from it.
std::string hexBytes(const std::string& bytes);

} // namespace hv
