#pragma once

#include "TestMarket.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet::testmarket {

// Reads HTTP/1.x requests one after another from a connected socket (keep-alive), with
// Content-Length or chunked bodies. Answers "100 Continue" when a client waits for it.
class HttpRequestReader {
public:
    enum class Result {
        Ok,
        Closed,    // the peer closed the connection (or it failed) between requests
        Malformed, // not an HTTP request, or the connection ended inside one
        TooLarge   // head above 64 KB or body above 64 MB
    };

    static constexpr std::size_t kMaxHead = 64 * 1024;
    static constexpr std::size_t kMaxBody = 64 * 1024 * 1024;

    explicit HttpRequestReader(int fd) : m_fd(fd) {}

    [[nodiscard]] Result next(RecordedRequest& request);
    // The minor version of the last request's protocol (HTTP/1.0 -> 0).
    [[nodiscard]] int lastVersionMinor() const { return m_minor; }

    // Parses a request head (request line and header lines, without the blank line).
    // Fills method, target, host, path, query, headers and viaProxy.
    [[nodiscard]] static bool parseHead(std::string_view head, RecordedRequest& request, int& versionMinor);

private:
    bool fill();
    bool readChunked(std::string& body);
    bool need(std::size_t bytes); // at least this many unread bytes buffered

    int m_fd;
    std::string m_buffer;
    std::size_t m_pos = 0;
    int m_minor = 1;
};

} // namespace quillet::testmarket
