// Input events as a saver view receives them.
#pragma once

#include "platform/geometry.h"

#include <string>

namespace platform {

// One input event as the view receives it from the window system.
struct Event {
    enum Type { KeyDown, KeyUp, MouseDown, MouseUp, MouseMoved, MouseDragged, ScrollWheel, FlagsChanged };
    Type type = KeyDown;
    unsigned modifierFlags = 0;  // ShiftKey 1<<17, Control 1<<18, Option 1<<19, Command 1<<20, CapsLock 1<<16
    std::string characters;      // UTF-8 text of a key, function keys in the private-use area
    std::string charactersIgnoringModifiers;
    int buttonNumber = 0;        // 0 left, 1 right, 2 middle
    double deltaX = 0, deltaY = 0;
    Point locationInWindow;      // y-up, relative to the view's window
};

}  // namespace platform
