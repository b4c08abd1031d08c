// SIGUSR1 (and SIGINFO where the system has it) asks a "/progress" run for one status line, as
// it asks dd. Registered before main runs; installed only when the option is given, so without
// it the signal keeps its default.
#include <signal.h>

#include "copy/progress.h"

namespace {

volatile std::sig_atomic_t* request_flag = nullptr;

void on_request(int) { *request_flag = 1; }

// SA_RESTART: a pass-through request or file write under way is not cut short by the signal.
void install(volatile std::sig_atomic_t* requested)
{
    request_flag = requested;
    struct sigaction action = {};
    action.sa_handler = on_request;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &action, nullptr);
#ifdef SIGINFO
    sigaction(SIGINFO, &action, nullptr);
#endif
}

struct registration_t {
    registration_t() { install_progress_request = install; }
};

const registration_t registration;

}  // namespace
