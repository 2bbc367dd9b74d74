#pragma once

#include <sstream>
#include <string>

namespace hv::test {

// What the value's stream operator writes.
template <typename T>
std::string printed(const T& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

} // namespace hv::test
