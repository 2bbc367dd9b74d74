#pragma once

#include <iosfwd>
#include <string>

namespace hv {

// The recoverable-failure convention in one expression: the line ("Class::operation: message")
// goes to the standard error stream as given, and the caller gets its failure value back, as in
// `return failure("Mesh::readFrom: short read");` or `return failure(line, std::nullopt);`.
void writeFailureLine(const std::string& line);
// Where this thread's failure lines go now: the standard error stream, or a capture's stream.
std::ostream& failureStream();

// While one lives, the failure lines this thread writes go to `into` instead of the standard
// error stream: a caller that runs a step again and again (the renderer's set-up, a path's
// triangulation) can then write what the step said once, and say where it happened.
class FailureLineCapture {
public:
    explicit FailureLineCapture(std::ostream& into);
    ~FailureLineCapture();
    FailureLineCapture(const FailureLineCapture&) = delete;
    FailureLineCapture& operator=(const FailureLineCapture&) = delete;

private:
    std::ostream* previous_;
};

inline bool failure(const std::string& line) {
    writeFailureLine(line);
    return false;
}

template <typename T>
T failure(const std::string& line, T value) {
    writeFailureLine(line);
    return value;
}

} // namespace hv
