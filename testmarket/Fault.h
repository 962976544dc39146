#pragma once

// Faults the simulated marketplace injects on demand, per host and path or everywhere.

#include "TestMarket.h"

#include <optional>
#include <string>
#include <string_view>

namespace quillet::testmarket {

enum class FaultKind {
    Latency,        // answer normally after delayMs
    ServerError,    // answer with `status` (5xx) and a short page
    Reset,          // close the connection without answering (TCP reset)
    Truncate,       // announce the full length, send only `bytes` body bytes, close
    EmptyPage,      // 200 with an empty body
    Charset,        // the normal page, re-encoded and/or mislabelled (see the encoding fields)
    RedirectLoop,   // 302 back to the very same address, forever
    HugePage,       // the normal page followed by `bytes` filler bytes (default 50 MB)
    RefuseJson,     // {"rgv587_flag":"sm","url":".../query.htm?..."}
    RefusePunish,   // 302 to /_____tmd_____/punish?... on the same host
    RefuseFeedWait  // jsonp_reviews_list({"status":1111,"wait":5})
};

// The byte form of a re-encoded body.
enum class BodyEncoding { Gbk, Utf8, Big5, Big5Hkscs, Utf16LE, Utf16BE };

// What happens to the page's meta charset declarations when it is re-encoded.
enum class MetaMode {
    Keep,     // left as they are (they still say GBK)
    Declare,  // <meta http-equiv="Content-Type" content="text/html; charset=NAME">
    Quoted,   // <meta charset="NAME">
    Remove    // every meta element naming a charset is dropped
};

struct Fault {
    FaultKind kind = FaultKind::Latency;
    std::string host;           // empty: any host
    std::string path;           // empty: any path
    int afterRequests = 0;      // the first N matching requests pass untouched
    int times = -1;             // how many requests it hits after that (-1: no limit)
    int lastsMs = -1;           // it hits only this long after its first hit, by the marketplace's clock (-1: no limit)

    int delayMs = 1000;         // Latency
    int status = 503;           // ServerError
    std::string retryAfter;     // ServerError: a Retry-After header with this value (empty: none)
    int waitSeconds = 5;        // RefuseFeedWait: the wait the answer names
    long long bytes = -1;       // Truncate: body bytes sent (-1: half); HugePage: filler size (-1: 50 MB)

    // Charset: the body is converted from GBK to `encoding`, with a byte-order mark when
    // asked (UTF-8/UTF-16 only); the meta declarations follow `meta`, naming `metaName`
    // (empty: the encoding's usual name); the Content-Type header names `headerCharset`
    // (empty: no charset parameter at all).
    BodyEncoding encoding = BodyEncoding::Gbk;
    bool byteOrderMark = false;
    MetaMode meta = MetaMode::Keep;
    std::string metaName;
    std::string headerCharset;

    // Parses "kind[,key=value]...". Kinds: latency, status, reset, truncate, empty, charset,
    // redirect-loop, huge, refuse-json, refuse-punish, refuse-wait. Keys: host, path, after,
    // times, lasts, ms, code, retry, wait, bytes, encoding (gbk, utf-8, big5, big5-hkscs, utf-16le, utf-16be),
    // bom (0/1), meta (keep, declare, quoted, remove), metaname, header.
    // Gives nullopt for an unknown kind or key, or a bad number.
    [[nodiscard]] static std::optional<Fault> parse(std::string_view faultText);

    [[nodiscard]] bool matches(const RecordedRequest& request) const;
};

// The path of the page the punish refusal redirects to (served on every host).
inline constexpr std::string_view kPunishPath = "/_____tmd_____/punish";

// Turns the normal answer to `request` into the faulty one.
[[nodiscard]] Response applyFault(const Fault& fault, const RecordedRequest& request, Response normal);

// Converts a GBK body into another encoding. Characters the target cannot hold become "?".
[[nodiscard]] std::string encodeBody(const std::string& gbkBody, BodyEncoding encoding, bool byteOrderMark);

// Rewrites or removes the meta charset declarations of a page (GBK or ASCII-compatible text).
[[nodiscard]] std::string rewriteMetaCharset(const std::string& page, MetaMode mode, const std::string& name);

// The usual charset name of an encoding ("utf-8", "Big5", ...).
[[nodiscard]] std::string encodingName(BodyEncoding encoding);

} // namespace quillet::testmarket
