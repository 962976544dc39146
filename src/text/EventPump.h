#pragma once

#include <functional>

namespace quillet::text {

// The long loops of the text operations, the pauses of the review run and the waits of the
// web layer "process pending window messages" so the window stays alive and the stop button
// can be clicked. They all call processEvents(); the front end installs what that means
// (one turn of the Qt event loop, or a scripted click in tests). With nothing installed it
// does nothing.
//
// The installed function is called often (once per decoded character reference, for
// example), so it must be cheap or throttle itself.
void processEvents();

// Installs the pump; an empty function removes it. Returns the previous one.
std::function<void()> setEventPump(std::function<void()> pump);

} // namespace quillet::text
