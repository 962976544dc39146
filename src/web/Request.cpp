#include "web/Request.h"

#include "text/Charset.h"
#include "text/EventPump.h"
#include "web/Endpoints.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <tuple>
#include <utility>

namespace quillet::web {

namespace {

void initialiseLibcurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The share handle of the calling thread: connections, name lookups and TLS sessions are kept
// between that thread's request objects, so a fresh WebClient per product still reuses the
// open connection. One per thread, because libcurl does not share connections between threads
// that run at the same time. Request objects keep a reference, so the handle outlives the
// thread's own reference when they do.
std::shared_ptr<CURLSH> threadShare()
{
    thread_local std::shared_ptr<CURLSH> share;
    if (!share) {
        if (CURLSH* created = curl_share_init()) {
            curl_share_setopt(created, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
            curl_share_setopt(created, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
            curl_share_setopt(created, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
            share = std::shared_ptr<CURLSH>(created, [](CURLSH* h) { curl_share_cleanup(h); });
        }
    }
    return share;
}

// The multi handle of the calling thread. Request objects keep a reference, so the handle
// outlives the thread's own reference when they do.
std::shared_ptr<CURLM> threadMulti()
{
    thread_local std::shared_ptr<CURLM> multi;
    if (!multi) {
        if (CURLM* created = curl_multi_init())
            multi = std::shared_ptr<CURLM>(created, [](CURLM* m) { curl_multi_cleanup(m); });
    }
    return multi;
}

// Easy handles that request objects of this thread left behind, for the next ones to reuse:
// a new handle allocates its buffers and caches anew, a reused one keeps them.
constexpr std::size_t kSpareHandles = 4;

std::vector<CurlEasy>& spareHandles()
{
    thread_local std::vector<CurlEasy> spare;
    return spare;
}

CurlEasy takeHandle()
{
    std::vector<CurlEasy>& spare = spareHandles();
    if (spare.empty())
        return CurlEasy(curl_easy_init());
    CurlEasy handle = std::move(spare.back());
    spare.pop_back();
    return handle;
}

bool hasLineBreakOrNul(std::string_view s)
{
    return std::memchr(s.data(), '\n', s.size()) || std::memchr(s.data(), '\r', s.size())
        || std::memchr(s.data(), '\0', s.size());
}

// A method or header name: visible ASCII without colon or blank.
bool isToken(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F || c == ':')
            return false;
    }
    return true;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// The value of a header line ("Name: value", blanks after the colon skipped) when the line's
// name is `name` in any letter case.
bool headerValueIf(std::string_view line, std::string_view name, std::string_view& value)
{
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !equalsIgnoreCase(line.substr(0, colon), name))
        return false;
    size_t start = colon + 1;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
        ++start;
    value = line.substr(start);
    return true;
}

// The address as it goes on the wire, written into `out`: surrounding blanks dropped,
// non-ASCII text (GBK) is sent as percent-escaped UTF-8, and blanks and control bytes are escaped.
void wireUrl(std::string_view url, std::string& out)
{
    const size_t first = url.find_first_not_of(" \t");
    const size_t last = url.find_last_not_of(" \t");
    url = first == std::string_view::npos ? std::string_view() : url.substr(first, last - first + 1);
    auto plain = [](char c) { return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F; };
    if (std::all_of(url.begin(), url.end(), plain)) {
        out.assign(url); // the usual address: nothing to escape
        return;
    }
    const bool ascii = std::all_of(url.begin(), url.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::string converted;
    if (!ascii) {
        converted = text::gbkToUtf8(url);
        url = converted;
    }
    static const char hex[] = "0123456789ABCDEF";
    out.clear();
    out.reserve(url.size());
    for (char c : url) {
        const auto b = static_cast<unsigned char>(c);
        if (!plain(c)) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0x0F];
        } else {
            out += c;
        }
    }
}

long long toInteger(const OptionValue& value)
{
    if (const auto* number = std::get_if<long long>(&value))
        return *number;
    if (const auto* textValue = std::get_if<std::string>(&value))
        return std::strtoll(textValue->c_str(), nullptr, 10);
    return 0;
}

TransportError transportErrorOf(int curlCode)
{
    switch (curlCode) {
    case CURLE_OK:
        return TransportError::None;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_FAILED_INIT:
    case CURLE_BAD_FUNCTION_ARGUMENT:
        return TransportError::NotSent;
    case CURLE_OPERATION_TIMEDOUT:
        return TransportError::TimedOut;
    case CURLE_COULDNT_CONNECT:
        return TransportError::ConnectFailed;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return TransportError::NameNotFound;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return TransportError::Reset;
    case CURLE_PARTIAL_FILE:
        return TransportError::Truncated;
    case CURLE_FILESIZE_EXCEEDED:
        return TransportError::TooBig;
    case CURLE_TOO_MANY_REDIRECTS:
        return TransportError::TooManyRedirects;
    case CURLE_ABORTED_BY_CALLBACK:
        return TransportError::Aborted;
    default:
        return TransportError::Other;
    }
}

// A phase limit in milliseconds as libcurl gets it: 0 for none, and at most about 11 days
// (longer limits are no limits in practice, and the sums below must not overflow).
constexpr long long kLongestMs = 1000000000LL;
long long positive(long long ms) { return ms > 0 ? std::min(ms, kLongestMs) : 0; }

} // namespace

Request::Request()
{
    initialiseLibcurl();
    m_share = threadShare();
    m_easy = takeHandle();
    m_multi = threadMulti();
}

Request::~Request()
{
    if (m_state == State::Sending && valid())
        curl_multi_remove_handle(m_multi.get(), m_easy.get());
    if (!m_easy)
        return;
    // Nothing of this object, nor this thread's share, may be reached through the handle once
    // it is gone (the next owner may live on another thread).
    curl_easy_setopt(m_easy.get(), CURLOPT_SHARE, nullptr);
    curl_easy_reset(m_easy.get());
    std::vector<CurlEasy>& spare = spareHandles();
    if (spare.size() < kSpareHandles)
        spare.push_back(std::move(m_easy));
}

void Request::clearResponse()
{
    m_succeeded = false;
    m_lastError = 0;
    m_status = 0;
    m_statusLine.clear();
    m_headerBlock.clear();
    m_headerLines.clear();
    m_body.clear();
    m_effectiveUrl.clear();
    m_outcome.reset();
}

void Request::open(std::string_view method, std::string_view url, bool async)
{
    if (!valid())
        return;
    if (m_state == State::Sending)
        curl_multi_remove_handle(m_multi.get(), m_easy.get());
    ++m_generation;
    clearResponse();
    m_requestHeaderCount = 0;
    m_requestBody.clear();
    m_hasBody = false;
    m_method.assign(method.empty() ? std::string_view("GET") : method);
    m_async = async;
    const bool tooLong = url.size() > kMaxAddressBytes;
    if (tooLong)
        m_url.clear();
    else
        wireUrl(url, m_url);
    m_refused = tooLong || !isToken(m_method) || hasLineBreakOrNul(url) || m_url.empty();
    if (m_refused)
        m_url.clear();
    m_state = State::Opened;
}

OptionValue Request::option(int index, const OptionValue& value)
{
    const bool writing = !std::holds_alternative<std::monostate>(value);
    switch (index) {
    case OptionUserAgent:
        if (writing) {
            if (const auto* textValue = std::get_if<std::string>(&value); textValue && !hasLineBreakOrNul(*textValue))
                m_userAgent = *textValue;
        }
        return m_userAgent;
    case OptionUrl:
        return completed() && !m_effectiveUrl.empty() ? m_effectiveUrl : m_url;
    case OptionEnableRedirects:
        if (writing)
            m_followRedirects = toInteger(value) != 0;
        return static_cast<long long>(m_followRedirects ? 1 : 0);
    case OptionMaxRedirects:
        if (writing)
            m_maxRedirects = static_cast<long>(std::clamp<long long>(toInteger(value), 0, kMaxRedirects));
        return static_cast<long long>(m_maxRedirects);
    default:
        if (writing)
            m_otherOptions[index] = value;
        if (auto it = m_otherOptions.find(index); it != m_otherOptions.end())
            return it->second;
        return std::monostate{};
    }
}

void Request::setProxy(int setting, const std::string& server, const std::string& bypassList)
{
    if (setting == 2 && !server.empty()) {
        m_proxy = server;
        m_noProxy = bypassList;
    } else {
        m_proxy.clear();
        m_noProxy.clear();
    }
}

void Request::setCredentials(const std::string& userName, const std::string& password, int flags)
{
    m_userName = userName;
    m_password = password;
    m_proxyCredentials = flags == 1;
}

bool Request::setRequestHeader(std::string_view name, std::string_view value)
{
    if (!isToken(name) || hasLineBreakOrNul(value))
        return false;
    for (size_t i = 0; i < m_requestHeaderCount; ++i) {
        if (equalsIgnoreCase(m_requestHeaders[i].first, name)) {
            m_requestHeaders[i].second.assign(value);
            return true;
        }
    }
    if (m_requestHeaderCount == m_requestHeaders.size())
        m_requestHeaders.emplace_back();
    auto& slot = m_requestHeaders[m_requestHeaderCount++];
    slot.first.assign(name);
    slot.second.assign(value);
    return true;
}

void Request::setClientCertificate(const std::string& certificate) { m_clientCertificate = certificate; }

bool Request::configure()
{
    CURL* easy = m_easy.get();

    if (hasLineBreakOrNul(m_proxy) || hasLineBreakOrNul(m_noProxy) || hasLineBreakOrNul(m_userName)
        || hasLineBreakOrNul(m_password))
        return false;

    const bool userAgentHeader = buildHeaderList();

    // The connect-to map redirects direct connections only: through a proxy, the proxy is
    // what is connected to (and libcurl would otherwise tunnel through it).
    // The list handed to libcurl is rebuilt only when the entries change.
    const std::uint64_t version = connectToVersion();
    const bool direct = m_proxy.empty();
    if (!m_connectToKnown || version != m_connectToVersion || direct != m_connectToDirect) {
        std::vector<std::string> entries = direct ? connectTo() : std::vector<std::string>();
        if (entries != m_connectToEntries || (!entries.empty() && !m_connectToList.get())) {
            m_connectToKnown = false;
            m_connectToList.clear();
            m_connectToEntries.clear();
            for (const std::string& entry : entries)
                if (!m_connectToList.append(entry))
                    return false;
            m_connectToEntries = std::move(entries);
        }
        m_connectToKnown = true;
        m_connectToVersion = version;
        m_connectToDirect = direct;
    }

    const long long connectPhase = positive(m_timeouts.resolveMs) + positive(m_timeouts.connectMs);
    const bool bounded = m_timeouts.connectMs > 0 && m_timeouts.sendMs > 0 && m_timeouts.receiveMs > 0;
    const long long overall =
        bounded ? connectPhase + positive(m_timeouts.sendMs) + positive(m_timeouts.receiveMs) : 0;

    bool ok = true;
    auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    // What never changes is set once per handle and object; the rest is set for every request
    // (or, for the session options, whenever they change), each option to its value or back to
    // libcurl's default, so nothing of an earlier request carries over.
    if (!m_handleConfigured) {
        // The handle is new, or was reset when its previous owner let it go.
        m_applied.valid = false;
        if (m_share)
            set(curl_easy_setopt(easy, CURLOPT_SHARE, m_share.get()));
        set(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
        set(curl_easy_setopt(easy, CURLOPT_PRIVATE, static_cast<void*>(this)));
        set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"));
        set(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
        set(curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)));
        set(curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L));
        set(curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Request::onBody));
        set(curl_easy_setopt(easy, CURLOPT_WRITEDATA, this));
        set(curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Request::onHeader));
        set(curl_easy_setopt(easy, CURLOPT_HEADERDATA, this));
        set(curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Request::onConnected));
        set(curl_easy_setopt(easy, CURLOPT_PREREQDATA, this));
        if (!ok)
            return false;
        m_handleConfigured = true;
    }
    set(curl_easy_setopt(easy, CURLOPT_URL, m_url.c_str()));
    set(curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headerNodes.empty() ? nullptr : m_headerNodes.data()));
    set(curl_easy_setopt(easy, CURLOPT_CONNECT_TO, m_connectToList.get()));
    if (!ok || !applySessionOptions(userAgentHeader, connectPhase, overall))
        return false;

    // Back to a plain GET first, then the method of this request.
    set(curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr));
    set(curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L));
    if (m_method == "HEAD") {
        set(curl_easy_setopt(easy, CURLOPT_NOBODY, 1L));
    } else if (m_method == "GET" && !m_hasBody) {
        // the plain GET set above
    } else if (m_method == "POST") {
        set(curl_easy_setopt(easy, CURLOPT_POST, 1L));
        set(curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_requestBody.size())));
        set(curl_easy_setopt(easy, CURLOPT_POSTFIELDS, m_requestBody.data()));
    } else {
        set(curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, m_method.c_str()));
        if (m_hasBody) {
            set(curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_requestBody.size())));
            set(curl_easy_setopt(easy, CURLOPT_POSTFIELDS, m_requestBody.data()));
        }
    }
    return ok;
}

bool Request::applySessionOptions(bool userAgentHeader, long long connectPhase, long long overall)
{
    // These usually stay the same from request to request: they are handed to libcurl again
    // only when one of them changed (libcurl copies each text it is given). `wanted` holds them
    // as they are now, `applied` as last handed over.
    const auto wanted = std::tie(m_followRedirects, m_maxRedirects, userAgentHeader, connectPhase, overall,
                                 m_proxyCredentials, m_proxy, m_noProxy, m_userAgent, m_userName, m_password,
                                 m_clientCertificate);
    auto applied = std::tie(m_applied.followRedirects, m_applied.maxRedirects, m_applied.userAgentHeader,
                            m_applied.connectPhase, m_applied.overall, m_applied.proxyCredentials, m_applied.proxy,
                            m_applied.noProxy, m_applied.userAgent, m_applied.userName, m_applied.password,
                            m_applied.clientCertificate);
    if (m_applied.valid && applied == wanted)
        return true;
    m_applied.valid = false;
    CURL* easy = m_easy.get();
    bool ok = true;
    auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, m_followRedirects ? 1L : 0L));
    set(curl_easy_setopt(easy, CURLOPT_MAXREDIRS, m_maxRedirects));
    // An empty proxy means a direct connection, whatever the environment says.
    set(curl_easy_setopt(easy, CURLOPT_PROXY, m_proxy.c_str()));
    set(curl_easy_setopt(easy, CURLOPT_NOPROXY, m_noProxy.c_str()));
    // A User-Agent request header replaces libcurl's own, which then need not be made at all.
    set(curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgentHeader ? nullptr : m_userAgent.c_str()));
    set(curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectPhase)));
    set(curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(overall)));
    const bool credentials = !m_userName.empty() || !m_password.empty();
    const bool proxyCredentials = credentials && m_proxyCredentials;
    const bool hostCredentials = credentials && !m_proxyCredentials;
    set(curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxyCredentials ? m_userName.c_str() : nullptr));
    set(curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxyCredentials ? m_password.c_str() : nullptr));
    set(curl_easy_setopt(easy, CURLOPT_PROXYAUTH, proxyCredentials ? CURLAUTH_ANY : CURLAUTH_BASIC));
    set(curl_easy_setopt(easy, CURLOPT_USERNAME, hostCredentials ? m_userName.c_str() : nullptr));
    set(curl_easy_setopt(easy, CURLOPT_PASSWORD, hostCredentials ? m_password.c_str() : nullptr));
    set(curl_easy_setopt(easy, CURLOPT_HTTPAUTH, hostCredentials ? CURLAUTH_ANY : CURLAUTH_BASIC));
    set(curl_easy_setopt(easy, CURLOPT_SSLCERT, m_clientCertificate.empty() ? nullptr : m_clientCertificate.c_str()));
    if (!ok)
        return false;
    applied = wanted;
    m_applied.valid = true;
    return true;
}

bool Request::buildHeaderList()
{
    m_headerText.clear();
    bool expectSet = false;
    bool userAgentSet = false;
    std::size_t lines = 0;
    for (size_t i = 0; i < m_requestHeaderCount; ++i) {
        const auto& [name, value] = m_requestHeaders[i];
        // A header with no value is not sent (libcurl drops its own header of that name too).
        m_headerText += name;
        m_headerText += value.empty() ? ":" : ": ";
        m_headerText += value;
        m_headerText += '\0';
        ++lines;
        expectSet = expectSet || equalsIgnoreCase(name, "Expect");
        userAgentSet = userAgentSet || equalsIgnoreCase(name, "User-Agent");
    }
    // No "Expect: 100-continue" round trip before a body.
    if (!expectSet) {
        m_headerText.append("Expect:", 8); // with its NUL
        ++lines;
    }
    // The text is complete (it moves no more): the nodes can point into it.
    m_headerNodes.resize(lines);
    char* at = m_headerText.data();
    for (std::size_t i = 0; i < lines; ++i) {
        m_headerNodes[i].data = at;
        m_headerNodes[i].next = i + 1 < lines ? &m_headerNodes[i + 1] : nullptr;
        at += std::char_traits<char>::length(at) + 1;
    }
    return userAgentSet;
}

void Request::send(const std::string* body)
{
    if (!valid() || m_state == State::Idle)
        return;
    if (m_state == State::Sending)
        curl_multi_remove_handle(m_multi.get(), m_easy.get());
    ++m_generation;
    clearResponse();
    m_hasBody = body != nullptr;
    m_requestBody = body ? *body : std::string();
    if (m_refused || !configure()) {
        m_state = State::Done;
        m_lastError = CURLE_URL_MALFORMAT;
        return;
    }
    start();
    if (m_state != State::Sending)
        return;
    if (m_async) {
        int running = 0;
        curl_multi_perform(m_multi.get(), &running);
        collectFinished();
    } else {
        drive(false, nullptr);
    }
}

void Request::start()
{
    m_connected = false;
    m_received = 0;
    m_activityCount = 0;
    m_tooLarge = false;
    m_lastActivity = Clock::now();
    m_state = State::Sending;
    if (curl_multi_add_handle(m_multi.get(), m_easy.get()) != CURLM_OK) {
        m_state = State::Done;
        m_lastError = CURLE_FAILED_INIT;
    }
}

long long Request::stallRemainingMs(Clock::time_point now)
{
    if (!m_connected)
        return -1; // the connect phase is bounded by libcurl itself
    curl_off_t uploaded = 0;
    curl_easy_getinfo(m_easy.get(), CURLINFO_SIZE_UPLOAD_T, &uploaded);
    const std::int64_t activity = m_received + static_cast<std::int64_t>(uploaded);
    if (activity != m_activityCount) {
        m_activityCount = activity;
        m_lastActivity = now;
    }
    const bool sending = m_hasBody && uploaded < static_cast<curl_off_t>(m_requestBody.size());
    const long long limit = positive(sending ? m_timeouts.sendMs : m_timeouts.receiveMs);
    if (limit <= 0)
        return -1;
    const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_lastActivity).count();
    return std::max<long long>(0, limit - idle);
}

bool Request::drive(bool pumpEvents, const Clock::time_point* deadline)
{
    const std::uint64_t generation = m_generation;
    while (m_state == State::Sending) {
        int running = 0;
        curl_multi_perform(m_multi.get(), &running);
        collectFinished();
        if (m_state != State::Sending)
            break;
        const Clock::time_point now = Clock::now();
        const long long stall = stallRemainingMs(now);
        if (stall == 0) {
            finish(CURLE_OPERATION_TIMEDOUT);
            break;
        }
        if (deadline && now >= *deadline)
            return false;
        if (pumpEvents) {
            text::processEvents();
            if (generation != m_generation)
                return false; // a new request was started on this object meanwhile
            if (m_state != State::Sending)
                break;
        }
        long long waitMs = pumpEvents ? 20 : 250;
        if (stall > 0)
            waitMs = std::min(waitMs, stall);
        if (deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - now).count() + 1;
            waitMs = std::min<long long>(waitMs, left);
        }
        long curlMs = -1;
        curl_multi_timeout(m_multi.get(), &curlMs);
        if (curlMs >= 0)
            waitMs = std::min<long long>(waitMs, curlMs);
        if (waitMs > 0)
            curl_multi_poll(m_multi.get(), nullptr, 0, static_cast<int>(waitMs), nullptr);
    }
    return generation == m_generation;
}

void Request::collectFinished()
{
    // The multi handle is shared: a finished transfer may belong to another request object.
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi.get(), &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        void* owner = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &owner);
        auto* request = static_cast<Request*>(owner);
        if (request && request->m_state == State::Sending && request->m_easy.get() == message->easy_handle)
            request->finish(message->data.result);
    }
}

void Request::finish(CURLcode result)
{
    curl_multi_remove_handle(m_multi.get(), m_easy.get());
    m_state = State::Done;
    m_outcome.reset();
    m_lastError = m_tooLarge ? CURLE_FILESIZE_EXCEEDED : result;
    if (result == CURLE_OK && !m_tooLarge) {
        m_succeeded = true;
        long code = 0;
        curl_easy_getinfo(m_easy.get(), CURLINFO_RESPONSE_CODE, &code);
        m_status = code;
        char* effective = nullptr;
        if (curl_easy_getinfo(m_easy.get(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
            m_effectiveUrl = effective;
        return;
    }
    const int error = m_lastError;
    clearResponse();
    m_lastError = error;
    m_body.shrink_to_fit();
}

bool Request::waitForResponse(long long seconds)
{
    if (!valid())
        return false;
    if (m_state == State::Done)
        return true;
    if (m_state != State::Sending)
        return false;
    // Below 0 there is no limit, and neither is there in practice beyond about 30 years.
    if (seconds < 0 || seconds > 1000000000LL)
        return drive(true, nullptr) && m_state == State::Done;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    return drive(true, &deadline) && m_state == State::Done;
}

void Request::abort()
{
    if (valid() && m_state == State::Sending)
        finish(CURLE_ABORTED_BY_CALLBACK);
}

void Request::timeOut()
{
    if (valid() && m_state == State::Sending)
        finish(CURLE_OPERATION_TIMEDOUT);
}

std::string Request::takeBody()
{
    if (!completed())
        return {};
    // The outcome reads the body: it is settled before the body goes.
    if (!m_outcome)
        m_outcome = computeOutcome();
    return std::exchange(m_body, std::string());
}

FetchOutcome Request::outcome() const
{
    if (m_state != State::Done)
        return computeOutcome();
    if (!m_outcome)
        m_outcome = computeOutcome();
    return *m_outcome;
}

FetchOutcome Request::computeOutcome() const
{
    FetchOutcome outcome;
    if (m_state != State::Done && m_state != State::Sending)
        return outcome;
    outcome.attempted = true;
    outcome.curlCode = m_lastError;
    outcome.url = completed() && !m_effectiveUrl.empty() ? m_effectiveUrl : m_url;
    if (m_state == State::Sending) {
        outcome.error = TransportError::Other; // asked before the answer came
        return outcome;
    }
    outcome.error = transportErrorOf(m_lastError);
    if (!completed())
        return outcome;
    outcome.status = m_status;
    outcome.bodyBytes = m_body.size();
    AnswerView answer;
    answer.status = m_status;
    // The headers the refusal check reads, each the first of its name (as header() finds
    // it), found in one pass over the answer's headers.
    static constexpr std::string_view kNames[] = {"Location", "Retry-After", "Date"};
    std::string_view* const values[] = {&answer.location, &answer.retryAfter, &answer.date};
    bool seen[] = {false, false, false};
    for (size_t l = 0; l < m_headerLines.size(); ++l)
        for (size_t i = 0; i < 3; ++i)
            if (!seen[i] && headerValueIf(responseHeaderLine(l), kNames[i], *values[i])) {
                seen[i] = true;
                break;
            }
    answer.finalUrl = m_effectiveUrl;
    answer.body = m_body;
    answer.nowUnixSeconds = static_cast<std::int64_t>(std::time(nullptr));
    outcome.refusal = recogniseRefusal(answer);
    return outcome;
}

std::string Request::statusText() const
{
    if (!completed())
        return {};
    const size_t first = m_statusLine.find(' ');
    if (first == std::string::npos)
        return {};
    const size_t second = m_statusLine.find(' ', first + 1);
    return second == std::string::npos ? std::string() : m_statusLine.substr(second + 1);
}

const std::string& Request::body() const
{
    static const std::string empty;
    return completed() ? m_body : empty;
}

std::string_view Request::headerView(std::string_view name) const
{
    if (!completed())
        return {};
    std::string_view value;
    for (size_t i = 0; i < m_headerLines.size(); ++i)
        if (headerValueIf(responseHeaderLine(i), name, value))
            return value;
    return {};
}

std::string Request::allHeaders() const
{
    std::string out;
    if (!completed())
        return out;
    out.reserve(m_headerBlock.size() + 2 * m_headerLines.size());
    for (size_t i = 0; i < m_headerLines.size(); ++i) {
        out += responseHeaderLine(i);
        out += "\r\n";
    }
    return out;
}

std::size_t Request::onHeader(char* data, std::size_t size, std::size_t count, void* self)
{
    auto* request = static_cast<Request*>(self);
    const std::size_t length = size * count;
    request->m_received += static_cast<std::int64_t>(length);
    std::string_view line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
        // A new answer (a redirect or an interim 1xx answer came before): only the last counts.
        request->m_statusLine.assign(line);
        request->m_headerBlock.clear();
        request->m_headerLines.clear();
        request->m_body.clear();
    } else if (line.empty()) {
        // end of one answer's header block
    } else if ((line.front() == ' ' || line.front() == '\t') && !request->m_headerLines.empty()) {
        // A folded line goes on the one before, which is the last in the block.
        const std::string_view rest = line.substr(line.find_first_not_of(" \t"));
        request->m_headerBlock += ' ';
        request->m_headerBlock += rest;
        request->m_headerLines.back().second += 1 + rest.size();
    } else {
        request->m_headerLines.emplace_back(request->m_headerBlock.size(), line.size());
        request->m_headerBlock += line;
    }
    return length;
}

std::size_t Request::onBody(char* data, std::size_t size, std::size_t count, void* self)
{
    auto* request = static_cast<Request*>(self);
    const std::size_t length = size * count;
    if (request->m_body.size() + length > kMaxBodyBytes) {
        request->m_tooLarge = true;
        return 0; // makes libcurl stop the transfer with an error
    }
    if (request->m_body.empty()) {
        // The whole body goes into one buffer of the announced length (within reason: a
        // length is only what the server claims).
        curl_off_t announced = -1;
        if (curl_easy_getinfo(request->m_easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK
            && announced > 0)
            request->m_body.reserve(static_cast<std::size_t>(std::min<curl_off_t>(announced, kMaxReservedBodyBytes)));
    }
    request->m_body.append(data, length);
    request->m_received += static_cast<std::int64_t>(length);
    return length;
}

int Request::onConnected(void* self, char*, char*, int, int)
{
    auto* request = static_cast<Request*>(self);
    request->m_connected = true;
    request->m_lastActivity = Clock::now();
    return CURL_PREREQFUNC_OK;
}

} // namespace quillet::web
