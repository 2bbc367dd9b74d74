#pragma once

#include "svg/SvgParser.h"

#include <limits>
#include <memory>
#include <string>

namespace hv::test {

// The straight-segment mark in expected point lists.
inline constexpr float N = std::numeric_limits<float>::quiet_NaN();

// Parses a copy of the text; the parser writes into its buffer.
inline std::unique_ptr<SvgPictureRecord> parseSvgText(const std::string& text) {
    std::string copy = text;
    return parseSvgDocument(copy.data(), 96.0f);
}

} // namespace hv::test
