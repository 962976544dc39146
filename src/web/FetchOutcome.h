#pragma once

#include "web/Refusal.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet::web {

// Why a request brought no answer.
enum class TransportError {
    None,             // an answer arrived, whatever its status
    NotSent,          // nothing went out: no request object, or an unsafe address or header
    TimedOut,         // a phase ran out of time, or the wait for the answer ended first
    ConnectFailed,    // the connection was refused or could not be made (to the host or proxy)
    NameNotFound,     // the host or proxy name could not be resolved
    Reset,            // the connection broke, or closed without an answer
    Truncated,        // the answer ended before the length it announced
    TooBig,           // the body went beyond the size limit of a request
    TooManyRedirects, // redirects went on beyond the limit
    Aborted,          // abort() ended it
    Other,
};

// What happened to the last request of a WebClient. The page fetches keep their convention of
// the empty text for a failure; this is where the reason stays.
struct FetchOutcome {
    bool attempted = false; // a request was sent (or tried) since the client was made
    long status = 0;        // HTTP status of the final answer; 0 without an answer
    TransportError error = TransportError::None;
    int curlCode = 0;       // the libcurl result, for diagnostics
    Refusal refusal;        // the marketplace's way of turning the client away, when recognised
    std::size_t bodyBytes = 0;
    std::string url;        // the address that finally answered, or the one asked for

    // An answer below 400 that is no refusal: the page asked for (it may still be empty).
    [[nodiscard]] bool ok() const
    {
        return attempted && error == TransportError::None && status > 0 && status < 400 && !refusal;
    }
    // One short line for logs and reports: "ok", "HTTP 503", "time-out", "refused: feed-wait, wait 5 s".
    [[nodiscard]] std::string describe() const;
};

// A stable short name ("time-out", "connect-failed", ...; "none").
[[nodiscard]] std::string_view transportErrorName(TransportError error);

} // namespace quillet::web
