#include "core/Fatal.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace hv {

void fatalError(const std::string& message) { exitWithLine("err: " + message); }

void exitWithLine(const std::string& line) {
    std::cerr << line << std::endl;
    std::cout.flush();
    std::fflush(nullptr);
    // _Exit: no static destructor or atexit handler may run and change the status, and
    // background threads (sound loaders) are stopped where they stand.
    std::_Exit(1);
}

} // namespace hv
