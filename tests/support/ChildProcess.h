#pragma once

#include <functional>
#include <string>

namespace hv::test {

struct ChildResult {
    int exitStatus = -1; // -1 when the child did not exit normally
    std::string out;     // what it wrote to descriptor 1
    std::string err;     // what it wrote to descriptor 2
};

// Runs `body` in a forked child whose descriptors 1 and 2 go to pipes, and waits for it. A
// body that returns ends the child with status 0.
ChildResult runInChild(const std::function<void()>& body);

} // namespace hv::test
