#include "cli/interrupt.h"

#include <csignal>
#include <unistd.h>
#include <utility>

namespace dorvak::cli {
namespace {

// Touched by the handler: lock-free atomics only.
std::atomic<int> caughtSignal{0};
std::atomic<std::atomic<bool>*> watchedFlag{nullptr};
struct sigaction previousInt, previousTerm, previousAlarm;

// How long a job has, after the first signal, to reach its next check.
constexpr unsigned kGraceSeconds = 3;

extern "C" void onSignal(int number) {
    if (caughtSignal.exchange(number) != 0) {
        // The second signal: end now, as the default action would.
        ::signal(number, SIG_DFL);
        ::raise(number);
        return;
    }
    if (std::atomic<bool>* flag = watchedFlag.load()) flag->store(true);
    // A job blocked in a read (a hung network file, a failing disk) never
    // reaches its check: the alarm ends the program in its place.
    ::alarm(kGraceSeconds);
}

// The grace after the first signal has run out: end with the status that
// signal would have given. Only async-signal-safe calls here.
extern "C" void onGraceOver(int) {
    static const char text[] = "\nStopped: a read did not return\n";
    [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(128 + caughtSignal.load());
}

} // namespace

StopOnSignal::StopOnSignal() {
    static_assert(std::atomic<int>::is_always_lock_free);
    static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);
    caughtSignal = 0;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a call that blocks (a read, an open) returns EINTR and
    // the job sees the stop at its next check; one that is simply restarted
    // by its caller is ended by the grace alarm.
    action.sa_flags = 0;
    // A signal ignored on entry (nohup, a shell's background job) stays
    // ignored.
    for (auto [number, previous] : {std::pair{SIGINT, &previousInt}, {SIGTERM, &previousTerm}}) {
        ::sigaction(number, nullptr, previous);
        if (previous->sa_handler != SIG_IGN) ::sigaction(number, &action, nullptr);
    }
    struct sigaction grace {};
    grace.sa_handler = onGraceOver;
    sigemptyset(&grace.sa_mask);
    ::sigaction(SIGALRM, &grace, &previousAlarm);
}

StopOnSignal::~StopOnSignal() {
    ::alarm(0);
    ::sigaction(SIGALRM, &previousAlarm, nullptr);
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    watchedFlag = nullptr;
}

void StopOnSignal::watch(std::atomic<bool>* flag) {
    watchedFlag = flag;
    renew();
}

void StopOnSignal::renew() const {
    if (caughtSignal.load() == 0) return;
    if (std::atomic<bool>* flag = watchedFlag.load()) flag->store(true);
}

int StopOnSignal::signal() const {
    return caughtSignal.load();
}

int StopOnSignal::exitStatus(int normal) const {
    const int number = signal();
    return number ? 128 + number : normal;
}

} // namespace dorvak::cli
