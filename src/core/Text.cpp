#include "core/Text.h"

namespace hv {

bool containsSubstring(const std::string& text, const std::string& needle) {
    if (needle.size() > text.size()) return false;
    for (size_t p = 0; p + needle.size() <= text.size(); ++p) {
        if (text.compare(p, needle.size(), needle) == 0) return true;
    }
    return false;
}

} // namespace hv
