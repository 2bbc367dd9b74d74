#pragma once

#include <ostream>
#include <sstream>
#include <string>

namespace hv::test {

// Collects what is written to a stream (std::cerr by default) while it lives.
class CaptureStream {
public:
    explicit CaptureStream(std::ostream& stream);
    ~CaptureStream();
    CaptureStream(const CaptureStream&) = delete;
    CaptureStream& operator=(const CaptureStream&) = delete;

    std::string text() const { return collected.str(); }
    void clear() { collected.str(""); }

private:
    std::ostringstream collected; // first: the swap in the constructor hands out its buffer
    std::ostream& stream;
    std::streambuf* previous;
};

} // namespace hv::test
