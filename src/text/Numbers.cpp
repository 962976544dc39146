#include "Numbers.h"

#include <cmath>
#include <charconv>
#include <system_error>
#include <limits>

namespace quillet::text {

namespace {
size_t skipBlanks(const GbkText& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
        ++i;
    return i;
}
} // namespace

long long textToInteger(const GbkText& text)
{
    size_t i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    constexpr long long limit = std::numeric_limits<long long>::max() / 10 - 10;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > limit) // far too large for any count the program uses: saturate
            return negative ? -limit : limit;
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

double textToNumber(const GbkText& text)
{
    const size_t start = skipBlanks(text);
    size_t end = start;
    if (end < text.size() && (text[end] == '+' || text[end] == '-'))
        ++end;
    bool digits = false;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
        ++end;
        digits = true;
    }
    if (end < text.size() && text[end] == '.') {
        ++end;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
            ++end;
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        size_t e = end + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-'))
            ++e;
        if (e < text.size() && text[e] >= '0' && text[e] <= '9') {
            while (e < text.size() && text[e] >= '0' && text[e] <= '9')
                ++e;
            end = e;
        }
    }
    // from_chars ignores the locale: a decimal comma locale must not turn "0.01" into 0.
    size_t from = start;
    if (text[from] == '+')
        ++from;
    double value = 0.0;
    const auto result = std::from_chars(text.data() + from, text.data() + end, value);
    if (result.ec != std::errc())
        return 0.0;
    return std::isfinite(value) ? value : 0.0;
}

} // namespace quillet::text
