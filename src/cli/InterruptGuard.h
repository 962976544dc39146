#pragma once

#include <csignal>

namespace quillet::cli {

// While alive, Ctrl-C asks the run to stop (requestStopFromSignal, once); a second Ctrl-C
// ends the program as usual.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
#ifndef _WIN32
    struct sigaction m_previous {};
#else
    void (*m_previous)(int) = nullptr;
#endif
};

} // namespace quillet::cli
