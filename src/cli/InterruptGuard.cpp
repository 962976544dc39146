#include "cli/InterruptGuard.h"

#include "cli/Cli.h"

namespace quillet::cli {

namespace {
extern "C" void onInterrupt(int)
{
    requestStopFromSignal();
}
} // namespace

InterruptGuard::InterruptGuard()
{
#ifndef _WIN32
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, &m_previous);
#else
    m_previous = std::signal(SIGINT, onInterrupt);
#endif
}

InterruptGuard::~InterruptGuard()
{
#ifndef _WIN32
    sigaction(SIGINT, &m_previous, nullptr);
#else
    std::signal(SIGINT, m_previous);
#endif
}

} // namespace quillet::cli
