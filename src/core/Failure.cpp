#include "core/Failure.h"

#include <iostream>

namespace hv {

namespace {

thread_local std::ostream* captured = nullptr;

} // namespace

FailureLineCapture::FailureLineCapture(std::ostream& into) : previous_(captured) { captured = &into; }

FailureLineCapture::~FailureLineCapture() { captured = previous_; }

std::ostream& failureStream() { return captured ? *captured : std::cerr; }

void writeFailureLine(const std::string& line) { failureStream() << line << std::endl; }

} // namespace hv
