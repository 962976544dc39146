#pragma once

#include "text/GbkText.h"
#include "web/FetchOutcome.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace quillet::web {

class Request;

// The longest address a request is made for. A longer one fails unsent (as NotSent): no
// server reads such a request line, and building it would cost its size many times over.
inline constexpr std::size_t kMaxAddressBytes = 1024 * 1024;

// Raw bytes of a request or response body (no character set attached).
using Bytes = std::string;

// A value read from or written to a request option: nothing, a whole number, or a text / byte string.
using OptionValue = std::variant<std::monostate, long long, std::string>;

// Request option indexes understood by WebClient::option.
enum RequestOption : int {
    OptionUserAgent = 0,        // text: the User-Agent sent when no header sets one
    OptionUrl = 1,              // read only: the address of the last answer (after redirects)
    OptionEnableRedirects = 6,  // 1 (default): follow 3xx answers; 0: return them as they are
    OptionMaxRedirects = 14,    // how many redirects one request follows (default 20, at most 20)
};

// The four time-out phases of a request, in milliseconds. A value of 0 or below means no limit.
struct Timeouts {
    long long resolveMs = 0;
    long long connectMs = 60000;
    long long sendMs = 30000;
    long long receiveMs = 30000;
};

// Character sets of a response body, as fetchText and decodeToGbk name them.
enum CharsetCode : int {
    CharsetRawText = -2,  // fetchText: the body as responseText() decodes it
    CharsetRawBytes = -1, // fetchText: the body bytes unchanged
    CharsetDetect = 0,
    CharsetGbk = 1,
    CharsetUtf8 = 2,
    CharsetUtf16Le = 3,
    CharsetUtf16Be = 4,
    CharsetBig5 = 5,
    CharsetBig5Hkscs = 6,
};

// One HTTP request session: one request object (a libcurl easy handle with its settings and
// the last response) and one stored cookie text. Copies share the same request object and
// copy the stored cookie. Nothing is thrown: a failed request leaves an empty body, status 0
// and no headers, and every operation keeps working for the next request.
class WebClient {
public:
    WebClient();
    ~WebClient();
    WebClient(const WebClient& other);
    WebClient& operator=(const WebClient& other);
    WebClient(WebClient&& other) noexcept;
    WebClient& operator=(WebClient&& other) noexcept;

    // --- The request object ---------------------------------------------------------------

    // Releases the request object and makes a new one.
    void recreateRequestObject();
    // Makes a new request object (the old one is released by this client; copies keep theirs).
    void createRequestObject();
    // A further reference to the request object (empty if it could not be created).
    [[nodiscard]] std::shared_ptr<Request> requestObject() const;

    // Starts a new request. "http://" is put in front of the address unless it already begins
    // with it (any letter case). Request headers of the previous request do not carry over.
    void open(const GbkText& method, const GbkText& url, bool async = false);
    void open(const GbkText& url) { open("GET", url, false); }

    // Writes the option when a value is given, then returns its current value.
    OptionValue option(int index, const OptionValue& value = std::monostate{});
    // setting 2: through the named proxy server ("host:port"); 0 and 1: direct. The bypass
    // list is a comma-separated list of hosts that are reached directly.
    void setProxy(int setting = 2, const GbkText& server = {}, const GbkText& bypassList = {});
    void setCredentials(const GbkText& userName, const GbkText& password, int flags = 0);
    // A header for the current request; an empty value means the header is not sent. Names or
    // values holding CR, LF or NUL are refused.
    void setRequestHeader(const GbkText& name, const GbkText& value);
    // Each of connect, send and receive below 1 takes the resolve value.
    void setTimeouts(long long resolveMs, long long connectMs, long long sendMs, long long receiveMs);
    [[nodiscard]] Timeouts timeouts() const;
    void setClientCertificate(const GbkText& certificate);
    void setAutoLogonPolicy(int policy);

    // Sends the request: the byte body if non-empty, else the text body if non-empty, else no
    // body. A synchronous request returns when the answer is complete (or failed); an
    // asynchronous one returns at once and is completed by waitForResponse.
    void send(const GbkText& bodyText = {}, const Bytes& bodyBytes = {});
    // Waits up to `seconds` for the answer of an asynchronous request, processing window
    // events meanwhile. True when the request is complete (answered or failed).
    bool waitForResponse(long long seconds = -1);
    void abort();

    // --- The last response ----------------------------------------------------------------

    [[nodiscard]] long status() const;
    [[nodiscard]] GbkText statusText() const;
    // The body of the last answer (responseText: decoded by its declared charset). A page fetch
    // (fetchText, fetchBytes, finishText) hands the body to its caller instead of copying it,
    // so after one both are empty; status and headers stay.
    [[nodiscard]] GbkText responseText() const;
    [[nodiscard]] Bytes responseBody() const;
    [[nodiscard]] Bytes responseStream() const;
    [[nodiscard]] GbkText getResponseHeader(const GbkText& name) const;
    // Every header line of the answer ("Name: value"), each followed by CR LF.
    [[nodiscard]] GbkText getAllResponseHeaders() const;
    // What happened to the last request: its status, why no answer came (time-out, refused
    // connection, reset, truncated, too big, ...) and the marketplace's refusal when its answer
    // shows one (with the wait it asked for). The page fetches still give the empty text for
    // a failure; this says why.
    [[nodiscard]] FetchOutcome lastOutcome() const;

    // --- Page fetches ---------------------------------------------------------------------

    // The page fetch every harvester uses. `proxy` "-1" leaves the proxy setting as it is;
    // "IE" takes the system's configured HTTP proxy; empty goes direct. `cookie`, when given
    // and empty, receives the stored cookie that was sent. Returns the body converted to GBK,
    // or the empty text when the request failed or was answered with a status of 400 or above.
    [[nodiscard]] GbkText fetchText(const GbkText& url, const GbkText& postText = {}, int charsetCode = CharsetDetect,
                                    double timeoutSeconds = 0, const GbkText& proxy = "-1",
                                    bool synchronous = false, const Bytes& postBytes = {},
                                    const GbkText& referer = {}, GbkText* cookie = nullptr,
                                    bool keepResponseCookies = false, const GbkText& contentType = {},
                                    const GbkText& userAgent = {}, const GbkText& extraHeaders = {});
    // fetchText in two steps, so that other work can be done while the server answers:
    // startText sends a GET and returns at once; finishText waits for the answer and gives
    // what fetchText would have given (lastOutcome() then tells about it). Any other request
    // made in between replaces the started one. dropStartedText abandons it (a stop).
    void startText(const GbkText& url, int charsetCode = CharsetDetect, double timeoutSeconds = 0,
                   const GbkText& proxy = "-1");
    [[nodiscard]] bool hasStartedText() const { return m_pending.active; }
    [[nodiscard]] GbkText finishText();
    // fetchText of `url` that takes the answer of the request startText sent for the same
    // address, when one is waiting; otherwise (and on a retry) it asks anew.
    [[nodiscard]] GbkText fetchOrFinishText(const GbkText& url, int charsetCode = CharsetDetect,
                                            double timeoutSeconds = 0, const GbkText& proxy = "-1");
    void dropStartedText();

    // The same request returning the raw body.
    [[nodiscard]] Bytes fetchBytes(const GbkText& url, const GbkText& postText = {}, long long timeoutSeconds = 0,
                                   const GbkText& proxy = "-1", bool synchronous = false,
                                   const Bytes& postBytes = {}, const GbkText& referer = {},
                                   GbkText* cookie = nullptr, bool keepResponseCookies = false,
                                   const GbkText& contentType = {}, const GbkText& userAgent = {},
                                   const GbkText& extraHeaders = {});

    // The "Location" header of the answer to a GET made with redirects switched off.
    [[nodiscard]] GbkText redirectTarget(const GbkText& url, bool synchronous = false, const GbkText& referer = {});
    [[nodiscard]] GbkText quickRedirectTarget(const GbkText& url);

    // --- Cookies --------------------------------------------------------------------------

    [[nodiscard]] GbkText responseSetCookieLines() const;
    [[nodiscard]] GbkText responseCookies() const;
    [[nodiscard]] GbkText responseCookie(const GbkText& name) const;

    [[nodiscard]] const GbkText& storedCookie() const { return m_storedCookie; }
    void setStoredCookie(const GbkText& cookie) { m_storedCookie = cookie; }
    void clearCookies();
    // A new request object and an empty stored cookie.
    void resetSession();

    // --- Character sets (the conversions fetchText uses) ----------------------------------

    [[nodiscard]] static GbkText decodeToGbk(const Bytes& body, int requested, int& detected);
    [[nodiscard]] static GbkText decodeToGbk(const Bytes& body, int requested = CharsetDetect);

private:
    enum class TimeoutRule { Keep, Standard, Uniform };
    // open() of an address given as it is.
    void openAddress(std::string_view method, std::string_view url, bool async);
    // Steps shared by fetchText and fetchBytes: builds, sends and waits for the request. True
    // when an answer below status 400 arrived.
    bool fetch(const GbkText& url, const GbkText& postText, TimeoutRule rule, long long timeoutMs,
               long long waitSeconds, const GbkText& proxy, bool synchronous, const Bytes& postBytes,
               const GbkText& referer, GbkText* cookie, bool keepResponseCookies, const GbkText& contentType,
               const GbkText& userAgent, const GbkText& extraHeaders);

    void beginFetch(const GbkText& url, const GbkText& postText, TimeoutRule rule, long long timeoutMs,
                    const GbkText& proxy, bool synchronous, const Bytes& postBytes, const GbkText& referer,
                    GbkText* cookie, const GbkText& contentType, const GbkText& userAgent,
                    const GbkText& extraHeaders);
    bool endFetch(bool synchronous, long long waitSeconds, bool keepResponseCookies);
    // How fetchText reads its time-out in seconds: the rule, the limit of each phase and how
    // long the answer is waited for.
    struct TextTimeout {
        TimeoutRule rule = TimeoutRule::Uniform;
        long long timeoutMs = 0;
        long long waitSeconds = 120;
    };
    [[nodiscard]] static TextTimeout textTimeout(double timeoutSeconds);
    // The body of the last answer as fetchText gives it.
    [[nodiscard]] GbkText bodyAsText(int charsetCode);

    // A request sent by startText and not yet finished.
    struct Pending {
        bool active = false;
        GbkText url;
        int charsetCode = CharsetDetect;
        long long waitSeconds = 120;
    };

    std::shared_ptr<Request> m_request;
    GbkText m_storedCookie;
    Pending m_pending;
};

} // namespace quillet::web
