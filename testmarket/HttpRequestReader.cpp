#include "AsciiText.h"
#include "HttpRequestReader.h"

#include <sys/socket.h>

#include <cerrno>

namespace quillet::testmarket {

namespace {


std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// "host:port", "[v6]:port" or "host" -> host, lower-cased.
std::string hostWithoutPort(std::string_view authority)
{
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        return lower(authority.substr(0, close == std::string_view::npos ? authority.size() : close + 1));
    }
    return lower(authority.substr(0, authority.find(':')));
}

void splitPathQuery(std::string_view target, RecordedRequest& r)
{
    const std::size_t hash = target.find('#');
    if (hash != std::string_view::npos)
        target = target.substr(0, hash);
    const std::size_t q = target.find('?');
    r.path = std::string(target.substr(0, q));
    r.query = q == std::string_view::npos ? std::string() : std::string(target.substr(q + 1));
    if (r.path.empty())
        r.path.assign(1, '/');
}

} // namespace

bool HttpRequestReader::parseHead(std::string_view head, RecordedRequest& r, int& versionMinor)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= head.size()) {
        std::size_t nl = head.find('\n', start);
        if (nl == std::string_view::npos)
            nl = head.size();
        std::string_view line = head.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = nl + 1;
    }
    if (lines.empty())
        return false;

    // Request line: METHOD SP target SP HTTP/1.x
    const std::string_view requestLine = lines[0];
    const std::size_t sp1 = requestLine.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : requestLine.find(' ', sp1 + 1);
    if (sp1 == std::string_view::npos || sp2 == std::string_view::npos || sp1 == 0 || sp2 == sp1 + 1)
        return false;
    const std::string_view method = requestLine.substr(0, sp1);
    const std::string_view target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = requestLine.substr(sp2 + 1);
    for (char c : method)
        if (!isTokenChar(c))
            return false;
    if (version.size() != 8 || version.substr(0, 7) != "HTTP/1." || version[7] < '0' || version[7] > '9')
        return false;
    for (char c : target)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            return false;
    versionMinor = version[7] - '0';
    r.method = std::string(method);
    r.target = std::string(target);

    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.empty())
            continue;
        if ((line.front() == ' ' || line.front() == '\t') && !r.headers.empty()) {
            std::string& value = r.headers.back().second; // folded continuation
            value.push_back(' ');
            value.append(trim(line));
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return false;
        for (char c : line.substr(0, colon))
            if (!isTokenChar(c))
                return false;
        r.headers.emplace_back(std::string(line.substr(0, colon)), std::string(trim(line.substr(colon + 1))));
    }

    const std::string lowerTarget = lower(target.substr(0, 8));
    if (r.method == "CONNECT") {
        r.viaProxy = true;
        r.host = hostWithoutPort(target);
        r.path.clear();
        return !r.host.empty();
    }
    std::size_t schemeEnd = 0;
    if (lowerTarget.rfind("http://", 0) == 0)
        schemeEnd = 7;
    else if (lowerTarget.rfind("https://", 0) == 0)
        schemeEnd = 8;
    if (schemeEnd) {
        r.viaProxy = true;
        const std::string_view rest = target.substr(schemeEnd);
        const std::size_t end = rest.find_first_of("/?#");
        r.host = hostWithoutPort(rest.substr(0, end));
        splitPathQuery(end == std::string_view::npos ? std::string_view() : rest.substr(end), r);
        return !r.host.empty();
    }
    if (target == "*") {
        r.path.assign(1, '*');
    } else if (target.front() == '/') {
        splitPathQuery(target, r);
    } else {
        return false;
    }
    r.host = hostWithoutPort(r.header("Host"));
    return true;
}

bool HttpRequestReader::fill()
{
    if (m_pos > 0 && m_pos == m_buffer.size()) {
        m_buffer.clear();
        m_pos = 0;
    } else if (m_pos > 256 * 1024) {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
    }
    char chunk[16 * 1024];
    while (true) {
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        m_buffer.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
}

bool HttpRequestReader::need(std::size_t bytes)
{
    while (m_buffer.size() - m_pos < bytes)
        if (!fill())
            return false;
    return true;
}

bool HttpRequestReader::readChunked(std::string& body)
{
    while (true) {
        std::size_t eol;
        while ((eol = m_buffer.find("\r\n", m_pos)) == std::string::npos) {
            if (m_buffer.size() - m_pos > 1024 || !fill())
                return false;
        }
        const std::string_view sizeLine = std::string_view(m_buffer).substr(m_pos, eol - m_pos);
        std::size_t size = 0;
        std::size_t digits = 0;
        for (char c : sizeLine) {
            int v = -1;
            if (c >= '0' && c <= '9')
                v = c - '0';
            else if (c >= 'a' && c <= 'f')
                v = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                v = c - 'A' + 10;
            if (v < 0)
                break;
            size = size * 16 + static_cast<std::size_t>(v);
            if (++digits > 8)
                return false;
        }
        if (digits == 0)
            return false;
        m_pos = eol + 2;
        if (size == 0) {
            // Trailer lines up to an empty line.
            while (true) {
                while ((eol = m_buffer.find("\r\n", m_pos)) == std::string::npos)
                    if (m_buffer.size() - m_pos > kMaxHead || !fill())
                        return false;
                const bool empty = eol == m_pos;
                m_pos = eol + 2;
                if (empty)
                    return true;
            }
        }
        if (body.size() + size > kMaxBody || !need(size + 2))
            return false;
        body.append(m_buffer, m_pos, size);
        m_pos += size + 2;
    }
}

HttpRequestReader::Result HttpRequestReader::next(RecordedRequest& request)
{
    // Blank lines between requests are tolerated.
    std::size_t headEnd;
    std::size_t sepLength = 4;
    while (true) {
        while (m_pos < m_buffer.size() && (m_buffer[m_pos] == '\r' || m_buffer[m_pos] == '\n'))
            ++m_pos;
        headEnd = m_buffer.find("\r\n\r\n", m_pos);
        const std::size_t lfEnd = m_buffer.find("\n\n", m_pos);
        if (lfEnd != std::string::npos && (headEnd == std::string::npos || lfEnd < headEnd)) {
            headEnd = lfEnd;
            sepLength = 2;
        }
        if (headEnd != std::string::npos)
            break;
        if (m_buffer.size() - m_pos > kMaxHead)
            return Result::TooLarge;
        const bool hadData = m_pos < m_buffer.size();
        if (!fill())
            return hadData ? Result::Malformed : Result::Closed;
    }
    if (headEnd - m_pos > kMaxHead)
        return Result::TooLarge;
    const std::string_view head = std::string_view(m_buffer).substr(m_pos, headEnd - m_pos);
    if (!parseHead(head, request, m_minor))
        return Result::Malformed;
    m_pos = headEnd + sepLength;

    const std::string transfer = lower(request.header("Transfer-Encoding"));
    const std::string length = request.header("Content-Length");
    const bool expectContinue = lower(request.header("Expect")) == "100-continue";
    if (!transfer.empty() && transfer != "identity") {
        if (transfer.find("chunked") == std::string::npos)
            return Result::Malformed;
        if (expectContinue && m_pos == m_buffer.size())
            ::send(m_fd, "HTTP/1.1 100 Continue\r\n\r\n", 25, MSG_NOSIGNAL);
        return readChunked(request.body) ? Result::Ok : Result::Malformed;
    }
    if (!length.empty()) {
        std::size_t size = 0;
        for (char c : length) {
            if (c < '0' || c > '9')
                return Result::Malformed;
            size = size * 10 + static_cast<std::size_t>(c - '0');
            if (size > kMaxBody)
                return Result::TooLarge;
        }
        if (expectContinue && size > 0 && m_buffer.size() - m_pos < size)
            ::send(m_fd, "HTTP/1.1 100 Continue\r\n\r\n", 25, MSG_NOSIGNAL);
        if (!need(size))
            return Result::Malformed;
        request.body.assign(m_buffer, m_pos, size);
        m_pos += size;
    }
    return Result::Ok;
}

} // namespace quillet::testmarket
