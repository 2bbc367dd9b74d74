#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace hv {

// A line that a step retried on every frame would write 60 times a second: written the first
// time, then only as a count when the repeats reach 10, 100, 1,000 and so on.
class RepeatedLine {
public:
    explicit RepeatedLine(std::string text) : text(std::move(text)) {}
    // Counts one occurrence and writes what it calls for.
    void write(std::ostream& out);
    uint64_t count() const { return occurrences; }

private:
    std::string text;
    uint64_t occurrences = 0;
    uint64_t nextReport = 10;
};

} // namespace hv
