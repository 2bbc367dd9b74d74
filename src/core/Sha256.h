#pragma once

#include <cstddef>
#include <string>

namespace hv {

// The SHA-256 digest of a byte string, as 64 lowercase hexadecimal digits.
std::string sha256Hex(const void* data, size_t size);

} // namespace hv
