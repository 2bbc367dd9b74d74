#include "support/ChildProcess.h"

#include "support/TempDir.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace hv::test {

ChildResult runInChild(const std::function<void()>& body, const ChildWatch& watch) {
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
    // A child that ends through the fatal routine runs no destructors, so the temporary
    // folders it makes would stay behind; they go under one the parent removes afterwards.
    TempDir scratch;
    chmod(scratch.path().c_str(), 01777); // a child that drops its privileges still makes folders
    std::fflush(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        setenv("TMPDIR", scratch.path().c_str(), 1);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) close(fd);
        body();
        std::fflush(nullptr);
        std::_Exit(0);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    ChildResult result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    bool signalled = false, killed = false;
    int open = 2;
    while (open > 0) {
        if (watch.stop && watch.stop(result) && !signalled) {
            kill(pid, watch.stopSignal);
            signalled = true;
        }
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (!killed && elapsed > watch.limit) {
            kill(pid, SIGKILL);
            killed = true;
        }
        // Wakes now and then to look at the watch even while the child is silent.
        int ready = poll(fds, 2, 100);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[65536];
            ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
            if (n > 0) {
                if (sinks[i]->size() < watch.keep) sinks[i]->append(buffer, size_t(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    return result;
}

std::string leakCheckOptions() {
    return "suppressions=" + std::string(HV_SOURCE_DIR) + "/scripts/lsan.supp:print_suppressions=0";
}

bool becomeUnprivileged(const std::string& tree) {
    if (geteuid() != 0) return true;
    const uid_t nobody = 65534;
    std::error_code error;
    bool ok = lchown(tree.c_str(), nobody, nobody) == 0;
    for (std::filesystem::recursive_directory_iterator it(tree, error), end; ok && !error && it != end;
         it.increment(error)) {
        ok = lchown(it->path().c_str(), nobody, nobody) == 0;
    }
    return ok && !error && setgroups(0, nullptr) == 0 && setgid(nobody) == 0 && setuid(nobody) == 0;
}

} // namespace hv::test
