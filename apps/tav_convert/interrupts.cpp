#include "interrupts.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_signal = 0;
// The pipe the handler writes to, for reads waiting for input: -1 until
// catch_interrupts makes it.
int g_stop_pipe[2] = {-1, -1};

}  // namespace

int interrupt_signal()
{
    return g_signal;
}

int interrupt_fd()
{
    return g_stop_pipe[0];
}

#ifdef _WIN32

void catch_interrupts() {}
InterruptsBlocked::InterruptsBlocked() : saved_{} {}
InterruptsBlocked::~InterruptsBlocked() {}

#else

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

static_assert(sizeof(sigset_t) <= 256);

namespace {

extern "C" void on_interrupt(int signal)
{
    if (g_signal == 0)
        g_signal = signal;
    if (g_stop_pipe[1] >= 0) {
        char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(g_stop_pipe[1], &byte, 1);  // full: readable already
    }
}

sigset_t interrupts()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void catch_interrupts()
{
    if (g_stop_pipe[0] < 0 && ::pipe(g_stop_pipe) == 0) {
        for (int fd : g_stop_pipe) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;   // no SA_RESTART: a read waiting for input returns
    // A signal ignored at start (a background job's SIGINT) stays ignored.
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction before;
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
}

InterruptsBlocked::InterruptsBlocked()
{
    sigset_t set = interrupts();
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &set, &old);
    std::memcpy(saved_, &old, sizeof old);
}

InterruptsBlocked::~InterruptsBlocked()
{
    sigset_t old;
    std::memcpy(&old, saved_, sizeof old);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

#endif
