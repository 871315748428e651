#include "cli/interrupt.h"

#include <csignal>
#include <utility>

namespace dorvak::cli {
namespace {

// Touched by the handler: lock-free atomics only.
std::atomic<int> caughtSignal{0};
std::atomic<std::atomic<bool>*> watchedFlag{nullptr};
struct sigaction previousInt, previousTerm;

extern "C" void onSignal(int number) {
    if (caughtSignal.exchange(number) != 0) {
        // The second signal: end now, as the default action would.
        ::signal(number, SIG_DFL);
        ::raise(number);
        return;
    }
    if (std::atomic<bool>* flag = watchedFlag.load()) flag->store(true);
}

} // namespace

StopOnSignal::StopOnSignal() {
    static_assert(std::atomic<int>::is_always_lock_free);
    static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);
    caughtSignal = 0;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Reads and writes go on after the handler: the job stops at its own
    // next check, never in the middle of a request.
    action.sa_flags = SA_RESTART;
    // A signal ignored on entry (nohup, a shell's background job) stays
    // ignored.
    for (auto [number, previous] : {std::pair{SIGINT, &previousInt}, {SIGTERM, &previousTerm}}) {
        ::sigaction(number, nullptr, previous);
        if (previous->sa_handler != SIG_IGN) ::sigaction(number, &action, nullptr);
    }
}

StopOnSignal::~StopOnSignal() {
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
