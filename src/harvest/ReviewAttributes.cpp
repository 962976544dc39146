#include "harvest/Harvest.h"

#include "compose/TextOps.h"

#include <string_view>

namespace quillet::harvest {

namespace {

void addAttribute(std::vector<std::pair<GbkText, GbkText>>& out, GbkText name, GbkText value)
{
    if (name.empty())
        return;
    for (const auto& existing : out)
        if (existing.first == name)
            return;
    out.emplace_back(std::move(name), std::move(value));
}

// "颜色分类:黑色;尺码:XL" or "颜色分类:黑色&nbsp;&nbsp;尺码:XL": pairs split at ";" and blanks.
void addPairs(std::vector<std::pair<GbkText, GbkText>>& out, const GbkText& list)
{
    const GbkText text = compose::decodeEntities(list);
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = i;
        while (end < text.size() && text[end] != ';' && text[end] != ' ') {
            end += static_cast<unsigned char>(text[end]) >= 0x81 && end + 1 < text.size() ? 2 : 1;
        }
        const std::string_view piece(text.data() + i, std::min(end, text.size()) - i);
        const std::size_t colon = piece.find(':');
        if (colon != std::string_view::npos && colon > 0)
            addAttribute(out, GbkText(piece.substr(0, colon)), GbkText(piece.substr(colon + 1)));
        i = end + 1;
    }
}

} // namespace

std::vector<std::pair<GbkText, GbkText>> recordAttributes(const GbkText& record)
{
    std::vector<std::pair<GbkText, GbkText>> out;
    for (const std::string_view key : {"\"auctionSku\":\"", "\"sku\":\""}) {
        const std::size_t at = record.find(key);
        if (at == GbkText::npos)
            continue;
        const std::size_t from = at + key.size();
        const std::size_t end = record.find('"', from);
        if (end != GbkText::npos)
            addPairs(out, record.substr(from, end - from));
    }
    // {"desc":"黑色","name":"颜色"}
    static const std::string_view descKey = "{\"desc\":\"";
    static const std::string_view nameKey = "\",\"name\":\"";
    for (std::size_t at = record.find(descKey); at != GbkText::npos; at = record.find(descKey, at + 1)) {
        const std::size_t from = at + descKey.size();
        const std::size_t mid = record.find(nameKey, from);
        if (mid == GbkText::npos)
            break;
        const std::size_t nameFrom = mid + nameKey.size();
        const std::size_t end = record.find('"', nameFrom);
        if (end == GbkText::npos)
            break;
        addAttribute(out, compose::decodeEntities(record.substr(nameFrom, end - nameFrom)),
                     compose::decodeEntities(record.substr(from, mid - from)));
    }
    return out;
}

} // namespace quillet::harvest
