#include "harvest/ReviewExport.h"

#include "harvest/RunLog.h"
#include "text/Charset.h"
#include "text/Paths.h"

#include <algorithm>
#include <cstdio>

namespace quillet::harvest {

namespace {

// A CSV field: quoted when it holds a comma, a quote or a line break; quotes doubled.
std::string csvField(const std::string& utf8)
{
    if (utf8.find_first_of(",\"\r\n") == std::string::npos)
        return utf8;
    std::string out = "\"";
    for (const char c : utf8) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string utf8(const GbkText& text)
{
    return text::gbkToUtf8(text);
}

} // namespace

bool ReviewExport::formatOf(const GbkText& path, Format& format)
{
    std::string extension = text::toNativePath(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    if (extension == ".csv")
        format = Format::Csv;
    else if (extension == ".jsonl")
        format = Format::JsonLines;
    else
        return false;
    return true;
}

bool ReviewExport::open(const GbkText& path)
{
    m_failed = true;
    if (!formatOf(path, m_format))
        return false;
    m_file = text::StdioFile::open(text::toNativePath(path), "ab");
    if (!m_file)
        return false;
    m_failed = false;
    // A new CSV file starts with its header.
    if (m_format == Format::Csv && std::fseek(m_file.get(), 0, SEEK_END) == 0 && std::ftell(m_file.get()) == 0) {
        static const std::string header = "product_id,title,storefront,nick,date,attributes,review\r\n";
        m_failed = std::fwrite(header.data(), 1, header.size(), m_file.get()) != header.size();
    }
    return !m_failed;
}

bool ReviewExport::write(const ProductInfo& product, const ReviewFields& review)
{
    if (!m_file)
        return false;
    const std::string storefront = product.isMall ? "mall" : "marketplace";
    std::string row;
    if (m_format == Format::Csv) {
        std::string attributes;
        for (const auto& [name, value] : review.attributes)
            attributes += (attributes.empty() ? "" : "; ") + utf8(name) + "=" + utf8(value);
        row = csvField(utf8(product.productId)) + "," + csvField(utf8(product.originalTitle)) + "," + storefront + ","
            + csvField(utf8(review.nick)) + "," + csvField(utf8(review.date)) + "," + csvField(attributes) + ","
            + csvField(utf8(review.content)) + "\r\n";
    } else {
        std::string attributes;
        for (const auto& [name, value] : review.attributes)
            attributes += (attributes.empty() ? "" : ",") + jsonString(utf8(name)) + ":" + jsonString(utf8(value));
        row = "{\"product_id\":" + jsonString(utf8(product.productId)) + ",\"title\":"
            + jsonString(utf8(product.originalTitle)) + ",\"storefront\":\"" + storefront + "\",\"nick\":"
            + jsonString(utf8(review.nick)) + ",\"date\":" + jsonString(utf8(review.date)) + ",\"attributes\":{"
            + attributes + "},\"review\":" + jsonString(utf8(review.content)) + "}\n";
    }
    if (std::fwrite(row.data(), 1, row.size(), m_file.get()) != row.size() || std::fflush(m_file.get()) != 0)
        m_failed = true;
    return !m_failed;
}

bool ReviewExport::close()
{
    if (m_file && !m_file.close())
        m_failed = true;
    return !m_failed;
}

} // namespace quillet::harvest
