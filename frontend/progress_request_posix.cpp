// SIGUSR1 (and SIGINFO where the system has it) asks a "/progress" run for one status line, as
// it asks dd. The signal is blocked and looked for between records rather than caught: a handler
// would cut an SG_IO request short, and sg does not send an interrupted command again. Without
// the option the signal keeps its default.
#include <signal.h>

#include <ctime>

#include "copy/progress.h"

namespace {

sigset_t request_signals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGUSR1);
#ifdef SIGINFO
    sigaddset(&signals, SIGINFO);
#endif
    return signals;
}

void begin()
{
    const sigset_t signals = request_signals();
    sigprocmask(SIG_BLOCK, &signals, nullptr);
}

bool taken()
{
    const sigset_t signals = request_signals();
    const timespec now = {0, 0};
    return sigtimedwait(&signals, nullptr, &now) > 0;
}

struct registration_t {
    registration_t() { progress_request = {begin, taken}; }
};

const registration_t registration;

}  // namespace
