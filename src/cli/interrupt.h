#pragma once
// StopOnSignal: Ctrl-C (SIGINT) and SIGTERM ask the job that runs to stop,
// through the same atomic flag a front end's Stop button sets, so the job
// ends at its next check and keeps what it found. A job that does not get to
// its check within a few seconds (a read that hangs) is ended then, with the
// same status; a second signal ends the program at once.
//
// Jobs clear their stop flag when they start; a signal that lands before
// that would be lost, so the progress sinks call `renew()` on their events,
// which sets the flag again once a signal has arrived.

#include <atomic>

namespace dorvak::cli {

class StopOnSignal {
public:
    StopOnSignal();  // installs the handlers
    ~StopOnSignal(); // restores the previous ones
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

    // The stop flag of the job now running (nullptr: none).
    void watch(std::atomic<bool>* flag);
    // Sets the watched flag again when a signal has arrived.
    void renew() const;
    // The signal that arrived, or 0.
    int signal() const;
    bool interrupted() const { return signal() != 0; }
    // 128 + the signal number once a signal has arrived, else `normal`.
    int exitStatus(int normal) const;
};

} // namespace dorvak::cli
