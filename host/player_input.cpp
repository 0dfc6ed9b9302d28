#include "host/player_input.h"

#include "host/dismissal.h"
#include "host/platform.h"

namespace {
// The watch. Only this file writes it; the hook procedures run on the thread
// that began the watch, inside its message handling.
HHOOK g_keyboardHook;  // null when none is set
HHOOK g_mouseHook;     // null when none is set
POINT g_anchor;        // where the first pointer event of the watch found the pointer
bool g_anchorKnown;    // false until that event has come
bool g_playerCame;     // an event that counts has arrived

void Unhook(HHOOK* hook)
{
    if (*hook)
        UnhookWindowsHookEx(*hook);
    *hook = nullptr;
}

LRESULT CALLBACK KeyboardHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && IsPlayersInput(static_cast<UINT>(wParam), g_anchor, g_anchor))
        g_playerCame = true;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MouseHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const MSLLHOOKSTRUCT* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        if (!g_anchorKnown) {
            g_anchor = event->pt;
            g_anchorKnown = true;
        }
        if (IsPlayersInput(static_cast<UINT>(wParam), g_anchor, event->pt))
            g_playerCame = true;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

bool IsPlayersInput(UINT message, POINT anchor, POINT pointer)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        return true;
    case WM_MOUSEMOVE:
        return MovedBeyondThreshold(anchor, pointer);
    }
    return false;
}

bool WatchForPlayer()
{
    StopWatchingForPlayer();
    g_playerCame = false;
    g_anchorKnown = false;
    // A low-level hook needs a module even though it runs in this process.
    g_keyboardHook = SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardHook, SaverInstance(), 0);
    g_mouseHook = SetWindowsHookExA(WH_MOUSE_LL, MouseHook, SaverInstance(), 0);
    return g_keyboardHook || g_mouseHook;
}

bool PlayerHasCome()
{
    // Once the player is here, every further event would only cost the
    // system a round trip through this thread.
    if (g_playerCame)
        StopWatchingForPlayer();
    return g_playerCame;
}

void StopWatchingForPlayer()
{
    Unhook(&g_keyboardHook);
    Unhook(&g_mouseHook);
}
