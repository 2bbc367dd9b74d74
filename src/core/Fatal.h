#pragma once

#include <string>

namespace hv {

// Ends the process with status 1 after one line, "err: " and the message, on the standard
// error stream. Used for script misuse and unusable data.
[[noreturn]] void fatalError(const std::string& message);

// The same end with the line exactly as given, for the few places whose message carries no
// "err: " prefix.
[[noreturn]] void exitWithLine(const std::string& line);

} // namespace hv
