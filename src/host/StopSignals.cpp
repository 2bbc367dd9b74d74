#include "host/StopSignals.h"

#include "script/Interrupt.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <system_error>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace hv {

namespace {

std::atomic<pid_t> mainThread{0};
std::atomic<bool> runEnded{false};
// The handler wakes the watchdog through this pipe, which a handler may write to.
int wakePipe[2] = {-1, -1};
pid_t watchdogProcess = 0; // main thread only

pid_t threadId() { return pid_t(syscall(SYS_gettid)); }

void wakeWatchdog() {
    char byte = 0;
    ssize_t ignored = write(wakePipe[1], &byte, 1);
    (void)ignored;
}

void onStopSignal(int) {
    int saved = errno;
    requestInterrupt(threadId() == mainThread.load());
    wakeWatchdog();
    errno = saved;
}

// Through the descriptor: the standard error stream's lock may be held by the stuck thread.
void writeLine(const std::string& line) {
    for (size_t done = 0; done < line.size();) {
        ssize_t n = write(2, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += size_t(n);
    }
}

// The standard output is buffered when it goes to a file (the redirected streams) or a pipe.
// A thread stuck inside a write to it keeps its lock: then what is buffered is given up rather
// than the process left running.
void flushStandardOutput() {
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (ftrylockfile(stdout) == 0) {
            fflush_unlocked(stdout);
            funlockfile(stdout);
            return;
        }
        usleep(1000);
    }
}

// Waits until the pipe has a byte or `until` has come; false once the pipe is gone.
bool waitForWake(std::chrono::steady_clock::time_point until) {
    for (;;) {
        // A deadline already past polls without waiting: a negative timeout would wait for ever.
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        int timeout = until == std::chrono::steady_clock::time_point::max()
                          ? -1
                          : int(std::max<std::chrono::milliseconds::rep>(0, left.count() + 1));
        pollfd wake{wakePipe[0], POLLIN, 0};
        int ready = poll(&wake, 1, timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return false;
        if (ready == 0) return true;
        char byte;
        return read(wakePipe[0], &byte, 1) == 1;
    }
}

void watch() {
    pthread_setname_np(pthread_self(), "halvane.watch");
    using Clock = std::chrono::steady_clock;
    while (waitForWake(Clock::time_point::max())) {
        if (!interruptRequested() || runEnded.load()) continue;
        Clock::time_point deadline = Clock::now() + stopGrace;
        while (!runEnded.load() && Clock::now() < deadline) {
            if (!waitForWake(deadline)) return;
        }
        if (runEnded.load()) continue;
        std::string line = claimUnaidedStopLine();
        if (!line.empty()) writeLine(line + "\n");
        flushStandardOutput();
        _exit(0);
    }
}

} // namespace

StopSignalsBlocked::StopSignalsBlocked() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, &previous_);
}

StopSignalsBlocked::~StopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

void installStopSignals() {
    mainThread.store(threadId());
    runEnded.store(false);
    // Once a process; a child forked from a process that had one starts its own.
    if (watchdogProcess != getpid()) {
        for (int& fd : wakePipe) {
            if (fd >= 0) close(fd);
            fd = -1;
        }
        if (pipe2(wakePipe, O_CLOEXEC) == 0) {
            fcntl(wakePipe[1], F_SETFL, O_NONBLOCK); // a handler never waits on a full pipe
            StopSignalsBlocked blocked;
            try {
                std::thread(watch).detach();
                watchdogProcess = getpid();
            } catch (const std::system_error&) {
                // Without a watchdog the stop hook still ends what it can reach.
            }
        }
    }
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void noteRunEnded() {
    runEnded.store(true);
    if (wakePipe[1] >= 0) wakeWatchdog();
}

} // namespace hv
