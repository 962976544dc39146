#pragma once

#include "text/GbkText.h"
#include "web/FetchOutcome.h"

#include <functional>

namespace quillet::web {

class WebClient;

// How often, and after what pauses, a page is asked for again. A refusal waits the time the
// server named (up to maxServerWaitMs), or else a pause that starts at firstRefusalPauseMs and
// doubles each time; a page lost in transit (time-out, reset, truncated body, 5xx) waits a
// pause that starts at firstFailurePauseMs and doubles. Pauses without a server wait are
// spread by up to a quarter either way, so that many clients do not come back together, and
// never exceed maxPauseMs.
struct RetryPolicy {
    int refusedRetries = 3;
    int failedRetries = 2;
    long long firstRefusalPauseMs = 5000;
    long long firstFailurePauseMs = 1000;
    long long maxPauseMs = 300000;
    long long maxServerWaitMs = 600000;
};

// What became of a page after its retries.
enum class PageVerdict {
    Ok,      // the page came (it may still be empty, or a 4xx answer such as 404)
    Refused, // the marketplace still refused it after every retry
    Failed,  // lost in transit every time, or unreachable
    Stopped, // a stop was asked for while the page waited for its next try
};

struct PageResult {
    PageVerdict verdict = PageVerdict::Ok;
    FetchOutcome outcome; // the last try's
    int tries = 0;        // requests sent for the page
};

// True for a failure that may go away by itself: a time-out, a reset or truncated answer, a 5xx.
[[nodiscard]] bool isTransientFailure(const FetchOutcome& outcome);

// The pause before retry number `retry` (from 1) of a page whose last try ended in `outcome`.
[[nodiscard]] long long retryPauseMs(const FetchOutcome& outcome, int retry, const RetryPolicy& policy);

// Waits up to `ms`, letting window events through every 10 ms; ends at once when `stopped`
// says so. False when it ended on a stop.
bool waitUnlessStopped(long long ms, const std::function<bool()>& stopped);

// Fetches one page through `fetch` (one request made through `client`), asking again after a
// refusal or a transient failure as the policy allows. `text` receives what the last try gave;
// it is emptied unless the verdict is Ok.
PageResult fetchPage(WebClient& client, const std::function<GbkText()>& fetch, const RetryPolicy& policy,
                     const std::function<bool()>& stopped, GbkText& text);

} // namespace quillet::web
