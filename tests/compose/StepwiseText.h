#pragma once

// Straightforward versions of the text rules (slow, step by step, rebuilding the text after
// every change) that the single-pass implementations are checked against on random input.

#include "text/GbkText.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace quillet::stepwise {

// Which byte positions start a character (and the end of the text, when no lead byte hangs
// over it): a byte >= 0x80 takes the next byte with it.
inline std::vector<bool> boundariesOf(const GbkText& t)
{
    std::vector<bool> b(t.size() + 1, false);
    std::size_t i = 0;
    while (i < t.size()) {
        b[i] = true;
        i += static_cast<unsigned char>(t[i]) >= 0x80 ? 2 : 1;
    }
    b[t.size()] = i == t.size();
    return b;
}

// Whether `what` occurs at byte i of t as whole characters, ASCII letters of their own folding
// case when asked.
inline bool matchesAt(const GbkText& t, const std::vector<bool>& b, std::size_t i, const GbkText& what, bool ignoreCase)
{
    if (!b[i] || i + what.size() > t.size() || !b[i + what.size()])
        return false;
    for (std::size_t k = 0; k < what.size(); ++k) {
        const auto x = static_cast<unsigned char>(t[i + k]);
        const auto y = static_cast<unsigned char>(what[k]);
        if (x == y)
            continue;
        const bool standalone = b[i + k] && x < 0x80; // a character of its own in the text
        const bool letters = std::isalpha(x) && std::isalpha(y) && x < 0x80 && y < 0x80;
        if (!(ignoreCase && standalone && letters && (x | 0x20) == (y | 0x20)))
            return false;
    }
    return true;
}

inline GbkText replaceAll(const GbkText& t, const GbkText& what, const GbkText& with, bool ignoreCase)
{
    if (what.empty())
        return t;
    const auto b = boundariesOf(t);
    GbkText out;
    std::size_t i = 0;
    while (i < t.size()) {
        if (matchesAt(t, b, i, what, ignoreCase)) {
            out += with;
            i += what.size();
        } else {
            out += t[i++];
        }
    }
    return out;
}

inline long long find(const GbkText& t, const GbkText& what, long long from, bool ignoreCase)
{
    const auto b = boundariesOf(t);
    for (std::size_t i = from < 1 ? 0 : static_cast<std::size_t>(from - 1); i + what.size() <= t.size(); ++i)
        if (matchesAt(t, b, i, what, ignoreCase))
            return static_cast<long long>(i) + 1;
    return -1;
}

// The last match starting at or before position `from` (below 1: anywhere).
inline long long findLast(const GbkText& t, const GbkText& what, long long from, bool ignoreCase)
{
    if (what.size() > t.size())
        return -1;
    const auto b = boundariesOf(t);
    std::size_t i = from < 1 ? t.size() : static_cast<std::size_t>(from - 1);
    for (i = std::min(i, t.size() - what.size());; --i) {
        if (matchesAt(t, b, i, what, ignoreCase))
            return static_cast<long long>(i) + 1;
        if (i == 0)
            return -1;
    }
}

inline GbkText randomText(std::mt19937& rng, const std::vector<GbkText>& pieces, int maxPieces)
{
    std::uniform_int_distribution<int> count(0, maxPieces);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    GbkText t;
    for (int k = count(rng); k > 0; --k)
        t += pieces[pick(rng)];
    return t;
}

} // namespace quillet::stepwise
