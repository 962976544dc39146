#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillet::web {

// The ways the marketplace turns away a client that asks too much.
enum class RefusalKind {
    None,
    SecurityCheck,   // a JSON answer carrying "rgv587_flag" (it names a check page to pass first)
    PunishPage,      // a redirect to a "/_____tmd_____/punish" page, followed or not
    FeedWait,        // a review feed's answer {"status":1111,"wait":N}
    TooManyRequests, // HTTP 429
    Forbidden,       // HTTP 403 with a Retry-After header
};

struct Refusal {
    RefusalKind kind = RefusalKind::None;
    // The wait the server asked for, in seconds, when it named one ("wait", Retry-After).
    std::optional<long long> waitSeconds;

    [[nodiscard]] explicit operator bool() const { return kind != RefusalKind::None; }
};

// What a recogniser looks at in one answer. Every part may be empty.
struct AnswerView {
    long status = 0;
    std::string_view location;   // the Location header (a redirect that was not followed)
    std::string_view retryAfter; // the Retry-After header
    std::string_view date;       // the Date header: the server's clock for a Retry-After date
    std::string_view finalUrl;   // the address that finally answered (after redirects)
    std::string_view body;       // the raw body bytes (GBK, UTF-8 or ASCII)
    std::int64_t nowUnixSeconds = 0; // the local clock, for a Retry-After date without a Date header
};

// Recognises a refusal in an answer, by these shapes, in this order:
// - status 429, and 403 when a Retry-After comes with it (the wait from that header);
// - a Location or final address whose path leads to the punish page;
// - a body that is, as a whole, one JSON object, bare or wrapped in a JSONP call (any callback
//   name, blanks, a trailing ";", a "/**/" or "try{...}catch" wrapper), holding at its own
//   level the key "rgv587_flag", or the key "status" with the value 1111 (then "wait" gives the
//   wait). Keys may be written with double quotes, single quotes or none. Only small bodies are
//   looked at: a refusal is a few hundred bytes, and a real page that merely mentions a key
//   inside a text never counts.
[[nodiscard]] Refusal recogniseRefusal(const AnswerView& answer);

// The seconds a Retry-After value asks for: a number of seconds, or an HTTP date counted from
// the server's Date header (or from `nowUnixSeconds` when that is missing or unreadable). Never
// negative; nothing for an unreadable value.
[[nodiscard]] std::optional<long long> retryAfterSeconds(std::string_view value, std::string_view dateHeader,
                                                         std::int64_t nowUnixSeconds);

// A stable short name for logs and reports ("security-check", "punish-page", ...; "none").
[[nodiscard]] std::string_view refusalName(RefusalKind kind);

} // namespace quillet::web
