#pragma once

#include "core/Configuration.h"

#include <string>
#include <vector>

namespace hv {

// The environment variable whose value is the path prefix of the redirected streams.
inline constexpr const char* streamRedirectVariable = "HalvaneStreamRedirect";

struct ParsedOptions {
    Configuration configuration;
    std::string error; // the whole message line; empty on success
    bool ok() const { return error.empty(); }
};

// Builds the configuration from the defaults and the command-line options (the arguments after
// the program name), applied in order so a later option overrides an earlier one. Touches no
// global state, so it can be called freely.
ParsedOptions parseOptions(const std::vector<std::string>& arguments);

// Decimal integer as the options read it: optional leading white space and sign, then digits
// up to the first other character; no digits read as 0. Saturates at the 32-bit range.
int32_t readOptionInteger(const std::string& text);

// Sends descriptors 1 and 2 (and with them the C and C++ streams, Lua's print and SDL's log)
// to prefix + "-stdout.txt" and prefix + "-stderr.txt". A file that cannot be opened leaves its
// stream where it was and says so on that stream. True when both were redirected.
bool redirectStandardStreams(const std::string& prefix);

} // namespace hv
