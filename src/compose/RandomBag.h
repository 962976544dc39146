#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace quillet::compose {

// Draws the whole numbers of a range in random order without repetition; refills itself
// when empty. high - low + 1 successive draws give a permutation of low..high.
//
// Before every draw the random source is seeded afresh from the clock plus a running offset,
// so two draws within one clock tick still get different seeds. The bag keeps only the
// numbers it has moved, so even a huge range costs nothing up front.
class RandomBag {
public:
    RandomBag() = default;
    // low and high only matter when the bag is empty and is refilled (a reversed range is
    // taken the right way round).
    [[nodiscard]] long long draw(long long low, long long high)
    {
        if (m_left == 0)
            refill(std::min(low, high), std::max(low, high));
        const std::uint64_t slot = indexBelow(m_left);
        if (m_dense.empty())
            return static_cast<long long>(static_cast<std::uint64_t>(m_low) + takeSparse(slot));
        const std::uint64_t value = m_dense[static_cast<std::size_t>(slot)];
        m_dense[static_cast<std::size_t>(slot)] = m_dense.back();
        m_dense.pop_back();
        --m_left;
        return static_cast<long long>(static_cast<std::uint64_t>(m_low) + value);
    }
    void clear();
    [[nodiscard]] bool empty() const { return m_left == 0; }
    // Numbers not yet drawn since the last refill.
    [[nodiscard]] std::uint64_t remaining() const { return m_left; }

    // One integer of low..high drawn uniformly from the same freshly seeded source (no bag).
    [[nodiscard]] static long long uniform(long long low, long long high);

    // Tests make the order repeatable; 0 returns to clock seeding.
    static void setFixedSeed(std::uint64_t seed);

private:
    // Uniform in 0..count-1 from a freshly seeded source (count 0: the whole 64-bit range).
    [[nodiscard]] static std::uint64_t indexBelow(std::uint64_t count);
    void refill(long long low, long long high);
    // Removes and returns the value in `slot` of a bag too big for m_dense.
    std::uint64_t takeSparse(std::uint64_t slot);

    // The bag is a virtual array 0..m_left-1 holding offsets from m_low; slots whose content
    // differs from their index are listed in m_moved (a Fisher-Yates shuffle done lazily).
    // A bag of up to kDenseLimit numbers keeps the whole array in m_dense instead (filled at
    // refill, which costs no more than the draws that empty it); the draws are the same.
    static constexpr std::uint64_t kDenseLimit = 4096;
    long long m_low = 0;
    std::uint64_t m_left = 0;
    std::unordered_map<std::uint64_t, std::uint64_t> m_moved;
    std::vector<std::uint64_t> m_dense;
};

} // namespace quillet::compose
