#pragma once

namespace quillet::ui {

// What the user did to a control, as a front end reports it to the window's controller.
// State changes the user makes (typing, ticking, choosing an item) reach the window model
// first; the event that follows tells the controller that the control was acted on.
enum class EventKind {
    Clicked,      // buttons, picture buttons, check boxes, radio buttons (left button)
    RightClicked, // right mouse button pressed on the control
    LinkPressed,  // link labels: left mouse button pressed
};

} // namespace quillet::ui
