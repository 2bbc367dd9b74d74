#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace hv::test {

// Runs a writer against an in-memory FILE and gives back the bytes it wrote, with whether
// the writer reported success.
std::string writeToMemory(const std::function<bool(FILE*)>& writer, bool* ok = nullptr);

} // namespace hv::test
