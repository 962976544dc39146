#include "EventPump.h"

#include <utility>

namespace quillet::text {

namespace {
std::function<void()>& pumpSlot()
{
    static std::function<void()> pump;
    return pump;
}
} // namespace

void processEvents()
{
    auto& pump = pumpSlot();
    if (pump)
        pump();
}

std::function<void()> setEventPump(std::function<void()> pump)
{
    return std::exchange(pumpSlot(), std::move(pump));
}

} // namespace quillet::text
