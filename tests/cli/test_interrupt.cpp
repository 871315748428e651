// Ctrl-C and SIGTERM while the program waits in a call that does not come
// back: the handler must interrupt the call, and when the caller simply
// restarts it (as reads do on EINTR), the first signal still ends the run.
#include "cli/interrupt.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>

using dorvak::cli::StopOnSignal;

namespace {

[[noreturn]] void blockInARead(int signalNumber) {
    StopOnSignal signal;
    std::atomic<bool> stop{false};
    signal.watch(&stop);
    int fds[2];
    if (::pipe(fds) != 0) std::_Exit(99);
    const pthread_t reader = ::pthread_self();
    std::thread([reader, signalNumber] {
        ::usleep(100 * 1000);
        ::pthread_kill(reader, signalNumber);
    }).detach();
    char c;
    for (;;) {
        // Nobody ever writes to the pipe: the read returns only when a
        // signal interrupts it.
        if (::read(fds[0], &c, 1) < 0 && errno == EINTR) {
            std::fprintf(stderr, "interrupted, stop flag %d\n", int(stop.load()));
            std::fflush(stderr);
        }
    }
}

} // namespace

TEST(StopOnSignalDeathTest, FirstSignalEndsAReadThatIsRestartedForever) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(blockInARead(SIGINT), testing::ExitedWithCode(130),
                "interrupted, stop flag 1\n(.|\n)*Stopped: a read did not return");
    EXPECT_EXIT(blockInARead(SIGTERM), testing::ExitedWithCode(143),
                "Stopped: a read did not return");
}
