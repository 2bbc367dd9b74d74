#pragma once

#include "core/Configuration.h"

#include <cstdint>
#include <optional>
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

// A decimal integer as the options take it: optional leading white space and sign, then
// digits and nothing else. None for any other text ("abc", "5x", "1e9", "nan") and for a
// number outside [least, most].
std::optional<int64_t> readOptionInteger(const std::string& text, int64_t least, int64_t most);

// The largest window side the options ask for, in window points.
inline constexpr int64_t largestWindowSide = 16384;

// Sends descriptors 1 and 2 (and with them the C and C++ streams, Lua's print and SDL's log)
// to prefix + "-stdout.txt" and prefix + "-stderr.txt". A file that cannot be opened leaves its
// stream where it was and says so on that stream. True when both were redirected.
bool redirectStandardStreams(const std::string& prefix);

} // namespace hv
