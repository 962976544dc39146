#include "web/WebClient.h"

#include "web/CharsetDetection.h"
#include "web/Request.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quillet::web {

namespace {

const char* const kDefaultUserAgent = "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)";
const char* const kDefaultContentType = "application/x-www-form-urlencoded";
const char* const kProbeUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)";
const char* const kProbeAccept = "image/gif, image/x-xbitmap, image/jpeg, imagepeg, application/x-shockwave-flash, "
                                 "application/x-silverlight, */*";

std::string_view trimBlanks(std::string_view s)
{
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool startsWithHttpIgnoringCase(std::string_view url)
{
    static const char prefix[] = "http://";
    if (url.size() < 7)
        return false;
    for (size_t i = 0; i < 7; ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

std::vector<GbkText> splitAt(const GbkText& text, const GbkText& separator)
{
    std::vector<GbkText> parts;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(separator, from);
        if (at == GbkText::npos) {
            parts.push_back(text.substr(from));
            return parts;
        }
        parts.push_back(text.substr(from, at - from));
        from = at + separator.size();
    }
}

GbkText replaceAllExact(GbkText text, const GbkText& what, const GbkText& with)
{
    size_t at = 0;
    while ((at = text.find(what, at)) != GbkText::npos) {
        text.replace(at, what.size(), with);
        at += with.size();
    }
    return text;
}

// The HTTP proxy the system is configured with: on this platform the http_proxy environment
// setting (as browsers and command-line tools read it); empty when none.
GbkText systemProxy()
{
    for (const char* name : {"http_proxy", "HTTP_PROXY"}) {
        if (const char* value = std::getenv(name); value && *value)
            return value;
    }
    return {};
}

// The charset code a Content-Type names for responseText (0 when none is recognised).
int charsetCodeOf(const std::string& charset)
{
    if (charset.empty())
        return CharsetDetect;
    if (isGbkFamily(charset))
        return CharsetGbk;
    if (charset == "utf-8" || charset == "utf8")
        return CharsetUtf8;
    if (charset == "utf-16le" || charset == "utf-16")
        return CharsetUtf16Le;
    if (charset == "utf-16be")
        return CharsetUtf16Be;
    if (charset == "big5-hkscs")
        return CharsetBig5Hkscs;
    if (charset == "big5" || charset == "cp950" || charset == "x-big5")
        return CharsetBig5;
    return CharsetDetect;
}

} // namespace

// --- Construction and the request object ----------------------------------------------------

WebClient::WebClient() { createRequestObject(); }
WebClient::~WebClient() = default;
WebClient::WebClient(const WebClient& other) = default;
WebClient& WebClient::operator=(const WebClient& other) = default;
WebClient::WebClient(WebClient&& other) noexcept = default;
WebClient& WebClient::operator=(WebClient&& other) noexcept = default;

void WebClient::createRequestObject()
{
    m_pending = {};
    auto request = std::make_shared<Request>();
    m_request = request->valid() ? std::move(request) : nullptr;
}

void WebClient::recreateRequestObject()
{
    m_request.reset();
    createRequestObject();
}

std::shared_ptr<Request> WebClient::requestObject() const { return m_request; }

void WebClient::open(const GbkText& method, const GbkText& url, bool async) { openAddress(method, url, async); }

void WebClient::openAddress(std::string_view method, std::string_view url, bool async)
{
    if (!m_request)
        return;
    m_pending.active = false; // a request started by startText is replaced
    if (startsWithHttpIgnoringCase(url)) {
        m_request->open(method, url, async);
        return;
    }
    GbkText address;
    address.reserve(7 + url.size());
    address += "http://";
    address += url;
    m_request->open(method, address, async);
}

OptionValue WebClient::option(int index, const OptionValue& value)
{
    return m_request ? m_request->option(index, value) : OptionValue{};
}

void WebClient::setProxy(int setting, const GbkText& server, const GbkText& bypassList)
{
    if (m_request)
        m_request->setProxy(setting, server, bypassList);
}

void WebClient::setCredentials(const GbkText& userName, const GbkText& password, int flags)
{
    if (m_request)
        m_request->setCredentials(userName, password, flags);
}

void WebClient::setRequestHeader(const GbkText& name, const GbkText& value)
{
    if (m_request)
        (void)m_request->setRequestHeader(name, value);
}

void WebClient::setTimeouts(long long resolveMs, long long connectMs, long long sendMs, long long receiveMs)
{
    if (!m_request)
        return;
    Timeouts t;
    t.resolveMs = resolveMs;
    t.connectMs = connectMs < 1 ? resolveMs : connectMs;
    t.sendMs = sendMs < 1 ? resolveMs : sendMs;
    t.receiveMs = receiveMs < 1 ? resolveMs : receiveMs;
    m_request->setTimeouts(t);
}

Timeouts WebClient::timeouts() const { return m_request ? m_request->timeouts() : Timeouts{}; }

void WebClient::setClientCertificate(const GbkText& certificate)
{
    if (m_request)
        m_request->setClientCertificate(certificate);
}

void WebClient::setAutoLogonPolicy(int policy)
{
    if (m_request)
        m_request->setAutoLogonPolicy(policy);
}

void WebClient::send(const GbkText& bodyText, const Bytes& bodyBytes)
{
    if (!m_request)
        return;
    // Keep the object alive while the request runs, whatever happens to this client meanwhile.
    const std::shared_ptr<Request> request = m_request;
    if (!bodyBytes.empty())
        request->send(&bodyBytes);
    else if (!bodyText.empty())
        request->send(&bodyText);
    else
        request->send(nullptr);
}

bool WebClient::waitForResponse(long long seconds)
{
    if (!m_request)
        return false;
    const std::shared_ptr<Request> request = m_request;
    return request->waitForResponse(seconds);
}

void WebClient::abort()
{
    if (m_request)
        m_request->abort();
}

// --- The last response -----------------------------------------------------------------------

long WebClient::status() const { return m_request ? m_request->status() : 0; }

GbkText WebClient::statusText() const { return m_request ? m_request->statusText() : GbkText(); }

GbkText WebClient::responseText() const
{
    if (!m_request)
        return {};
    const Bytes& body = m_request->body();
    const std::string charset = declaredCharset(m_request->headerView("Content-Type"));
    const int code = charsetCodeOf(charset);
    if (code == CharsetGbk)
        return body;
    int detected = 0;
    return web::decodeToGbk(body, code, detected, false);
}

Bytes WebClient::responseBody() const { return m_request ? m_request->body() : Bytes(); }

Bytes WebClient::responseStream() const { return responseBody(); }

GbkText WebClient::getResponseHeader(const GbkText& name) const
{
    return m_request ? m_request->header(name) : GbkText();
}

GbkText WebClient::getAllResponseHeaders() const { return m_request ? m_request->allHeaders() : GbkText(); }

FetchOutcome WebClient::lastOutcome() const
{
    if (!m_request) {
        FetchOutcome outcome;
        outcome.error = TransportError::NotSent;
        return outcome;
    }
    return m_request->outcome();
}

// --- Page fetches ----------------------------------------------------------------------------

bool WebClient::fetch(const GbkText& url, const GbkText& postText, TimeoutRule rule, long long timeoutMs,
                      long long waitSeconds, const GbkText& proxy, bool synchronous, const Bytes& postBytes,
                      const GbkText& referer, GbkText* cookie, bool keepResponseCookies,
                      const GbkText& contentType, const GbkText& userAgent, const GbkText& extraHeaders)
{
    if (!m_request)
        return false;
    beginFetch(url, postText, rule, timeoutMs, proxy, synchronous, postBytes, referer, cookie, contentType, userAgent,
               extraHeaders);
    return endFetch(synchronous, waitSeconds, keepResponseCookies);
}

void WebClient::beginFetch(const GbkText& url, const GbkText& postText, TimeoutRule rule, long long timeoutMs,
                           const GbkText& proxy, bool synchronous, const Bytes& postBytes, const GbkText& referer,
                           GbkText* cookie, const GbkText& contentType, const GbkText& userAgent,
                           const GbkText& extraHeaders)
{
    const std::string_view method = (!postText.empty() || !postBytes.empty()) ? "POST" : "GET";
    const std::string_view address = trimBlanks(url);
    openAddress(method, address, !synchronous);
    Request& request = *m_request;
    (void)request.setRequestHeader("Referer", referer.empty() ? address : std::string_view(referer));
    (void)request.setRequestHeader("Content-Type",
                                   contentType.empty() ? std::string_view(kDefaultContentType) : std::string_view(contentType));
    (void)request.setRequestHeader("User-Agent",
                                   userAgent.empty() ? std::string_view(kDefaultUserAgent) : std::string_view(userAgent));

    if (!extraHeaders.empty()) {
        for (const GbkText& line : splitAt(extraHeaders, "\r\n")) {
            const std::vector<GbkText> pieces = splitAt(line, ": ");
            if (pieces.size() < 2 || pieces[0].empty() || pieces[1].empty())
                continue;
            setRequestHeader(pieces[0], pieces[1]);
        }
    }

    std::string_view sentCookie = cookie ? std::string_view(*cookie) : std::string_view();
    if (sentCookie.empty() && !m_storedCookie.empty()) {
        sentCookie = m_storedCookie;
        if (cookie)
            *cookie = m_storedCookie;
    }
    if (sentCookie == "-1")
        (void)request.setRequestHeader("Cookie", "");
    else if (!sentCookie.empty())
        (void)request.setRequestHeader("Cookie", sentCookie);

    if (rule == TimeoutRule::Standard)
        setTimeouts(10000, 10000, 60000, 120000);
    else if (rule == TimeoutRule::Uniform)
        setTimeouts(timeoutMs, timeoutMs, timeoutMs, timeoutMs);

    if (proxy != "-1") {
        const GbkText server = proxy == "IE" ? systemProxy() : proxy;
        if (!server.empty())
            setProxy(2, server, {});
        else
            setProxy(0, {}, {});
    }

    send(postText, postBytes);
}

bool WebClient::endFetch(bool synchronous, long long waitSeconds, bool keepResponseCookies)
{
    if (!m_request)
        return false;
    const std::shared_ptr<Request> request = m_request;
    // A wait that runs out ends the request: its answer could no longer be used, and it
    // would otherwise hold its connection.
    if (!synchronous && !waitForResponse(waitSeconds))
        request->timeOut();

    if (keepResponseCookies)
        m_storedCookie = responseCookies();

    // An error answer (a missing page, an overloaded server) is not the page asked for.
    return request->completed() && request->status() < 400;
}

WebClient::TextTimeout WebClient::textTimeout(double timeoutSeconds)
{
    if (std::isnan(timeoutSeconds))
        timeoutSeconds = 0;
    // Beyond about 30 years every limit is as good as none; the cap keeps the arithmetic sound.
    timeoutSeconds = std::min(timeoutSeconds, 1e9);
    TextTimeout t;
    if (std::fabs(timeoutSeconds + 1.0) <= 1e-7)
        t.rule = TimeoutRule::Keep;
    else if (timeoutSeconds < 1.0 - 1e-7)
        t.rule = TimeoutRule::Standard;
    else
        t.timeoutMs = static_cast<long long>(timeoutSeconds * 1000.0);
    // The wait is counted in whole seconds.
    t.waitSeconds = timeoutSeconds < 1 ? 120 : static_cast<long long>(timeoutSeconds);
    return t;
}

GbkText WebClient::fetchText(const GbkText& url, const GbkText& postText, int charsetCode, double timeoutSeconds,
                             const GbkText& proxy, bool synchronous, const Bytes& postBytes, const GbkText& referer,
                             GbkText* cookie, bool keepResponseCookies, const GbkText& contentType,
                             const GbkText& userAgent, const GbkText& extraHeaders)
{
    const TextTimeout t = textTimeout(timeoutSeconds);
    if (!fetch(url, postText, t.rule, t.timeoutMs, t.waitSeconds, proxy, synchronous, postBytes, referer,
               cookie, keepResponseCookies, contentType, userAgent, extraHeaders))
        return {};
    return bodyAsText(charsetCode);
}

void WebClient::startText(const GbkText& url, int charsetCode, double timeoutSeconds, const GbkText& proxy)
{
    m_pending.active = false;
    if (!m_request)
        return;
    const TextTimeout t = textTimeout(timeoutSeconds);
    beginFetch(url, {}, t.rule, t.timeoutMs, proxy, false, {}, {}, nullptr, {}, {}, {});
    m_pending.active = true;
    m_pending.url.assign(url);
    m_pending.charsetCode = charsetCode;
    m_pending.waitSeconds = t.waitSeconds;
}

GbkText WebClient::finishText()
{
    if (!m_pending.active)
        return {};
    m_pending.active = false;
    const int charsetCode = m_pending.charsetCode;
    if (!endFetch(false, m_pending.waitSeconds, false))
        return {};
    return bodyAsText(charsetCode);
}

GbkText WebClient::fetchOrFinishText(const GbkText& url, int charsetCode, double timeoutSeconds, const GbkText& proxy)
{
    if (m_pending.active && m_pending.url == url)
        return finishText();
    return fetchText(url, {}, charsetCode, timeoutSeconds, proxy);
}

void WebClient::dropStartedText()
{
    if (!m_pending.active)
        return;
    m_pending = {};
    abort();
}

GbkText WebClient::bodyAsText(int charsetCode)
{
    if (charsetCode == CharsetRawText)
        return responseText();
    // A large body is handed over rather than copied; lastOutcome() tells the same either way.
    if (charsetCode == CharsetRawBytes)
        return m_request->takeBody();
    const bool gbkDeclared = isGbkFamily(declaredCharset(m_request->headerView("Content-Type")));
    int detected = 0;
    return web::decodeToGbk(m_request->takeBody(), charsetCode, detected, gbkDeclared);
}

Bytes WebClient::fetchBytes(const GbkText& url, const GbkText& postText, long long timeoutSeconds,
                            const GbkText& proxy, bool synchronous, const Bytes& postBytes, const GbkText& referer,
                            GbkText* cookie, bool keepResponseCookies, const GbkText& contentType,
                            const GbkText& userAgent, const GbkText& extraHeaders)
{
    TimeoutRule rule = TimeoutRule::Uniform;
    long long timeoutMs = 0;
    if (timeoutSeconds == -1)
        rule = TimeoutRule::Keep;
    else if (timeoutSeconds < 1)
        rule = TimeoutRule::Standard;
    else
        timeoutMs = std::min<long long>(timeoutSeconds, 1000000000LL) * 1000;
    const long long waitSeconds = timeoutSeconds < 1 ? 120 : timeoutSeconds;

    if (!fetch(url, postText, rule, timeoutMs, waitSeconds, proxy, synchronous, postBytes, referer, cookie,
               keepResponseCookies, contentType, userAgent, extraHeaders))
        return {};
    return m_request->takeBody();
}

GbkText WebClient::redirectTarget(const GbkText& url, bool synchronous, const GbkText& referer)
{
    if (!m_request)
        return {};
    option(OptionEnableRedirects, 0LL);
    setTimeouts(5000, 5000, 10000, 5000);
    open("GET", url, !synchronous);
    setRequestHeader("User-Agent", kProbeUserAgent);
    setRequestHeader("Accept-Language", "zh-cn");
    setRequestHeader("Connection", "Keep-Alive");
    setRequestHeader("Accept", kProbeAccept);
    setRequestHeader("Referer", referer.empty() ? GbkText(trimBlanks(url)) : referer);
    send();
    if (!synchronous)
        waitForResponse(25);
    return getResponseHeader("Location");
}

GbkText WebClient::quickRedirectTarget(const GbkText& url)
{
    if (!m_request)
        return {};
    option(OptionEnableRedirects, 0LL);
    setTimeouts(5000, 5000, 10000, 5000);
    m_pending = {};
    m_request->open("GET", url, false); // the address exactly as given
    setRequestHeader("User-Agent", kProbeUserAgent);
    setRequestHeader("Accept-Language", "zh-cn");
    setRequestHeader("Connection", "Keep-Alive");
    setRequestHeader("Accept", kProbeAccept);
    send();
    return getResponseHeader("Location");
}

// --- Cookies ---------------------------------------------------------------------------------

GbkText WebClient::responseSetCookieLines() const
{
    GbkText lines;
    for (const GbkText& line : splitAt(getAllResponseHeaders(), "\r\n")) {
        if (line.rfind("Set-Cookie:", 0) == 0) {
            lines += line;
            lines += "\r\n";
        }
    }
    return lines;
}

GbkText WebClient::responseCookies() const
{
    return replaceAllExact(replaceAllExact(responseSetCookieLines(), "Set-Cookie: ", ""), "\r\n", "; ");
}

GbkText WebClient::responseCookie(const GbkText& name) const
{
    const GbkText headers = getAllResponseHeaders();
    // The value runs to the next ";" of its own header line; a value not ended by ";" on its
    // line gives nothing (rather than running on into the following headers).
    for (const GbkText& prefix : {GbkText("Set-Cookie: "), GbkText("Set-Cookie:")}) {
        const GbkText marker = prefix + name + "=";
        const size_t at = headers.find(marker);
        if (at == GbkText::npos)
            continue;
        const size_t start = at + marker.size();
        const size_t semicolon = headers.find(';', start);
        const size_t lineEnd = headers.find_first_of("\r\n", start);
        if (semicolon == GbkText::npos || (lineEnd != GbkText::npos && lineEnd < semicolon))
            continue;
        GbkText value = headers.substr(start, semicolon - start);
        if (!value.empty())
            return value;
    }
    return {};
}

void WebClient::clearCookies() { m_storedCookie.clear(); }

void WebClient::resetSession()
{
    recreateRequestObject();
    clearCookies();
}

GbkText WebClient::decodeToGbk(const Bytes& body, int requested, int& detected)
{
    return web::decodeToGbk(body, requested, detected, false);
}

GbkText WebClient::decodeToGbk(const Bytes& body, int requested)
{
    int detected = 0;
    return web::decodeToGbk(body, requested, detected, false);
}

} // namespace quillet::web
