#pragma once

#include "web/CurlHandles.h"
#include "web/FetchOutcome.h"
#include "web/WebClient.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillet::web {

// The request object behind a WebClient: one libcurl easy handle (taken from the handles the
// thread's earlier request objects left behind, so its buffers and state are reused), driven through the multi
// handle of the thread that created it and sharing that thread's connection cache (so a fresh
// request object costs little and reuses open connections), with the settings that persist from request to request (time-outs, proxy, redirect
// switch, options) and the last response (status, header lines, raw body).
//
// Time-outs. The four phases map onto libcurl like this:
//   resolve + connect -> CURLOPT_CONNECTTIMEOUT_MS (libcurl resolves the name inside its connect
//                        phase, so the connect phase gets both budgets);
//   send              -> once connected, while request body bytes remain to go out, the transfer
//                        fails when no byte has moved for this long (checked by the transfer loop);
//   receive           -> once the request is out, the transfer fails when no byte of the answer
//                        has arrived for this long (the same stall check);
//   all four          -> CURLOPT_TIMEOUT_MS = their sum, an overall bound on one request.
// A value of 0 or below is no limit for that phase (and no overall bound).
//
// Safety: an address or header holding CR, LF or NUL, and an address longer than kMaxAddressBytes,
// are refused (the request fails instead of
// being sent); bodies larger than kMaxBodyBytes fail the request; redirects followed
// automatically are bounded by kMaxRedirects; only http and https are spoken.
class Request {
public:
    static constexpr std::size_t kMaxBodyBytes = 64u * 1024u * 1024u;
    static constexpr long kMaxRedirects = 20;
    // The most room made for a body ahead of its bytes, from the length its answer announces.
    static constexpr std::size_t kMaxReservedBodyBytes = 8u * 1024u * 1024u;

    Request();
    ~Request();
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    // False when libcurl could not give a handle; every operation is then a no-op.
    [[nodiscard]] bool valid() const { return m_easy && m_multi; }

    // Starts a new request to exactly this address (no scheme added here).
    void open(std::string_view method, std::string_view url, bool async);
    OptionValue option(int index, const OptionValue& value);
    void setProxy(int setting, const std::string& server, const std::string& bypassList);
    void setCredentials(const std::string& userName, const std::string& password, int flags);
    // False (and nothing set) for a name or value holding CR, LF, NUL, or a malformed name.
    bool setRequestHeader(std::string_view name, std::string_view value);
    void setTimeouts(const Timeouts& timeouts) { m_timeouts = timeouts; }
    [[nodiscard]] Timeouts timeouts() const { return m_timeouts; }
    void setClientCertificate(const std::string& certificate);
    void setAutoLogonPolicy(int policy) { m_autoLogonPolicy = policy; }

    // `body` null: no body.
    void send(const std::string* body);
    // seconds below 0: no limit.
    bool waitForResponse(long long seconds);
    void abort();

    // The last response; all empty unless the request completed successfully.
    [[nodiscard]] bool completed() const { return m_state == State::Done && m_succeeded; }
    [[nodiscard]] long status() const { return completed() ? m_status : 0; }
    [[nodiscard]] std::string statusText() const;
    [[nodiscard]] const std::string& body() const;
    // The body of the last answer, handed over rather than copied: body() is empty afterwards.
    // The outcome is settled first, so outcome() tells the same either way.
    [[nodiscard]] std::string takeBody();
    [[nodiscard]] std::string header(std::string_view name) const { return std::string(headerView(name)); }
    // The value of the first header of that name (any letter case), valid until the next request.
    [[nodiscard]] std::string_view headerView(std::string_view name) const;
    [[nodiscard]] std::string allHeaders() const;
    // The libcurl result of the last finished request (CURLE_OK for an answered one).
    [[nodiscard]] int lastError() const { return m_lastError; }
    // What happened to the last request: answered (with its status and any refusal the
    // marketplace's answer shows), or why not. Worked out once per finished request.
    [[nodiscard]] FetchOutcome outcome() const;
    // Ends a running request as timed out (the caller's wait ran out).
    void timeOut();

private:
    enum class State { Idle, Opened, Sending, Done };
    using Clock = std::chrono::steady_clock;

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);
    static int onConnected(void* self, char* remoteIp, char* localIp, int remotePort, int localPort);

    void clearResponse();
    bool configure();
    // Builds the request header list; true when it holds a User-Agent header.
    bool buildHeaderList();
    bool applySessionOptions(bool userAgentHeader, long long connectPhase, long long overall);
    [[nodiscard]] FetchOutcome computeOutcome() const;
    [[nodiscard]] std::string_view responseHeaderLine(std::size_t i) const
    {
        return std::string_view(m_headerBlock).substr(m_headerLines[i].first, m_headerLines[i].second);
    }
    void start();
    // Runs the transfer until it finishes or the deadline passes; pumps window events when
    // asked. True when the transfer finished.
    bool drive(bool pumpEvents, const Clock::time_point* deadline);
    void collectFinished();
    void finish(CURLcode result);
    // Milliseconds until the current phase's stall limit expires (0: expired, -1: no limit).
    long long stallRemainingMs(Clock::time_point now);

    // Declared in this order so the easy handle goes before the share it uses, and after the
    // multi handle it was taken out of.
    std::shared_ptr<CURLSH> m_share;
    CurlEasy m_easy;
    std::shared_ptr<CURLM> m_multi;
    // The request header lines handed to libcurl: the nodes point into m_headerText (each line
    // ended by a NUL), so a request builds its list without an allocation once the buffers
    // have grown. Both stay untouched while a transfer runs.
    std::string m_headerText;
    std::vector<curl_slist> m_headerNodes;
    CurlSlist m_connectToList;
    std::vector<std::string> m_connectToEntries; // what m_connectToList holds
    std::uint64_t m_connectToVersion = 0;        // the connect-to map version m_connectToEntries came from
    bool m_connectToDirect = true;
    bool m_connectToKnown = false;

    // Settings that last from request to request.
    Timeouts m_timeouts;
    bool m_followRedirects = true;
    long m_maxRedirects = kMaxRedirects;
    std::string m_userAgent = "Mozilla/4.0 (compatible; Quillet)";
    std::string m_proxy;
    std::string m_noProxy;
    std::string m_userName;
    std::string m_password;
    bool m_proxyCredentials = false;
    std::string m_clientCertificate;
    int m_autoLogonPolicy = 0;
    std::map<int, OptionValue> m_otherOptions;

    bool m_handleConfigured = false; // the options that never change are set on m_easy

    // The options that usually stay the same from request to request, as last handed to libcurl.
    struct SessionOptions {
        bool valid = false;
        bool followRedirects = true;
        long maxRedirects = 0;
        bool userAgentHeader = false;
        long long connectPhase = 0;
        long long overall = 0;
        bool proxyCredentials = false;
        std::string proxy;
        std::string noProxy;
        std::string userAgent;
        std::string userName;
        std::string password;
        std::string clientCertificate;
    };
    SessionOptions m_applied;

    // The request being built or run.
    State m_state = State::Idle;
    std::uint64_t m_generation = 0;
    std::string m_method;
    std::string m_url;
    bool m_async = false;
    bool m_refused = false; // the address or method was unsafe: the request fails when sent
    // The request headers: the first m_requestHeaderCount slots (kept beyond so that their
    // strings keep their buffers for the next request).
    std::vector<std::pair<std::string, std::string>> m_requestHeaders;
    std::size_t m_requestHeaderCount = 0;
    std::string m_requestBody;
    bool m_hasBody = false;

    // Progress of the running transfer.
    bool m_connected = false;
    Clock::time_point m_lastActivity;
    std::int64_t m_activityCount = 0;
    std::int64_t m_received = 0;
    bool m_tooLarge = false;

    // The last response.
    bool m_succeeded = false;
    int m_lastError = 0;
    long m_status = 0;
    std::string m_statusLine;
    // The header lines of the last answer, one after the other in m_headerBlock, each as
    // (offset, length).
    std::string m_headerBlock;
    std::vector<std::pair<std::size_t, std::size_t>> m_headerLines;
    std::string m_body;
    std::string m_effectiveUrl;
    // The outcome of the finished request, once worked out.
    mutable std::optional<FetchOutcome> m_outcome;
};

} // namespace quillet::web
