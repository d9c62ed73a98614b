#include "stop_signals.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace common {

namespace {
    volatile std::sig_atomic_t firstSignal = 0;
    std::array<int, 2> pipeEnds { -1, -1 };

    // Only async-signal-safe calls here: the write end is non-blocking, so a full pipe loses
    // nothing that matters (a byte is already waiting). A second signal, while the first one's
    // stop is under way, ends the process at once as the signal would have without us; the
    // file on disk is then the PST as last flushed, and the next start removes the temporary
    // folders.
    void onStopSignal(int signal)
    {
        const int savedErrno = errno;
        if (firstSignal != 0) {
            ::signal(signal, SIG_DFL);
            ::raise(signal);
            return;
        }
        firstSignal = signal;
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(pipeEnds[1], &byte, 1);
        errno = savedErrno;
    }
} // namespace

bool CatchStopSignals()
{
    if (pipeEnds[0] >= 0)
        return true;
    if (::pipe2(pipeEnds.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeEnds[0] = pipeEnds[1] = -1;
        return false;
    }
    struct sigaction action { };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    return true;
}

int StopSignalReceived() { return firstSignal; }

int StopSignalDescriptor() { return pipeEnds[0]; }

void DrainStopSignals()
{
    std::array<char, 64> bytes {};
    while (pipeEnds[0] >= 0 && ::read(pipeEnds[0], bytes.data(), bytes.size()) > 0) { }
}

} // namespace common
