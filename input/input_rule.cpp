#include "input/input_rule.h"

HandInput HandInputOf(UINT message, InputListener listener)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        return HandInput::Key;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        return HandInput::Button;
    case WM_XBUTTONDOWN:
        return listener == InputListener::Watch ? HandInput::Button : HandInput::None;
    case WM_MOUSEMOVE:
        return HandInput::Move;
    }
    return HandInput::None;
}

DWORD PointerDistance(POINT anchor, POINT cursor)
{
    // Each distance taken as unsigned 32-bit from the larger side, so that no
    // signed subtraction can overflow.
    const auto distance = [](LONG a, LONG b) {
        return a >= b ? static_cast<DWORD>(a) - static_cast<DWORD>(b)
                      : static_cast<DWORD>(b) - static_cast<DWORD>(a);
    };
    return distance(cursor.x, anchor.x) + distance(cursor.y, anchor.y);
}

bool MovedBeyondThreshold(POINT anchor, POINT cursor) { return PointerDistance(anchor, cursor) > kMouseThresholdPixels; }
