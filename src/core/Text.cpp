#include "core/Text.h"

namespace hv {

bool containsSubstring(const std::string& text, const std::string& needle) {
    if (needle.size() > text.size()) return false;
    for (size_t p = 0; p + needle.size() <= text.size(); ++p) {
        if (text.compare(p, needle.size(), needle) == 0) return true;
    }
    return false;
}

std::string hexBytes(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 0xf];
    }
    return text;
}

} // namespace hv
