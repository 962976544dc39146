#include "AsciiText.h"
#include "Fault.h"

#include "MarketPages.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quillet::testmarket {

namespace {


bool parseNumber(std::string_view s, long long& out)
{
    if (s.empty() || s.size() > 18)
        return false;
    const bool negative = s.front() == '-';
    if (negative)
        s.remove_prefix(1);
    if (s.empty())
        return false;
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = negative ? -v : v;
    return true;
}

std::optional<FaultKind> kindFromName(std::string_view name)
{
    static const std::pair<std::string_view, FaultKind> kinds[] = {
        {"latency", FaultKind::Latency},          {"status", FaultKind::ServerError},
        {"reset", FaultKind::Reset},              {"truncate", FaultKind::Truncate},
        {"empty", FaultKind::EmptyPage},          {"charset", FaultKind::Charset},
        {"redirect-loop", FaultKind::RedirectLoop}, {"huge", FaultKind::HugePage},
        {"refuse-json", FaultKind::RefuseJson},   {"refuse-punish", FaultKind::RefusePunish},
        {"refuse-wait", FaultKind::RefuseFeedWait},
    };
    for (const auto& [n, k] : kinds)
        if (n == name)
            return k;
    return std::nullopt;
}

std::optional<BodyEncoding> encodingFromName(std::string_view name)
{
    const std::string n = lower(name);
    if (n == "gbk")
        return BodyEncoding::Gbk;
    if (n == "utf-8" || n == "utf8")
        return BodyEncoding::Utf8;
    if (n == "big5")
        return BodyEncoding::Big5;
    if (n == "big5-hkscs")
        return BodyEncoding::Big5Hkscs;
    if (n == "utf-16le")
        return BodyEncoding::Utf16LE;
    if (n == "utf-16be")
        return BodyEncoding::Utf16BE;
    return std::nullopt;
}

const char* iconvName(BodyEncoding e)
{
    switch (e) {
    case BodyEncoding::Utf8: return "UTF-8";
    case BodyEncoding::Big5: return "BIG5";
    case BodyEncoding::Big5Hkscs: return "BIG5-HKSCS";
    case BodyEncoding::Utf16LE: return "UTF-16LE";
    case BodyEncoding::Utf16BE: return "UTF-16BE";
    default: return "GB18030";
    }
}

std::string questionMark(BodyEncoding e)
{
    if (e == BodyEncoding::Utf16LE)
        return std::string("?\0", 2);
    if (e == BodyEncoding::Utf16BE)
        return std::string("\0?", 2);
    return "?";
}

// Length of the GB18030 character starting at p (1, 2 or 4 bytes; never beyond `left`).
std::size_t gbCharLength(const unsigned char* p, std::size_t left)
{
    if (p[0] < 0x80 || left < 2)
        return 1;
    if (p[1] >= 0x30 && p[1] <= 0x39 && left >= 4)
        return 4;
    return 2;
}

// Position of `what` in `text` from `from`, ignoring the case of ASCII letters.
std::size_t findNoCase(const std::string& text, std::string_view what, std::size_t from = 0)
{
    const std::string l = lower(text);
    return l.find(lower(what), from);
}

std::string headerOf(const Response& r, std::string_view name)
{
    for (const Header& h : r.headers)
        if (lower(h.first) == lower(name))
            return h.second;
    return {};
}

void setHeader(Response& r, const std::string& name, const std::string& value)
{
    r.headers.erase(std::remove_if(r.headers.begin(), r.headers.end(),
                                   [&](const Header& h) { return lower(h.first) == lower(name); }),
                    r.headers.end());
    r.headers.emplace_back(name, value);
}

Response smallPage(int status, const std::string& text)
{
    Response r;
    r.status = status;
    r.headers.emplace_back("Content-Type", "text/html; charset=GBK");
    r.body = "<html><head><title>" + text + "</title></head><body>" + text + "</body></html>";
    return r;
}

} // namespace

std::optional<Fault> Fault::parse(std::string_view faultText)
{
    Fault f;
    std::size_t start = 0;
    bool first = true;
    while (start <= faultText.size()) {
        std::size_t comma = faultText.find(',', start);
        if (comma == std::string_view::npos)
            comma = faultText.size();
        const std::string_view item = faultText.substr(start, comma - start);
        start = comma + 1;
        if (first) {
            const auto kind = kindFromName(item);
            if (!kind)
                return std::nullopt;
            f.kind = *kind;
            first = false;
            continue;
        }
        if (item.empty())
            continue;
        const std::size_t eq = item.find('=');
        if (eq == std::string_view::npos)
            return std::nullopt;
        const std::string key = lower(item.substr(0, eq));
        const std::string_view value = item.substr(eq + 1);
        long long n = 0;
        const bool numeric = parseNumber(value, n);
        auto toInt = [&](int& out) {
            if (!numeric || n < -1 || n > 1000000000)
                return false;
            out = static_cast<int>(n);
            return true;
        };
        if (key == "host")
            f.host = lower(value);
        else if (key == "path")
            f.path = std::string(value);
        else if (key == "after") {
            if (!toInt(f.afterRequests) || f.afterRequests < 0)
                return std::nullopt;
        } else if (key == "times") {
            if (!toInt(f.times))
                return std::nullopt;
        } else if (key == "lasts") {
            if (!toInt(f.lastsMs))
                return std::nullopt;
        } else if (key == "ms") {
            if (!toInt(f.delayMs) || f.delayMs < 0)
                return std::nullopt;
        } else if (key == "code") {
            if (!toInt(f.status) || f.status < 100 || f.status > 999)
                return std::nullopt;
        } else if (key == "retry") {
            f.retryAfter = std::string(value);
        } else if (key == "wait") {
            if (!toInt(f.waitSeconds) || f.waitSeconds < 0)
                return std::nullopt;
        } else if (key == "bytes") {
            if (!numeric || n < -1)
                return std::nullopt;
            f.bytes = n;
        } else if (key == "encoding") {
            const auto e = encodingFromName(value);
            if (!e)
                return std::nullopt;
            f.encoding = *e;
        } else if (key == "bom") {
            if (!numeric || (n != 0 && n != 1))
                return std::nullopt;
            f.byteOrderMark = n == 1;
        } else if (key == "meta") {
            const std::string m = lower(value);
            if (m == "keep")
                f.meta = MetaMode::Keep;
            else if (m == "declare")
                f.meta = MetaMode::Declare;
            else if (m == "quoted")
                f.meta = MetaMode::Quoted;
            else if (m == "remove")
                f.meta = MetaMode::Remove;
            else
                return std::nullopt;
        } else if (key == "metaname")
            f.metaName = std::string(value);
        else if (key == "header")
            f.headerCharset = std::string(value);
        else
            return std::nullopt;
    }
    if (first)
        return std::nullopt;
    return f;
}

bool Fault::matches(const RecordedRequest& request) const
{
    if (!host.empty() && lower(request.host) != lower(host))
        return false;
    if (!path.empty() && request.path != path)
        return false;
    return true;
}

std::string encodingName(BodyEncoding encoding)
{
    switch (encoding) {
    case BodyEncoding::Utf8: return "utf-8";
    case BodyEncoding::Big5: return "Big5";
    case BodyEncoding::Big5Hkscs: return "Big5-HKSCS";
    case BodyEncoding::Utf16LE: return "utf-16le";
    case BodyEncoding::Utf16BE: return "utf-16be";
    default: return "gbk";
    }
}

std::string encodeBody(const std::string& gbkBody, BodyEncoding encoding, bool byteOrderMark)
{
    std::string out;
    if (byteOrderMark) {
        if (encoding == BodyEncoding::Utf8)
            out = "\xEF\xBB\xBF";
        else if (encoding == BodyEncoding::Utf16LE)
            out = "\xFF\xFE";
        else if (encoding == BodyEncoding::Utf16BE)
            out = "\xFE\xFF";
    }
    if (encoding == BodyEncoding::Gbk)
        return out + gbkBody;
    iconv_t cd = iconv_open(iconvName(encoding), "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out + gbkBody;
    const std::string mark = questionMark(encoding);
    auto* in = const_cast<char*>(gbkBody.data());
    std::size_t inLeft = gbkBody.size();
    std::size_t used = out.size();
    out.resize(used + gbkBody.size() * 2 + 16);
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (rc != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() + inLeft * 2 + 64);
            continue;
        }
        // A character the target lacks, or a broken GBK sequence: one "?" in its place.
        const std::size_t skip = std::min(inLeft, gbCharLength(reinterpret_cast<unsigned char*>(in), inLeft));
        in += skip;
        inLeft -= skip;
        out.resize(used);
        out += mark;
        used = out.size();
        out.resize(used + inLeft * 2 + 16);
    }
    out.resize(used);
    iconv_close(cd);
    return out;
}

std::string rewriteMetaCharset(const std::string& page, MetaMode mode, const std::string& name)
{
    if (mode == MetaMode::Keep)
        return page;
    std::string out = page;
    std::size_t firstMeta = std::string::npos;
    std::size_t at = 0;
    while ((at = findNoCase(out, "<meta", at)) != std::string::npos) {
        const std::size_t close = out.find('>', at);
        if (close == std::string::npos)
            break;
        const std::string element = out.substr(at, close + 1 - at);
        if (findNoCase(element, "charset") != std::string::npos) {
            out.erase(at, close + 1 - at);
            if (firstMeta == std::string::npos)
                firstMeta = at;
            continue;
        }
        at = close + 1;
    }
    if (mode == MetaMode::Remove)
        return out;
    const std::string element = mode == MetaMode::Declare
                                    ? "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + name + "\" />"
                                    : "<meta charset=\"" + name + "\" />";
    if (firstMeta == std::string::npos) {
        const std::size_t head = findNoCase(out, "<head>");
        if (head == std::string::npos)
            return out;
        firstMeta = head + 6;
    }
    out.insert(firstMeta, element);
    return out;
}

Response applyFault(const Fault& fault, const RecordedRequest& request, Response normal)
{
    switch (fault.kind) {
    case FaultKind::Latency:
        normal.delayMs += std::max(0, fault.delayMs);
        return normal;
    case FaultKind::ServerError: {
        Response r = smallPage(fault.status, std::to_string(fault.status) + " Service Unavailable");
        if (!fault.retryAfter.empty())
            r.headers.emplace_back("Retry-After", fault.retryAfter);
        return r;
    }
    case FaultKind::Reset: {
        Response r;
        r.resetConnection = true;
        return r;
    }
    case FaultKind::Truncate: {
        const long long size = static_cast<long long>(normal.body.size());
        normal.truncateAfter = fault.bytes >= 0 ? std::min(fault.bytes, size) : size / 2;
        normal.closeAfter = true;
        return normal;
    }
    case FaultKind::EmptyPage:
        normal.status = 200;
        normal.body.clear();
        normal.fillerBytes = 0;
        return normal;
    case FaultKind::Charset: {
        const std::string name = fault.metaName.empty() ? encodingName(fault.encoding) : fault.metaName;
        normal.body = encodeBody(rewriteMetaCharset(normal.body, fault.meta, name), fault.encoding, fault.byteOrderMark);
        std::string type = headerOf(normal, "Content-Type");
        type = type.substr(0, type.find(';'));
        if (type.empty())
            type = "text/html";
        setHeader(normal, "Content-Type", fault.headerCharset.empty() ? type : type + "; charset=" + fault.headerCharset);
        return normal;
    }
    case FaultKind::RedirectLoop: {
        Response r = smallPage(302, "Found");
        r.headers.emplace_back("Location", request.target);
        return r;
    }
    case FaultKind::HugePage:
        normal.fillerBytes = fault.bytes >= 0 ? fault.bytes : 50LL * 1024 * 1024;
        return normal;
    case FaultKind::RefuseJson: {
        Response r;
        r.headers.emplace_back("Content-Type", "application/json;charset=UTF-8");
        r.body = pages::refusalJson(request.host);
        return r;
    }
    case FaultKind::RefusePunish: {
        Response r = smallPage(302, "Found");
        r.headers.emplace_back("Location", std::string(kPunishPath) +
                                               "?x5secdata=c2VjdXJpdHk%3D&x5step=1&uuid=1&action=captcha&pureCaptcha=");
        return r;
    }
    case FaultKind::RefuseFeedWait: {
        Response r;
        r.headers.emplace_back("Content-Type", "text/html;charset=GBK");
        r.body = pages::feedWaitAnswer(fault.waitSeconds);
        return r;
    }
    }
    return normal;
}

} // namespace quillet::testmarket
