#include "text/ByteSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace quillet::text;

namespace {

constexpr std::size_t npos = static_cast<std::size_t>(-1);

bool passesAt(const std::vector<char>& t, std::size_t p, const BytePair& pair)
{
    const auto a = static_cast<unsigned char>(t[p + pair.firstAt]);
    const auto b = static_cast<unsigned char>(t[p + pair.secondAt]);
    return (a | pair.firstFold) == pair.first && ((b | pair.secondFold) == pair.second || b == pair.alternative);
}

} // namespace

TEST(PairFinder, AgreesWithAPlainScanAcrossBlockEdgesAndTails)
{
    // Few distinct bytes, so a pair passes often and repeats within a block; texts of every
    // length around the block sizes; each text in a buffer of exactly its size, so a read past
    // its end shows under the address checker.
    const unsigned char bytes[] = {'a', 'A', 'b', '\\', 0xB0, 0x61 ^ 0x80};
    std::mt19937 rng(11);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t size = 1 + rng() % 140;
        std::vector<char> t(size);
        for (char& c : t)
            c = static_cast<char>(bytes[rng() % 6]);
        BytePair pair;
        const std::size_t span = rng() % std::min<std::size_t>(size, 4); // offsets 0 .. span
        pair.firstAt = rng() % (span + 1);
        pair.secondAt = rng() % (span + 1);
        pair.first = bytes[rng() % 6];
        pair.second = bytes[rng() % 6];
        pair.firstFold = (rng() % 2 && pair.first == 'a') ? 0x20 : 0;
        pair.secondFold = (rng() % 2 && pair.second == 'a') ? 0x20 : 0;
        pair.alternative = rng() % 2 ? '\\' : pair.second;
        const std::size_t last = size - 1 - span;
        const std::size_t from = rng() % (last + 1);
        std::size_t forward = npos;
        for (std::size_t p = from; p <= last && forward == npos; ++p)
            if (passesAt(t, p, pair))
                forward = p;
        const std::size_t first = rng() % 3 == 0 ? rng() % (from + 1) : 0;
        std::size_t backward = npos;
        for (std::size_t p = from + 1; p-- > first && backward == npos;)
            if (passesAt(t, p, pair))
                backward = p;
        const PairFinder finder(pair);
        ASSERT_EQ(finder.find(t.data(), from, last), forward) << round;
        ASSERT_EQ(finder.findBackward(t.data(), from, last, first), backward) << round;
    }
}
