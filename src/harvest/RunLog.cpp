#include "harvest/RunLog.h"

#include "harvest/BatchRun.h"
#include "text/Charset.h"
#include "text/Paths.h"

#include <cstdio>

namespace quillet::harvest {

std::string jsonString(std::string_view utf8)
{
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    out.reserve(utf8.size() + 2);
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

bool RunLog::open(const GbkText& path)
{
    m_file = text::StdioFile::open(text::toNativePath(path), "ab");
    m_failed = !m_file;
    return !m_failed;
}

bool RunLog::write(const ProductReport& report)
{
    if (!m_file)
        return false;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", report.seconds);
    const std::string line = "{\"line\":" + std::to_string(report.line)
        + ",\"product\":" + jsonString(text::gbkToUtf8(report.productId))
        + ",\"pages\":" + std::to_string(report.pagesFetched) + ",\"reviews\":" + std::to_string(report.reviewsKept)
        + ",\"outcome\":" + jsonString(productResultName(report.result)) + ",\"reason\":"
        + jsonString(report.result == ProductResult::Article ? std::string() : report.reason)
        + ",\"seconds\":" + seconds + ",\"time\":" + jsonString(text::gbkToUtf8(formatTimestamp(0))) + "}\n";
    if (std::fwrite(line.data(), 1, line.size(), m_file.get()) != line.size() || std::fflush(m_file.get()) != 0)
        m_failed = true;
    return !m_failed;
}

bool RunLog::close()
{
    if (m_file && !m_file.close())
        m_failed = true;
    return !m_failed;
}

} // namespace quillet::harvest
