// host/game_watch.h: the full-screen run on the NT family, once it has handed
// the screen to the game. There the system counts the saver's process as "the
// screen saver is running": its password lock after the grace period, its idle
// timer and the saver's desktop on every monitor all last as long as that
// process. So the run stays until the game ends. The game is expected to end
// on input by itself; for one that does not, the player's input ends the run
// all the same: the game is asked to close kInputAnswerMs after it, and ended
// kCloseAnswerMs after that.
#pragma once
#include <windows.h>

constexpr DWORD kInputAnswerMs = 3000;
constexpr DWORD kCloseAnswerMs = 3000;
// While the game's window appears, the pointer's window changes under it, and
// a system may count that as input (Wine does). Input counts as the player's
// from kSettleMs after the game first shows a window, or kLongestSettleMs
// after its start for a game that shows none.
constexpr DWORD kSettleMs = 1000;
constexpr DWORD kLongestSettleMs = 10000;

// Pure: whether input from now on is the player's, given the time since the
// game started and, once it has shown a window, the time since it did.
bool InputIsThePlayers(DWORD startAgoMs, bool windowShown, DWORD windowAgoMs);

// What the watch does next.
enum class WatchStep {
    Wait,        // the game has time yet
    AskToClose,  // WM_CLOSE to its visible top-level windows
    End,         // end its process
};

// Pure: the step for a game that still runs. `inputAgoMs` is the time since
// the player's first input, `askedAgoMs` the time since the game was asked to
// close; each means something only when its flag is set. The caller reads
// GetTickCount and subtracts unsigned, so a wrap of the tick count changes
// nothing.
WatchStep DecideWatchStep(bool inputSeen, DWORD inputAgoMs, bool askedToClose, DWORD askedAgoMs);

// Returns once the game's process has ended, the one the saver ended
// included. Handles the thread's messages meanwhile.
void StayWithGame(HANDLE game, DWORD gameProcessId);
