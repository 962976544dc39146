#include "web/PageRetry.h"

#include "text/EventPump.h"
#include "web/WebClient.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

namespace quillet::web {

bool isTransientFailure(const FetchOutcome& outcome)
{
    switch (outcome.error) {
    case TransportError::TimedOut:
    case TransportError::Reset:
    case TransportError::Truncated:
        return true;
    case TransportError::None:
        return outcome.status >= 500 && outcome.status <= 599;
    default:
        return false;
    }
}

long long retryPauseMs(const FetchOutcome& outcome, int retry, const RetryPolicy& policy)
{
    if (outcome.refusal && outcome.refusal.waitSeconds && *outcome.refusal.waitSeconds > 0) {
        const long long asked = *outcome.refusal.waitSeconds;
        const long long cap = std::max(0LL, policy.maxServerWaitMs);
        return asked >= cap / 1000 ? cap : asked * 1000;
    }
    long long pause = std::max(0LL, outcome.refusal ? policy.firstRefusalPauseMs : policy.firstFailurePauseMs);
    const long long cap = std::max(0LL, policy.maxPauseMs);
    for (int i = 1; i < retry && pause < cap; ++i)
        pause *= 2;
    pause = std::min(pause, cap);
    thread_local std::minstd_rand random(std::random_device{}());
    std::uniform_real_distribution<double> spread(0.75, 1.25);
    return std::min(cap, static_cast<long long>(static_cast<double>(pause) * spread(random)));
}

bool waitUnlessStopped(long long ms, const std::function<bool()>& stopped)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(std::max(0LL, ms));
    for (;;) {
        text::processEvents();
        if (stopped && stopped())
            return false;
        const Clock::time_point now = Clock::now();
        if (now >= end)
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(end - now, std::chrono::milliseconds(10)));
    }
}

PageResult fetchPage(WebClient& client, const std::function<GbkText()>& fetch, const RetryPolicy& policy,
                     const std::function<bool()>& stopped, GbkText& text)
{
    PageResult result;
    int refusedRetries = 0;
    int failedRetries = 0;
    for (;;) {
        text = fetch();
        ++result.tries;
        result.outcome = client.lastOutcome();
        int retry = 0;
        if (result.outcome.refusal) {
            if (refusedRetries >= policy.refusedRetries) {
                result.verdict = PageVerdict::Refused;
                break;
            }
            retry = ++refusedRetries;
        } else if (isTransientFailure(result.outcome)) {
            if (failedRetries >= policy.failedRetries) {
                result.verdict = PageVerdict::Failed;
                break;
            }
            retry = ++failedRetries;
        } else {
            result.verdict = result.outcome.attempted && result.outcome.error == TransportError::None
                ? PageVerdict::Ok
                : PageVerdict::Failed;
            break;
        }
        if (!waitUnlessStopped(retryPauseMs(result.outcome, retry, policy), stopped)) {
            result.verdict = PageVerdict::Stopped;
            break;
        }
    }
    if (result.verdict != PageVerdict::Ok)
        text.clear();
    return result;
}

} // namespace quillet::web
