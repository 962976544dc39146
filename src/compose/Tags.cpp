#include "compose/Tags.h"

#include "text/ByteSearch.h"
#include "text/EventPump.h"
#include "text/TextScan.h"

#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace quillet::compose {

namespace {

using text::lastByte;
using text::TextScan;

constexpr std::size_t npos = std::string_view::npos;

} // namespace

GbkText stripTags(const GbkText& text)
{
    const std::string_view t(text);
    const char* d = t.data();
    TextScan scan(t);
    // Last "<" or ">" at a character boundary before `limit`.
    auto lastBefore = [&](char what, std::size_t limit) -> std::size_t {
        while (limit > 0) {
            const void* hit = lastByte(d, what, limit);
            if (!hit)
                return npos;
            const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
            if (scan.isBoundary(at))
                return at;
            limit = at;
        }
        return npos;
    };
    auto firstAfter = [&](char what, std::size_t from, std::size_t limit) -> std::size_t {
        TextScan forward(t);
        forward.noteBoundary(from); // `from` follows a "<", so it is a boundary
        while (from < limit) {
            const void* hit = std::memchr(d + from, what, limit - from);
            if (!hit)
                return npos;
            const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
            if (forward.isBoundary(at))
                return at;
            from = at + 1;
        }
        return npos;
    };

    // Kept spans, collected from the end.
    std::vector<std::pair<std::size_t, std::size_t>> kept;
    std::size_t limit = t.size();
    for (;;) {
        text::processEvents();
        const std::size_t close = lastBefore('>', limit);
        if (close == npos)
            break;
        const std::size_t open = lastBefore('<', close);
        if (open == npos)
            break;
        // Any ">" between them is passed over; the nearest one closes the tag.
        const std::size_t nearest = firstAfter('>', open + 1, close + 1);
        if (nearest + 1 < limit)
            kept.emplace_back(nearest + 1, limit);
        limit = open;
    }
    if (kept.empty())
        return limit == t.size() ? text : text.substr(0, limit);
    GbkText out;
    std::size_t total = limit;
    for (const auto& span : kept)
        total += span.second - span.first;
    out.reserve(total);
    out.append(d, limit);
    for (auto it = kept.rbegin(); it != kept.rend(); ++it)
        out.append(d + it->first, it->second - it->first);
    return out;
}

} // namespace quillet::compose
