#include "core/Failure.h"

#include <iostream>

namespace hv {

namespace {

thread_local std::ostream* captured = nullptr;

} // namespace

FailureLineCapture::FailureLineCapture(std::ostream& into) : previous_(captured) { captured = &into; }

FailureLineCapture::~FailureLineCapture() { captured = previous_; }

void writeFailureLine(const std::string& line) { writeFailureLine(captured ? *captured : std::cerr, line); }

void writeFailureLine(std::ostream& out, const std::string& line) { out << line << std::endl; }

} // namespace hv
