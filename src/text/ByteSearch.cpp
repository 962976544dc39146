#include "text/ByteSearch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define QUILLET_VECTOR_PAIRS 1
#else
#define QUILLET_VECTOR_PAIRS 0
#endif

namespace quillet::text {

namespace {

constexpr std::size_t npos = static_cast<std::size_t>(-1);

bool passes(const char* d, std::size_t p, const BytePair& pair)
{
    const auto a = static_cast<unsigned char>(d[p + pair.firstAt]);
    const auto b = static_cast<unsigned char>(d[p + pair.secondAt]);
    return (a | pair.firstFold) == pair.first && ((b | pair.secondFold) == pair.second || b == pair.alternative);
}

#if QUILLET_VECTOR_PAIRS

// Sixteen bytes side by side; comparisons give 0xFF in the lanes that hold and 0 elsewhere.
using Lanes = unsigned char __attribute__((vector_size(16)));

template <typename Byte>
Lanes load(const Byte* p)
{
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The pair's bytes spread over all lanes. The template arguments drop the steps a pair does
// not need: folding either byte, and the second byte's alternative.
template <bool FirstFolds, bool SecondFolds, bool Alternative>
class PairLanes {
public:
    PairLanes(const unsigned char (&lanes)[5][16], const BytePair& pair)
        : m_first(load(lanes[0])), m_firstFold(load(lanes[1])), m_second(load(lanes[2])),
          m_secondFold(load(lanes[3])), m_alternative(load(lanes[4])), m_firstAt(pair.firstAt),
          m_secondAt(pair.secondAt)
    {
    }

    // The positions p .. p + 16K - 1 that pass, as 0xFF bytes in 2K words (position p + i is
    // byte i % 8 of word i / 8, counted from the low end); false when none passes.
    template <std::size_t K>
    bool block(const char* p, std::uint64_t* words) const
    {
        Lanes hit[K];
        Lanes any = hits(p);
        hit[0] = any;
        for (std::size_t k = 1; k < K; ++k) {
            hit[k] = hits(p + 16 * k);
            any |= hit[k];
        }
        std::uint64_t halves[2];
        std::memcpy(halves, &any, sizeof halves);
        if ((halves[0] | halves[1]) == 0)
            return false;
        std::memcpy(words, hit, sizeof hit);
        return true;
    }

private:
    Lanes hits(const char* p) const
    {
        Lanes a = load(p + m_firstAt);
        if constexpr (FirstFolds)
            a |= m_firstFold;
        const Lanes b = load(p + m_secondAt);
        Lanes bf = b;
        if constexpr (SecondFolds)
            bf |= m_secondFold;
        auto second = bf == m_second;
        if constexpr (Alternative)
            second |= b == m_alternative;
        return reinterpret_cast<Lanes>((a == m_first) & second);
    }

    Lanes m_first, m_firstFold, m_second, m_secondFold, m_alternative;
    std::size_t m_firstAt, m_secondAt;
};

// The first passing position in [from, last], blocks of 16K positions at a time; needs
// last >= 16K - 1.
template <std::size_t K, typename Lanes>
std::size_t forwardBlocks(const char* d, std::size_t from, std::size_t last, const Lanes& lanes)
{
    constexpr std::size_t kWidth = 16 * K;
    for (;;) {
        // Fewer than kWidth positions left: the block ending at `last`, without the ones before `from`.
        std::size_t base = from;
        std::size_t skip = 0;
        if (last - from < kWidth - 1) {
            base = last - (kWidth - 1);
            skip = from - base;
        }
        std::uint64_t words[2 * K];
        if (lanes.template block<K>(d + base, words)) {
            for (std::size_t k = 0; k < 2 * K; ++k) {
                std::uint64_t w = words[k];
                if (skip > 8 * k)
                    w = skip - 8 * k >= 8 ? 0 : w & (~std::uint64_t{0} << (8 * (skip - 8 * k)));
                if (w != 0)
                    return base + 8 * k + static_cast<std::size_t>(__builtin_ctzll(w)) / 8;
            }
        }
        if (base + kWidth > last)
            return npos;
        from = base + kWidth;
    }
}

// The last passing position in [first, from], blocks of 16K positions at a time; needs
// last >= 16K - 1.
template <std::size_t K, typename Lanes>
std::size_t backwardBlocks(const char* d, std::size_t from, std::size_t first, const Lanes& lanes)
{
    constexpr std::size_t kWidth = 16 * K;
    for (;;) {
        // The block ending at `from`, or near the start the first block, without the ones after `from`.
        const std::size_t base = from >= kWidth - 1 ? from - (kWidth - 1) : 0;
        const std::size_t keep = from - base; // the last position that counts
        std::uint64_t words[2 * K];
        if (lanes.template block<K>(d + base, words)) {
            for (std::size_t k = 2 * K; k-- > 0;) {
                if (8 * k > keep)
                    continue;
                std::uint64_t w = words[k];
                if (keep - 8 * k < 7)
                    w &= ~std::uint64_t{0} >> (8 * (7 - (keep - 8 * k)));
                if (w != 0) {
                    const std::size_t p = base + 8 * k + static_cast<std::size_t>(63 - __builtin_clzll(w)) / 8;
                    return p >= first ? p : npos;
                }
            }
        }
        if (base <= first)
            return npos;
        from = base - 1;
    }
}

#endif

} // namespace

struct PairLanesAccess {
#if QUILLET_VECTOR_PAIRS
    // The block scans of one form of the test; texts of 64 bytes and more go 64 positions at a
    // time, shorter ones 16.
    template <bool FirstFolds, bool SecondFolds, bool Alternative>
    static std::size_t forward(const char* d, std::size_t from, std::size_t last, std::size_t,
                               const PairFinder& finder)
    {
        const PairLanes<FirstFolds, SecondFolds, Alternative> lanes(finder.m_lanes, finder.m_pair);
        return last >= 63 ? forwardBlocks<4>(d, from, last, lanes) : forwardBlocks<1>(d, from, last, lanes);
    }
    template <bool FirstFolds, bool SecondFolds, bool Alternative>
    static std::size_t backward(const char* d, std::size_t from, std::size_t last, std::size_t first,
                                const PairFinder& finder)
    {
        const PairLanes<FirstFolds, SecondFolds, Alternative> lanes(finder.m_lanes, finder.m_pair);
        return last >= 63 ? backwardBlocks<4>(d, from, first, lanes) : backwardBlocks<1>(d, from, first, lanes);
    }
    template <bool FirstFolds, bool SecondFolds, bool Alternative>
    static void choose(PairFinder& finder)
    {
        finder.m_forward = &forward<FirstFolds, SecondFolds, Alternative>;
        finder.m_backward = &backward<FirstFolds, SecondFolds, Alternative>;
    }
#endif
    static void prepare(PairFinder& finder)
    {
#if QUILLET_VECTOR_PAIRS
        const BytePair& pair = finder.m_pair;
        const unsigned char bytes[5] = {pair.first, pair.firstFold, pair.second, pair.secondFold, pair.alternative};
        for (int k = 0; k < 5; ++k)
            std::memset(finder.m_lanes[k], bytes[k], 16);
        switch ((pair.firstFold ? 4 : 0) | (pair.secondFold ? 2 : 0) | (pair.alternative != pair.second ? 1 : 0)) {
        case 0: choose<false, false, false>(finder); break;
        case 1: choose<false, false, true>(finder); break;
        case 2: choose<false, true, false>(finder); break;
        case 3: choose<false, true, true>(finder); break;
        case 4: choose<true, false, false>(finder); break;
        case 5: choose<true, false, true>(finder); break;
        case 6: choose<true, true, false>(finder); break;
        default: choose<true, true, true>(finder); break;
        }
#else
        (void)finder;
#endif
    }
};

const char* lastByte(const char* data, char byte, std::size_t length)
{
    constexpr std::size_t kWindow = 4096;
    while (length > 0) {
        const std::size_t chunk = std::min(length, kWindow);
#if defined(__GLIBC__)
        if (const void* hit = memrchr(data + length - chunk, byte, chunk))
            return static_cast<const char*>(hit);
#else
        for (std::size_t i = length; i-- > length - chunk;)
            if (data[i] == byte)
                return data + i;
#endif
        length -= chunk;
    }
    return nullptr;
}

PairFinder::PairFinder(const BytePair& pair) : m_pair(pair)
{
    PairLanesAccess::prepare(*this);
}

std::size_t PairFinder::find(const char* d, std::size_t from, std::size_t last) const
{
    const BytePair& pair = m_pair;
    if (from > last)
        return npos;
#if QUILLET_VECTOR_PAIRS
    if (last >= 15)
        return m_forward(d, from, last, 0, *this);
#else
    if (pair.firstFold == 0) {
        // The C library's byte search finds the candidates by the first byte.
        while (from <= last) {
            const void* hit = std::memchr(d + from + pair.firstAt, pair.first, last - from + 1);
            if (!hit)
                return npos;
            const std::size_t p = static_cast<std::size_t>(static_cast<const char*>(hit) - d) - pair.firstAt;
            if (passes(d, p, pair))
                return p;
            from = p + 1;
        }
        return npos;
    }
#endif
    for (std::size_t p = from; p <= last; ++p)
        if (passes(d, p, pair))
            return p;
    return npos;
}

std::size_t PairFinder::findBackward(const char* d, std::size_t from, std::size_t last, std::size_t first) const
{
    const BytePair& pair = m_pair;
    if (from < first)
        return npos;
#if QUILLET_VECTOR_PAIRS
    if (last >= 15)
        return m_backward(d, from, last, first, *this);
#else
    if (pair.firstFold == 0) {
        for (std::size_t limit = from + 1; limit > first;) {
            const char* hit = lastByte(d + pair.firstAt, static_cast<char>(pair.first), limit);
            if (!hit)
                return npos;
            const auto p = static_cast<std::size_t>(hit - (d + pair.firstAt));
            if (p < first)
                return npos;
            if (passes(d, p, pair))
                return p;
            limit = p;
        }
        return npos;
    }
#endif
    (void)last;
    for (std::size_t p = from + 1; p-- > first;)
        if (passes(d, p, pair))
            return p;
    return npos;
}

} // namespace quillet::text
