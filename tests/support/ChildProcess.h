#pragma once

#include <chrono>
#include <csignal>
#include <cstddef>
#include <functional>
#include <string>

namespace hv::test {

struct ChildResult {
    int exitStatus = -1; // -1 when the child did not exit normally
    std::string out;     // what it wrote to descriptor 1
    std::string err;     // what it wrote to descriptor 2
};

// How the parent watches a child while it reads the child's output.
struct ChildWatch {
    // Once this holds for what the child has written so far, the child is sent `stopSignal` (once).
    // It is asked after every read and every 100 ms until the child ends, after the signal too.
    std::function<bool(const ChildResult&)> stop;
    // A child still running this long after its start is killed, so a fault cannot hang the suite.
    std::chrono::milliseconds limit = std::chrono::milliseconds::max();
    // Each stream keeps what arrives while it holds fewer bytes than this; the rest is read and
    // dropped, so a child that repeats a line forever cannot fill the memory.
    size_t keep = size_t(-1);
    int stopSignal = SIGTERM;
};

// Runs `body` in a forked child whose descriptors 1 and 2 go to pipes, and waits for it. A
// body that returns ends the child with status 0.
ChildResult runInChild(const std::function<void()>& body, const ChildWatch& watch = {});

// LSAN_OPTIONS for a sanitizer build of the engine's programs: the repository's suppressions only.
std::string leakCheckOptions();

// For a child: as root, hands `tree` to an unprivileged user and becomes that user, so that
// permission bits hold for it as for everyone else; without root, changes nothing.
bool becomeUnprivileged(const std::string& tree);

} // namespace hv::test
