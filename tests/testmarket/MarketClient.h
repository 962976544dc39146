#pragma once

// A small libcurl client for the simulated marketplace's tests: real host names, mapped onto
// the server on 127.0.0.1 (or sent through it as a proxy), and raw-socket helpers.

#include <cstdint>
#include <string>
#include <vector>

namespace quillet::testmarket::testing {

struct FetchOptions {
    bool viaProxy = false;      // send through the server as an HTTP proxy (absolute URLs)
    bool tunnel = false;        // with viaProxy: keep the connect-to mapping, so libcurl tunnels (CONNECT)
    bool follow = true;         // follow redirects
    long maxRedirects = 10;
    long timeoutMs = 10000;
    bool head = false;
    bool post = false;
    std::string postBody;
    std::vector<std::string> headers; // "Name: value"
};

struct FetchResult {
    int curlCode = 0;           // CURLcode
    long status = 0;
    std::string body;
    std::string headers;        // raw header block(s)
    long redirects = 0;
    double seconds = 0;

    [[nodiscard]] bool ok() const { return curlCode == 0; }
    // The value of a header of the last response ("" if absent).
    [[nodiscard]] std::string header(const std::string& name) const;
};

FetchResult fetch(std::uint16_t port, const std::string& url, const FetchOptions& options = {});

// Sends raw bytes on a fresh connection to 127.0.0.1:port, optionally half-closes, and reads
// until the server closes or `timeoutMs` passes.
std::string rawExchange(std::uint16_t port, const std::string& bytes, bool halfClose = false, int timeoutMs = 3000);

// Text between `start` and the next `end` after position `from`, advancing `from` past `end`;
// "" when either is missing (the way the harvesters read pages).
std::string between(const std::string& text, const std::string& start, const std::string& end, std::size_t& from);
std::string between(const std::string& text, const std::string& start, const std::string& end);

// Percent-encodes every byte except ASCII letters and digits.
std::string percentEncode(const std::string& bytes);

} // namespace quillet::testmarket::testing
