#include "web/FetchOutcome.h"

namespace quillet::web {

std::string_view transportErrorName(TransportError error)
{
    switch (error) {
    case TransportError::None: return "none";
    case TransportError::NotSent: return "not-sent";
    case TransportError::TimedOut: return "time-out";
    case TransportError::ConnectFailed: return "connect-failed";
    case TransportError::NameNotFound: return "name-not-found";
    case TransportError::Reset: return "reset";
    case TransportError::Truncated: return "truncated";
    case TransportError::TooBig: return "too-big";
    case TransportError::TooManyRedirects: return "too-many-redirects";
    case TransportError::Aborted: return "aborted";
    case TransportError::Other: return "other";
    }
    return "other";
}

std::string FetchOutcome::describe() const
{
    if (!attempted)
        return "no request";
    if (refusal) {
        std::string text = "refused: " + std::string(refusalName(refusal.kind));
        if (refusal.waitSeconds)
            text += ", wait " + std::to_string(*refusal.waitSeconds) + " s";
        return text;
    }
    if (error != TransportError::None)
        return std::string(transportErrorName(error));
    if (status >= 400)
        return "HTTP " + std::to_string(status);
    return bodyBytes == 0 ? "ok, empty" : "ok";
}

} // namespace quillet::web
