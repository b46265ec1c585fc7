// SIGINT and SIGTERM end a run cleanly: the signal only sets a flag, which
// the run looks at between records, and interrupts a read that waits for
// input. Only the main thread takes the signals: threads started while a
// Blocked object lives never do. On Windows nothing is caught.
#pragma once

#include "tav/shared_options.h"

// Starts catching SIGINT and SIGTERM.
void catch_interrupts();

// The signal that asked the run to stop, 0 when none has.
int interrupt_signal();

// A descriptor that turns readable once a signal has asked the run to stop,
// for a read that waits for input to wait on too (LineReading::stop_fd);
// -1 when there is none (before catch_interrupts, or on Windows).
int interrupt_fd();

// The exit status of a run ended by `signal`: 128 and its number.
inline int interrupted_status(int signal) { return tav::kSignalExitBase + signal; }

// Keeps SIGINT and SIGTERM blocked in this thread, so that threads started
// meanwhile never take them.
class InterruptsBlocked {
public:
    InterruptsBlocked();
    ~InterruptsBlocked();
    InterruptsBlocked(const InterruptsBlocked&) = delete;
    InterruptsBlocked& operator=(const InterruptsBlocked&) = delete;

private:
    unsigned char saved_[256];   // the thread's signal mask before
};
