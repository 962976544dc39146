// The shapes in which the marketplace turns a client away, as its answers carry them.

#include "web/PageRetry.h"
#include "web/Refusal.h"

#include "text/Charset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <random>
#include <string>

using quillet::web::AnswerView;
using quillet::web::recogniseRefusal;
using quillet::web::Refusal;
using quillet::web::RefusalKind;
using quillet::web::retryAfterSeconds;

namespace {

Refusal ofBody(const std::string& body, long status = 200)
{
    AnswerView answer;
    answer.status = status;
    answer.body = body;
    return recogniseRefusal(answer);
}

} // namespace

TEST(RefusalShapes, BodiesInTheirCapturedForms)
{
    const std::string check = "{\"rgv587_flag\":\"sm\",\"url\":\"//sec.taobao.com/query.htm?action=QueryAction\"}";
    // A GBK text whose last character ends in a backslash byte (0x5C) before the closing quote.
    const std::string gbkMessage = quillet::text::utf8ToGbk("访问受限淺");
    struct Case {
        std::string body;
        RefusalKind kind;
        std::optional<long long> wait;
    };
    const Case cases[] = {
        {check, RefusalKind::SecurityCheck, std::nullopt},
        {"\xEF\xBB\xBF { \"rgv587_flag\" : \"sm\" , \"url\" : \"x\" }\r\n", RefusalKind::SecurityCheck, std::nullopt},
        {"jsonp123(" + check + ");", RefusalKind::SecurityCheck, std::nullopt},
        {"/**/ window.cb_9 ( {'rgv587_flag':'sm'} )", RefusalKind::SecurityCheck, std::nullopt},
        {"{\"msg\":\"" + gbkMessage + "\",\"rgv587_flag\":\"sm\"}", RefusalKind::SecurityCheck, std::nullopt},
        {"{\"msg\":\"访问受限\",\"rgv587_flag\":\"sm\"}", RefusalKind::SecurityCheck, std::nullopt},
        {"jsonp_reviews_list({\"status\":1111,\"wait\":5})", RefusalKind::FeedWait, 5},
        {"\r\n  jsonp_reviews_list( { \"wait\" : \"12\", \"status\" : \"1111\" } ) ;\r\n", RefusalKind::FeedWait, 12},
        {"try{jsonp88({status:1111,wait:3});}catch(e){}", RefusalKind::FeedWait, 3},
        {"{\"status\":1111}", RefusalKind::FeedWait, std::nullopt},
        // Escapes inside keys and values read as the escaped bytes.
        {"{\"rgv587\\_fl\\ag\":\"sm\"}", RefusalKind::SecurityCheck, std::nullopt},
        {"cb({\"st\\atus\":\"11\\11\",\"wait\":4})", RefusalKind::FeedWait, 4},
        {"cb({'s\\tatus' /* key */ : /**/ '1\\111', wait: 6})", RefusalKind::FeedWait, 6},
        {"try({\"rgv587_flag\":\"sm\"})", RefusalKind::SecurityCheck, std::nullopt},
    };
    for (const Case& c : cases) {
        const Refusal refusal = ofBody(c.body);
        EXPECT_EQ(refusal.kind, c.kind) << c.body;
        EXPECT_EQ(refusal.waitSeconds, c.wait) << c.body;
    }
}

// Keys and values escaped anywhere but at their first byte (or nowhere), behind text full of
// their bytes, short or long: the quick look for the shapes' words must not pass over one that
// the object reading finds.
TEST(RefusalShapes, EscapedKeysBehindTheirOwnBytesAreFound)
{
    std::mt19937 rng(12);
    const auto escaped = [&rng](const std::string& word) {
        std::string out(1, word[0]);
        for (std::size_t i = 1; i < word.size(); ++i)
            out += rng() % 3 == 0 ? std::string("\\") + word[i] : std::string(1, word[i]);
        return out;
    };
    const char* const padBytes[] = {"1", "u", "v", "r", "s", "_", "\\\\"};
    for (int round = 0; round < 600; ++round) {
        std::string pad;
        for (int n = static_cast<int>(rng() % (round % 2 == 0 ? 30 : 400)); n > 0; --n)
            pad += padBytes[rng() % std::size(padBytes)];
        const bool feedWait = rng() % 2 == 0;
        const std::string member = feedWait
            ? "\"" + escaped("status") + "\":\"" + escaped("1111") + "\",\"wait\":7"
            : "\"" + escaped("rgv587_flag") + "\":\"sm\"";
        const std::string body = "cb({\"pad\":\"" + pad + "\"," + member + "})";
        ASSERT_EQ(ofBody(body).kind, feedWait ? RefusalKind::FeedWait : RefusalKind::SecurityCheck) << body;
    }
}

TEST(RefusalShapes, OrdinaryAnswersAreNoRefusals)
{
    const char* const bodies[] = {
        // A feed page whose review merely quotes the keys, and one whose inner object has them.
        "jsonp_reviews_list({\"comments\":[{\"content\":\"\\\"rgv587_flag\\\":\\\"sm\\\" status 1111\"}],"
        "\"maxPage\":2})",
        "jsonp_reviews_list({\"comments\":[{\"status\":1111,\"wait\":5}]})",
        // Records with a status each and numbers full of 1s, 1111 among them, none at the top.
        "jsonp_reviews_list({\"total\":111,\"comments\":[{\"status\":0,\"id\":111101,\"rank\":11},"
        "{\"status\":0,\"id\":\"1\\/1111\",\"rank\":1}],\"page\":1})",
        "{\"status\":0,\"wait\":5}",
        "<html><head><title>rgv587_flag</title></head></html>",
        "{\"rgv587_flag\":\"sm\"} and more",
        // A comment that never ends hides no end of the body (nor the closing parenthesis).
        "{\"rgv587_flag\":\"sm\"}/* cut",
        "",
    };
    for (const char* body : bodies)
        EXPECT_FALSE(ofBody(body)) << body;
    EXPECT_FALSE(ofBody("{\"rgv587_flag\":\"sm\",\"pad\":\"" + std::string(70000, 'x') + "\"}"));

    AnswerView forbidden;
    forbidden.status = 403; // without Retry-After: an ordinary refusal of one page, not of the client
    EXPECT_FALSE(recogniseRefusal(forbidden));
}

TEST(RefusalShapes, StatusesAndTheRedirectToThePunishPage)
{
    AnswerView answer;
    answer.status = 429;
    EXPECT_EQ(recogniseRefusal(answer).kind, RefusalKind::TooManyRequests);
    EXPECT_EQ(recogniseRefusal(answer).waitSeconds, std::nullopt);
    answer.retryAfter = "30";
    EXPECT_EQ(recogniseRefusal(answer).waitSeconds, 30);
    answer.status = 403;
    answer.retryAfter = "Wed, 21 Oct 2015 07:28:00 GMT";
    answer.date = "Wed, 21 Oct 2015 07:26:30 GMT"; // by the server's clock
    EXPECT_EQ(recogniseRefusal(answer).kind, RefusalKind::Forbidden);
    EXPECT_EQ(recogniseRefusal(answer).waitSeconds, 90);

    AnswerView redirect;
    redirect.status = 302;
    redirect.location = "/_____tmd_____/punish?x5secdata=c2VjdXJpdHk%3D&x5step=1";
    EXPECT_EQ(recogniseRefusal(redirect).kind, RefusalKind::PunishPage);
    AnswerView followed;
    followed.status = 200;
    followed.finalUrl = "http://item.taobao.com/_____tmd_____/punish?uuid=1";
    followed.body = "<html>...</html>";
    EXPECT_EQ(recogniseRefusal(followed).kind, RefusalKind::PunishPage);
    followed.finalUrl = "http://item.taobao.com/item.htm?id=1&from=/_____tmd_____/punish";
    EXPECT_FALSE(recogniseRefusal(followed));
}

TEST(RetryAfter, SecondsOrADateByTheServersClock)
{
    EXPECT_EQ(retryAfterSeconds(" 120 ", "", 0), 120);
    // Without a readable Date header, the local clock counts.
    EXPECT_EQ(retryAfterSeconds("Thu, 01 Jan 1970 00:01:00 GMT", "", 20), 40);
    EXPECT_EQ(retryAfterSeconds("Thu, 01 Jan 1970 00:01:00 GMT", "garbage", 20), 40);
    EXPECT_EQ(retryAfterSeconds("Sat, 29 Feb 2020 23:59:59 GMT", "Sun, 01 Mar 2020 00:00:09 GMT", 0), 0);
    // A broken clock far before 1970 waits until the date, counted from 1970, without overflow.
    EXPECT_EQ(retryAfterSeconds("Thu, 01 Jan 1970 00:01:00 GMT", "", std::numeric_limits<std::int64_t>::min()), 60);
    EXPECT_EQ(retryAfterSeconds("-5", "", 0), std::nullopt);
    EXPECT_EQ(retryAfterSeconds("soon", "", 0), std::nullopt);
    EXPECT_EQ(retryAfterSeconds("Wed, 32 Oct 2015 07:28:00 GMT", "", 0), std::nullopt);
}

TEST(RefusalRetryPauses, ServerWaitsAreKeptAndEveryPauseIsBounded)
{
    using quillet::web::FetchOutcome;
    quillet::web::RetryPolicy policy;
    FetchOutcome waitAsked;
    waitAsked.refusal = {RefusalKind::FeedWait, 7};
    EXPECT_EQ(quillet::web::retryPauseMs(waitAsked, 1, policy), 7000);
    waitAsked.refusal.waitSeconds = 86400LL * 365 * 1000; // a server asking for ages, or garbage
    EXPECT_EQ(quillet::web::retryPauseMs(waitAsked, 1, policy), policy.maxServerWaitMs);

    // Without a wait: doubling from the first pause, spread by a quarter, never beyond the cap.
    FetchOutcome refused;
    refused.refusal = {RefusalKind::SecurityCheck, std::nullopt};
    for (int retry = 1; retry <= 40; ++retry) {
        const long long pause = quillet::web::retryPauseMs(refused, retry, policy);
        const long long plain = std::min(policy.maxPauseMs, policy.firstRefusalPauseMs << std::min(retry - 1, 20));
        EXPECT_GE(pause, plain * 3 / 4) << retry;
        EXPECT_LE(pause, std::min(policy.maxPauseMs, plain * 5 / 4)) << retry;
    }
}
