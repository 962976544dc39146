#include "MarketClient.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace quillet::testmarket::testing {

namespace {

std::size_t append(char* data, std::size_t size, std::size_t count, void* target)
{
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

std::string FetchResult::header(const std::string& name) const
{
    // The last header block belongs to the last response.
    const std::size_t last = headers.rfind("HTTP/1.");
    const std::string block = last == std::string::npos ? headers : headers.substr(last);
    const std::string wanted = lower(name) + ":";
    std::size_t start = 0;
    while (start < block.size()) {
        std::size_t end = block.find("\r\n", start);
        if (end == std::string::npos)
            end = block.size();
        const std::string line = block.substr(start, end - start);
        if (lower(line.substr(0, wanted.size())) == wanted) {
            std::string value = line.substr(wanted.size());
            while (!value.empty() && value.front() == ' ')
                value.erase(0, 1);
            return value;
        }
        start = end + 2;
    }
    return {};
}

FetchResult fetch(std::uint16_t port, const std::string& url, const FetchOptions& options)
{
    FetchResult result;
    CURL* curl = curl_easy_init();
    if (!curl) {
        result.curlCode = -1;
        return result;
    }
    const std::string mapping = "::127.0.0.1:" + std::to_string(port);
    curl_slist* connectTo = curl_slist_append(nullptr, mapping.c_str());
    curl_slist* headers = nullptr;
    for (const std::string& h : options.headers)
        headers = curl_slist_append(headers, h.c_str());
    const std::string proxy = "http://127.0.0.1:" + std::to_string(port);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    if (options.viaProxy)
        curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    else
        curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, options.viaProxy ? "" : "*");
    // With a proxy, a connect-to mapping makes libcurl open a CONNECT tunnel to the mapped
    // address; without the mapping it sends absolute URLs to the proxy.
    if (!options.viaProxy || options.tunnel)
        curl_easy_setopt(curl, CURLOPT_CONNECT_TO, connectTo);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, options.follow ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, options.maxRedirects);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, options.timeoutMs);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, append);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &result.headers);
    if (headers)
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    if (options.head)
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    if (options.post) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, options.postBody.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(options.postBody.size()));
    }
    result.curlCode = static_cast<int>(curl_easy_perform(curl));
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_easy_getinfo(curl, CURLINFO_REDIRECT_COUNT, &result.redirects);
    curl_easy_getinfo(curl, CURLINFO_TOTAL_TIME, &result.seconds);
    curl_slist_free_all(headers);
    curl_slist_free_all(connectTo);
    curl_easy_cleanup(curl);
    return result;
}

std::string rawExchange(std::uint16_t port, const std::string& bytes, bool halfClose, int timeoutMs)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return {};
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string out;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
        if (halfClose)
            ::shutdown(fd, SHUT_WR);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buf[16384];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            out.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return out;
}

std::string between(const std::string& text, const std::string& start, const std::string& end, std::size_t& from)
{
    const std::size_t s = text.find(start, from);
    if (s == std::string::npos)
        return {};
    const std::size_t e = text.find(end, s + start.size());
    if (e == std::string::npos)
        return {};
    from = e + end.size();
    return text.substr(s + start.size(), e - s - start.size());
}

std::string between(const std::string& text, const std::string& start, const std::string& end)
{
    std::size_t from = 0;
    return between(text, start, end, from);
}

std::string percentEncode(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            out += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

} // namespace quillet::testmarket::testing
