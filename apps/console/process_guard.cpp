#include "process_guard.h"

#ifdef _WIN32

unsigned guard_process() { return 0; }
bool is_standard_input(std::FILE*) { return false; }
bool is_named(std::FILE*, const char*) { return false; }

#else

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "tav/file_identity.h"

unsigned guard_process()
{
    unsigned closed = 0;
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            ::open("/dev/null", O_RDWR);  // takes the lowest free descriptor: fd
            closed |= 1u << fd;
        }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    return closed;
}

bool is_standard_input(std::FILE* input)
{
    return tav::same_file(tav::file_facts(fileno(input)), tav::file_facts(STDIN_FILENO));
}

bool is_named(std::FILE* input, const char* name)
{
    return tav::same_file(tav::file_facts(fileno(input)), tav::file_facts(name, false));
}

#endif
