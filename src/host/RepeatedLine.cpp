#include "host/RepeatedLine.h"

#include <ostream>

namespace hv {

void RepeatedLine::write(std::ostream& out) {
    ++occurrences;
    if (occurrences == 1) {
        out << text << std::endl;
    } else if (occurrences == nextReport) {
        out << text << " (repeated " << occurrences << " times)" << std::endl;
        nextReport = nextReport > UINT64_MAX / 10 ? UINT64_MAX : nextReport * 10;
    }
}

} // namespace hv
