#pragma once

#include <string>

namespace hv {

// Ends the process with status 1 after one line, "err: " and the message, on the standard
// error stream. Used for script misuse and unusable data.
[[noreturn]] void fatalError(const std::string& message);

} // namespace hv
