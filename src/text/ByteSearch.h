#pragma once

#include <cstddef>

namespace quillet::text {

// The last occurrence of `byte` in the `length` bytes at `data`, or nullptr. Looked for in
// windows from the end, so a hit near the end costs only its window (checking tools that
// validate the whole range of a backward byte search would otherwise make a backward walk
// quadratic). Uses the C library's vectorised memrchr where there is one.
[[nodiscard]] const char* lastByte(const char* data, char byte, std::size_t length);

// Two bytes at fixed offsets from a position, the test that picks candidate positions for a
// search before the whole search text is compared there. A byte of the text passes when it
// equals the pair's byte after its fold bits are OR-ed into it (0x20 takes an ASCII letter in
// either case; 0 compares exactly); the second byte also passes when it is exactly
// `alternative`.
struct BytePair {
    std::size_t firstAt = 0;
    unsigned char first = 0;
    unsigned char firstFold = 0;
    std::size_t secondAt = 0;
    unsigned char second = 0;
    unsigned char secondFold = 0;
    unsigned char alternative = 0; // set it to `second` when there is none
};

// A BytePair made ready for the search: its bytes spread over the lanes of the many-at-a-time
// test, and the form of the test it needs. Make one per search text, not one per search.
class PairFinder {
public:
    PairFinder() : PairFinder(BytePair{}) {}
    explicit PairFinder(const BytePair& pair);

    // The first position p in [from, last] where the pair passes, or npos (std::size_t(-1)).
    // The caller guarantees that the bytes at last + firstAt and last + secondAt may be read;
    // nothing beyond them is. Positions are looked at 64 at a time with vector operations where
    // the compiler offers them (GCC, Clang); otherwise by the C library's byte search for the
    // first byte, or one by one when it folds.
    [[nodiscard]] std::size_t find(const char* data, std::size_t from, std::size_t last) const;
    // The last such position in [first, from], reading nothing beyond last + the pair's
    // offsets (from <= last).
    [[nodiscard]] std::size_t findBackward(const char* data, std::size_t from, std::size_t last,
                                           std::size_t first = 0) const;

    using Blocks = std::size_t (*)(const char* data, std::size_t from, std::size_t last, std::size_t first,
                                   const PairFinder& finder);

private:
    friend struct PairLanesAccess;
    BytePair m_pair;
    alignas(16) unsigned char m_lanes[5][16] = {}; // first, its fold, second, its fold, alternative
    Blocks m_forward = nullptr;
    Blocks m_backward = nullptr;
};

} // namespace quillet::text
