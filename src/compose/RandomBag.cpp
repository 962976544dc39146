#include "compose/RandomBag.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <limits>
#include <numeric>
#include <random>

namespace quillet::compose {

namespace {

std::atomic<std::uint64_t> g_fixedSeed{0};
std::atomic<std::uint64_t> g_offset{0};

// A small generator that is cheap to seed, so it can be seeded before every draw.
class SplitMix64 {
public:
    using result_type = std::uint64_t;
    explicit SplitMix64(std::uint64_t seed) : m_state(seed) {}
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return std::numeric_limits<result_type>::max(); }
    result_type operator()()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t m_state;
};

// The clock the draws are seeded from. A tick count needs no fine resolution (the running
// offset keeps the draws of one tick apart), and on Linux the coarse clock is read without
// asking the processor's time-stamp counter, a fraction of the cost of a precise reading.
std::uint64_t tickCount()
{
#if defined(__linux__) && defined(CLOCK_MONOTONIC_COARSE)
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) == 0)
        return static_cast<std::uint64_t>(now.tv_sec) * 1000000000ULL + static_cast<std::uint64_t>(now.tv_nsec);
#endif
    return static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

// Set apart per process, so two runs started within one tick still draw differently: the
// precise clock at start-up and where this process's data lies (laid out anew for each process
// where the system does so). Nothing here can fail at start-up, as a random device can.
const std::uint64_t g_processBase = [] {
    const auto precise = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto wall = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    const auto place = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&g_offset));
    return precise ^ (wall * 0x9E3779B97F4A7C15ULL) ^ (place << 20);
}();

SplitMix64 freshSource()
{
    const std::uint64_t offset = g_offset.fetch_add(1, std::memory_order_relaxed);
    const std::uint64_t fixed = g_fixedSeed.load(std::memory_order_relaxed);
    if (fixed != 0)
        return SplitMix64(fixed + offset * 0x2545F4914F6CDD1DULL);
    return SplitMix64(tickCount() + offset + g_processBase);
}

// Uniform in 0..count-1 (count 0 stands for the whole 64-bit range).
std::uint64_t uniformIndex(std::uint64_t count)
{
    // One number to choose from: the answer is known, but the draw still takes its seed
    // offset, so the draws after it get the seeds they would have had.
    if (count == 1) {
        g_offset.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    SplitMix64 source = freshSource();
    if (count == 0)
        return source();
    std::uniform_int_distribution<std::uint64_t> pick(0, count - 1);
    return pick(source);
}

} // namespace

void RandomBag::refill(long long low, long long high)
{
    m_low = low;
    // The number of values; wraps to 0 only for the full 64-bit range.
    m_left = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low) + 1;
    if (m_left == 0)
        m_left = std::numeric_limits<std::uint64_t>::max();
    m_moved.clear();
    m_dense.clear();
    if (m_left <= kDenseLimit) {
        m_dense.resize(static_cast<std::size_t>(m_left));
        std::iota(m_dense.begin(), m_dense.end(), std::uint64_t{0});
    }
}

std::uint64_t RandomBag::takeSparse(std::uint64_t slot)
{
    auto valueAt = [this](std::uint64_t s) {
        const auto it = m_moved.find(s);
        return it == m_moved.end() ? s : it->second;
    };
    const std::uint64_t lastSlot = m_left - 1;
    const std::uint64_t value = valueAt(slot);
    // The last slot's content moves into the drawn slot; the bag shrinks by one.
    if (slot != lastSlot)
        m_moved[slot] = valueAt(lastSlot);
    m_moved.erase(lastSlot);
    --m_left;
    return value;
}

std::uint64_t RandomBag::indexBelow(std::uint64_t count)
{
    return uniformIndex(count);
}

void RandomBag::clear()
{
    m_left = 0;
    m_moved.clear();
    m_dense.clear();
}

long long RandomBag::uniform(long long low, long long high)
{
    if (high < low)
        std::swap(low, high);
    const std::uint64_t count = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low) + 1;
    return static_cast<long long>(static_cast<std::uint64_t>(low) + uniformIndex(count));
}

void RandomBag::setFixedSeed(std::uint64_t seed)
{
    g_fixedSeed.store(seed, std::memory_order_relaxed);
    g_offset.store(0, std::memory_order_relaxed);
}

} // namespace quillet::compose
