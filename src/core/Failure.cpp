#include "core/Failure.h"

#include <iostream>

namespace hv {

void writeFailureLine(const std::string& line) { writeFailureLine(std::cerr, line); }

void writeFailureLine(std::ostream& out, const std::string& line) { out << line << std::endl; }

} // namespace hv
