#include "PatternDialect.h"

#include "GbkScan.h"

namespace quillet::regex::detail {

namespace {

// The white space ECMAScript's \s adds to PCRE2's ASCII \s (tab, LF, VT, FF, CR, space):
// the Unicode space separators, the line and paragraph separators and the byte-order mark.
// Written with \u, which the ALT_BSUX option reads.
constexpr std::string_view kExtraSpaces =
    "\\u00a0\\u1680\\u180e\\u2000-\\u200a\\u2028\\u2029\\u202f\\u205f\\u3000\\ufeff";

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Letters that mean something after a backslash in the ECMAScript dialect.
bool isDialectEscapeLetter(char c)
{
    switch (c) {
    case 'b': case 'B': case 'd': case 'D': case 's': case 'S': case 'w': case 'W':
    case 'f': case 'n': case 'r': case 't': case 'v': case 'c': case 'x': case 'u':
        return true;
    default:
        return false;
    }
}

} // namespace

std::string toPcrePattern(std::string_view p)
{
    std::string out;
    out.reserve(p.size() + 16);
    bool inClass = false;
    std::size_t i = 0;
    while (i < p.size()) {
        const char c = p[i];
        if (c == '\\') {
            if (i + 1 >= p.size()) { // a trailing backslash: left for the compiler to reject
                out += c;
                ++i;
                continue;
            }
            const char next = p[i + 1];
            if (next == 's') {
                out += inClass ? "\\s" : "[\\s";
                out += kExtraSpaces;
                if (!inClass)
                    out += ']';
            } else if (next == 'S') {
                if (inClass) {
                    out += "\\S"; // a negated set cannot be nested in a class; the ASCII meaning stays
                } else {
                    out += "[^\\s";
                    out += kExtraSpaces;
                    out += ']';
                }
            } else if (next == 'v') {
                out += "\\x0b";
            } else if (isAsciiLetter(next) && !isDialectEscapeLetter(next)) {
                out += next;
            } else {
                const std::size_t length = utf8SequenceLength(static_cast<unsigned char>(next));
                out.append(p.substr(i, 1 + length));
                i += 1 + length;
                continue;
            }
            i += 2;
            continue;
        }
        if (inClass) {
            if (c == ']')
                inClass = false;
            out += c == '[' ? std::string_view("\\[") : std::string_view(&p[i], 1);
            ++i;
            continue;
        }
        out += c;
        ++i;
        if (c == '[') {
            inClass = true;
            if (i < p.size() && p[i] == '^')
                out += p[i++];
            if (i < p.size() && p[i] == ']') { // "[]" matches nothing, "[^]" any character
                out += p[i++];
                inClass = false;
            }
        }
    }
    return out;
}

} // namespace quillet::regex::detail
