#pragma once

#include <cstdint>
#include <vector>

namespace quillet::compose {

// Draws the whole numbers of a range in random order without repetition; refills itself
// when empty. high - low + 1 successive draws give a permutation of low..high.
class RandomBag {
public:
    RandomBag() = default;
    // low and high only matter when the bag is empty and is refilled.
    [[nodiscard]] long long draw(long long low, long long high);
    void clear();
    [[nodiscard]] bool empty() const { return m_remaining.empty(); }

    // Tests make the order repeatable; 0 returns to clock seeding.
    static void setFixedSeed(std::uint64_t seed);

private:
    std::vector<long long> m_remaining;
};

} // namespace quillet::compose
