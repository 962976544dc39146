// The refusal recognisers over any answer: they never crash or hang, a wait is never negative,
// status 429 is always a refusal, and a body's verdict does not change when it is wrapped as the
// marketplace wraps its answers (a JSONP callback with blanks and a trailing ";", or a "/**/"
// comment in front) or when blanks stand around it.

#include "FuzzSupport.h"

#include "web/Refusal.h"

using namespace quillet;

namespace {

bool same(const web::Refusal& a, const web::Refusal& b)
{
    return a.kind == b.kind && a.waitSeconds == b.waitSeconds;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    static const long statuses[] = {200, 302, 403, 429, 500, 0};
    web::AnswerView answer;
    answer.status = statuses[in.ConsumeIntegralInRange<std::size_t>(0, 5)];
    answer.nowUnixSeconds = in.ConsumeIntegral<std::int64_t>();
    const std::string location = in.ConsumeRandomLengthString(48);
    const std::string retryAfter = in.ConsumeRandomLengthString(40);
    const std::string date = in.ConsumeRandomLengthString(40);
    const std::string finalUrl = in.ConsumeRandomLengthString(48);
    const std::string callback = in.ConsumeRandomLengthString(16);
    const std::string body = in.ConsumeRemainingBytesAsString();
    answer.location = location;
    answer.retryAfter = retryAfter;
    answer.date = date;
    answer.finalUrl = finalUrl;
    answer.body = body;

    const web::Refusal refusal = web::recogniseRefusal(answer);
    fuzz::check(!refusal.waitSeconds || *refusal.waitSeconds >= 0, "a wait is never negative");
    fuzz::check(answer.status != 429 || refusal, "status 429 is a refusal");
    const auto wait = web::retryAfterSeconds(retryAfter, date, answer.nowUnixSeconds);
    fuzz::check(!wait || *wait >= 0, "a Retry-After wait is never negative");
    (void)web::refusalName(refusal.kind);

    // The body's own verdict, on a plain answer, keeps through the marketplace's wrappings.
    web::AnswerView plain;
    plain.status = 200;
    plain.body = body;
    const web::Refusal bare = web::recogniseRefusal(plain);
    const std::size_t first = body.find_first_not_of(" \t\r\n");
    if ((bare.kind != web::RefusalKind::SecurityCheck && bare.kind != web::RefusalKind::FeedWait)
        || first == std::string::npos || body[first] != '{' || body[body.find_last_not_of(" \t\r\n")] != '}')
        return 0; // only a bare object is wrapped: wrapping a statement ("{...};") is no shape sent
    std::string name;
    for (const char c : callback)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$')
            name += c;
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        name.insert(0, "jsonp_reviews_list");
    for (const std::string& wrapped : {name + "(" + body + ")", name + " ( " + body + " );", " \r\n" + body + "\t",
                                       "/**/" + name + "(" + body + ");"}) {
        plain.body = wrapped;
        fuzz::check(same(web::recogniseRefusal(plain), bare), "a wrapped body keeps its verdict", fuzz::hex(wrapped));
    }
    return 0;
}
